#include "KestrelTodayItem.h"

namespace {

enum RilUpdateKind : WPARAM {
    KindError = 1,
    KindCell = 2,
    KindSignal = 3,
    KindRadioState = 4,
    KindNetworkId = 5,
};

} // namespace

KestrelTodayItem::SynchronizedRilSubscriber::SynchronizedRilSubscriber(KestrelTodayItem* owner)
    : owner(owner) {}

void KestrelTodayItem::SynchronizedRilSubscriber::Post(WPARAM kind) {
    PostMessageW(owner->GetWindow(), WM_RILUPDATE, kind, 0);
}

void KestrelTodayItem::SynchronizedRilSubscriber::OnCellInfo(CellInfo cell) {
    owner->lock.AcquireWrite();
    cellInfo = cell;
    Post(KindCell);
    owner->lock.ReleaseWrite();
}

void KestrelTodayItem::SynchronizedRilSubscriber::OnSignalQuality(int minimum, int maximum,
                                                                  int current) {
    owner->lock.AcquireWrite();
    signalMin = minimum;
    signalMax = maximum;
    signalCurrent = current;
    Post(KindSignal);
    owner->lock.ReleaseWrite();
}

void KestrelTodayItem::SynchronizedRilSubscriber::OnNetworkId(std::wstring id) {
    owner->lock.AcquireWrite();
    networkId = id;
    Post(KindNetworkId);
    owner->lock.ReleaseWrite();
}

void KestrelTodayItem::SynchronizedRilSubscriber::OnRadioOn() {
    owner->lock.AcquireWrite();
    radioOn = true;
    Post(KindRadioState);
    owner->lock.ReleaseWrite();
}

void KestrelTodayItem::SynchronizedRilSubscriber::OnRadioOff() {
    owner->lock.AcquireWrite();
    radioOn = false;
    Post(KindRadioState);
    owner->lock.ReleaseWrite();
}

void KestrelTodayItem::SynchronizedRilSubscriber::OnError(std::wstring text) {
    owner->lock.AcquireWrite();
    errorText = text;
    Post(KindError);
    owner->lock.ReleaseWrite();
}

void KestrelTodayItem::SynchronizedRilSubscriber::OnRilUpdate(UINT message, WPARAM wParam, LPARAM) {
    owner->lock.AcquireRead();
    RilSubscriber& item = *owner;
    if (message == WM_RILUPDATE) {
        switch (wParam) {
        case KindError:
            item.OnError(errorText);
            break;
        case KindCell:
            item.OnCellInfo(cellInfo);
            break;
        case KindSignal:
            item.OnSignalQuality(signalMin, signalMax, signalCurrent);
            break;
        case KindRadioState:
            if (radioOn)
                item.OnRadioOn();
            else
                item.OnRadioOff();
            break;
        case KindNetworkId:
            item.OnNetworkId(networkId);
            break;
        default:
            break;
        }
    }
    owner->lock.ReleaseRead();
}

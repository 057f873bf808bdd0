#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ItemHarness.h"

using harness::Fixture;

namespace {

// Records what the mailbox hands to the item on the window thread.
class RecordingItem : public KestrelTodayItem {
public:
    using KestrelTodayItem::KestrelTodayItem;

    void OnCellInfo(CellInfo cell) override {
        cells.push_back(cell);
        KestrelTodayItem::OnCellInfo(cell);
    }
    void OnSignalQuality(int minimum, int maximum, int current) override {
        signals.push_back({minimum, maximum, current});
        KestrelTodayItem::OnSignalQuality(minimum, maximum, current);
    }
    void OnNetworkId(std::wstring id) override {
        networks.push_back(id);
        KestrelTodayItem::OnNetworkId(id);
    }
    void OnRadioOn() override { radio.push_back(true); }
    void OnRadioOff() override { radio.push_back(false); }
    void OnError(std::wstring text) override { errors.push_back(text); }

    size_t Calls() const {
        return cells.size() + signals.size() + networks.size() + radio.size() + errors.size();
    }

    std::vector<CellInfo> cells;
    std::vector<std::vector<int>> signals;
    std::vector<std::wstring> networks;
    std::vector<bool> radio;
    std::vector<std::wstring> errors;
};

// Radio-side notifications come from a thread of their own, as the radio layer's do.
template <class F> void OnRadioThread(F notify) {
    std::thread radio(notify);
    radio.join();
}

} // namespace

TEST(SynchronizedRilSubscriber, LatestValueWinsForEveryPostedMessage) {
    Fixture<RecordingItem> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    auto& mailbox = f.item->GetMailbox();
    OnRadioThread([&] {
        mailbox.OnCellInfo(CellInfo(L"100", L"1001", L"17"));
        mailbox.OnCellInfo(CellInfo(L"101", L"1003", L"29"));
        mailbox.OnRadioOff();
        mailbox.OnRadioOn();
    });
    harness::Pump();
    ASSERT_EQ(2u, f.item->cells.size());
    EXPECT_EQ(CellInfo(L"101", L"1003", L"29"), f.item->cells[0]);
    EXPECT_EQ(CellInfo(L"101", L"1003", L"29"), f.item->cells[1]);
    EXPECT_EQ((std::vector<bool>{true, true}), f.item->radio);
}

TEST(SynchronizedRilSubscriber, EveryKindReachesItsHandler) {
    Fixture<RecordingItem> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    auto& mailbox = f.item->GetMailbox();
    OnRadioThread([&] {
        mailbox.OnSignalQuality(-113, -51, -80);
        mailbox.OnNetworkId(L"23003");
        mailbox.OnError(L"Nepodařilo se inicializovat knihovnu RIL");
    });
    harness::Pump();
    EXPECT_EQ((std::vector<std::vector<int>>{{-113, -51, -80}}), f.item->signals);
    EXPECT_EQ(std::vector<std::wstring>{L"23003"}, f.item->networks);
    EXPECT_EQ(std::vector<std::wstring>{L"Nepodařilo se inicializovat knihovnu RIL"},
              f.item->errors);
}

TEST(SynchronizedRilSubscriber, UnknownKindsDoNothing) {
    Fixture<RecordingItem> f;
    ASSERT_TRUE(f.CreateWindowForItem());
    f.item->GetMailbox().OnCellInfo(CellInfo(L"1", L"2", L"3"));
    harness::Pump();
    size_t before = f.item->Calls();
    EXPECT_EQ(0, f.Send(WM_RILUPDATE, 0));
    EXPECT_EQ(0, f.Send(WM_RILUPDATE, 6));
    EXPECT_EQ(before, f.item->Calls());
    // The lock was released again: a radio-side writer does not block.
    OnRadioThread([&] { f.item->GetMailbox().OnNetworkId(L"23001"); });
    harness::Pump();
    EXPECT_EQ(before + 1, f.item->Calls());
}

// Radio thread to pixels: the time from a cell result arriving on the radio layer's thread to
// the end of the item's repaint on the window thread (mailbox, posted WM_RILUPDATE, the item's
// handler, painting the back buffer and copying it to the window). The real ril.dll answers
// from a scenario that alternates two cells, so every result is a change and repaints.
//
// Usage: bench_item_repaint.exe [results]   (default 2000)

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "KestrelTodayItem.h"
#include "RadioInterface.h"

namespace {

LARGE_INTEGER frequency;

long long Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

// First subscriber on the radio thread: notes when the cell result came in.
struct ArrivalProbe : RilSubscriber {
    void OnCellInfo(CellInfo) override { arrived = Now(); }
    void OnSignalQuality(int, int, int) override {}
    void OnNetworkId(std::wstring) override {}
    void OnRadioOn() override {}
    void OnRadioOff() override {}
    void OnError(std::wstring) override {}
    std::atomic<long long> arrived{0};
};

// Notes the end of every repaint.
class TimedItem : public KestrelTodayItem {
public:
    using KestrelTodayItem::KestrelTodayItem;
    void BlitMemoryDC(HDC memoryDC, HDC target) override {
        KestrelTodayItem::BlitMemoryDC(memoryDC, target);
        painted = Now();
    }
    long long painted = 0;
};

TimedItem* item = nullptr;

LRESULT CALLBACK ItemProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return item ? item->WindowProc(message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ShellProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TODAYM_GETCOLOR)
        return RGB(0, 0, 0);
    if (message == TODAYM_DRAWWATERMARK) {
        auto* info = reinterpret_cast<TODAYDRAWWATERMARKINFO*>(lParam);
        FillRect(info->hdc, &info->rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        return TRUE;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

double Microseconds(long long ticks) {
    return ticks * 1e6 / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char** argv) {
    int results = argc > 1 ? atoi(argv[1]) : 2000;
    if (results < 10)
        results = 10;
    QueryPerformanceFrequency(&frequency);

    const char scenario[] = "latency 2\nloop\noperator \"23001\"\nequipment 2\n"
                            "signal current=-80 min=-113 max=-51\n"
                            "cell lac=100 id=1001 bcch=62\nstep\ncell lac=100 id=1002 bcch=64\n";
    HANDLE file = CreateFileW(L"bench_item_scenario.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    DWORD written = 0;
    WriteFile(file, scenario, sizeof(scenario) - 1, &written, nullptr);
    CloseHandle(file);
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", L"bench_item_scenario.txt");
    SetEnvironmentVariableW(L"KESTREL_RIL_MODE", L"cycle");

    // The item writes its default settings; a key that was not there is removed again.
    const wchar_t* settingsKey = L"Software\\Microsoft\\Today\\Items\\Kestrel";
    HKEY existing = nullptr;
    bool hadSettings =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, settingsKey, 0, KEY_READ, &existing) == ERROR_SUCCESS;
    if (existing)
        RegCloseKey(existing);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = ShellProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BenchTodayShell";
    RegisterClassW(&wc);
    HWND shell = CreateWindowExW(0, wc.lpszClassName, L"Desktop", WS_POPUP | WS_VISIBLE, 0, 0, 240,
                                 320, nullptr, nullptr, wc.hInstance, nullptr);

    item = new TimedItem(GetModuleHandleW(nullptr));
    item->RegisterWindowClass(ItemProc);
    TODAYLISTITEM record = {};
    lstrcpyW(record.szName, L"Kestrel");
    record.fEnabled = TRUE;
    if (!item->Create(&record, shell, WS_CHILD | WS_VISIBLE)) {
        fprintf(stderr, "cannot create the item window\n");
        return 1;
    }
    SetWindowPos(item->GetWindow(), nullptr, 0, 26, 240, 70, SWP_NOZORDER);

    ArrivalProbe probe;
    RadioInterface::RemoveAllSubscribers();
    RadioInterface::AddSubscriber(&probe);
    RadioInterface::AddSubscriber(&item->GetMailbox());
    RadioInterface::AddSubscriber(&item->GetLogWriter());
    probe.arrived = 0;
    SendMessageW(item->GetWindow(), WM_COMMAND, IDM_ITEM_MONITORING, 0);
    // Polling is driven below, one cycle at a time, not by the timer.
    KillTimer(item->GetWindow(), 1);

    std::vector<double> samples;
    int dropped = 0;
    for (int i = 0; i < results + 20; ++i) {
        if (i > 0) {
            probe.arrived = 0;
            RadioInterface::Refresh();
        }
        // Wait for the cell of this cycle and the repaint that follows it. A result that beats
        // its own command id back is dropped by the radio interface: that cycle is asked again.
        DWORD start = GetTickCount();
        long long arrived = 0;
        for (;;) {
            Pump();
            arrived = probe.arrived;
            if (arrived && item->painted > arrived)
                break;
            if (!arrived && GetTickCount() - start > 500) {
                ++dropped;
                probe.arrived = 0;
                RadioInterface::Refresh();
                start = GetTickCount();
            }
            if (GetTickCount() - start > 5000) {
                fprintf(stderr, "no repaint after result %d\n", i);
                return 1;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        }
        // The first cycles warm up caches, fonts and the radio thread.
        if (i >= 20)
            samples.push_back(Microseconds(item->painted - arrived));
    }

    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples)
        sum += s;
    auto at = [&](double q) { return samples[static_cast<size_t>(q * (samples.size() - 1))]; };
    printf("radio result -> item repainted (cell change, 240x70 item), %zu results\n",
           samples.size());
    printf("  median %.0f us, p99 %.0f us, mean %.0f us, min %.0f us, max %.0f us\n", at(0.5),
           at(0.99), sum / samples.size(), samples.front(), samples.back());
    printf("  polling cycles asked again (result before its command id): %d\n", dropped);

    RadioInterface::Deinitialize();
    RadioInterface::RemoveAllSubscribers();
    DestroyWindow(item->GetWindow());
    delete item;
    item = nullptr;
    DestroyWindow(shell);
    DeleteFileW(L"bench_item_scenario.txt");
    if (!hadSettings)
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, settingsKey);
    return 0;
}

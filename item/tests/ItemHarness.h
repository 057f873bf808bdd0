#pragma once

// Runs a KestrelTodayItem inside a small Today shell, on the simulated radio (ril.dll) played
// from a scenario written by the test. The item's settings key is deleted before and after,
// since other tests use it too.

#include <windows.h>

#include <functional>
#include <string>

#include "KestrelTodayItem.h"
#include "RadioInterface.h"
#include "TestHelpers.h"
#include "todaycmn.h"

namespace harness {

constexpr COLORREF TextColor = RGB(200, 0, 0);
constexpr COLORREF HighlightColor = RGB(0, 0, 160);

// The Today shell's side: colours, watermark and the selection it is told about.
class Shell {
public:
    Shell() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KestrelItemTestShell";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"Desktop", WS_POPUP | WS_VISIBLE, 0, 0, 240,
                                 320, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Shell() { DestroyWindow(window); }

    HWND window = nullptr;
    int tookSelection = 0;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* shell = reinterpret_cast<Shell*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (message) {
        case TODAYM_GETCOLOR:
            if (wParam == TODAYCOLOR_HIGHLIGHT)
                return HighlightColor;
            if (wParam == TODAYCOLOR_HIGHLIGHTEDTEXT)
                return RGB(255, 255, 255);
            return TextColor;
        case TODAYM_DRAWWATERMARK: {
            auto* info = reinterpret_cast<TODAYDRAWWATERMARKINFO*>(lParam);
            FillRect(info->hdc, &info->rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            return TRUE;
        }
        case TODAYM_TOOKSELECTION:
            if (shell)
                ++shell->tookSelection;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
};

// The item under test and its window; the test's own module carries the item's resources.
template <class Item = KestrelTodayItem> class Fixture {
public:
    // scenario: the simulated radio's script, played one step per polling cycle.
    explicit Fixture(const std::string& scenario = "operator \"23001\"\n"
                                                   "cell lac=100 id=1001 bcch=17\n"
                                                   "signal current=-80 min=-113 max=-51\n"
                                                   "equipment 2\n") {
        DeleteSettings();
        DeleteFileW(TracePath);
        WriteTextFile(ScenarioPath, scenario);
        SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", ScenarioPath);
        SetEnvironmentVariableW(L"KESTREL_RIL_TRACE", TracePath);
        SetEnvironmentVariableW(L"KESTREL_RIL_MODE", L"cycle");
        item = new Item(GetModuleHandleW(nullptr));
        current = item;
    }

    ~Fixture() {
        if (item) {
            if (item->GetWindow())
                DestroyWindow(item->GetWindow());
            item->UnregisterWindowClass();
            delete item;
        }
        current = nullptr;
        Pump();
        DeleteSettings();
        SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", nullptr);
    }

    HWND CreateWindowForItem() {
        item->RegisterWindowClass(Proc);
        record = {};
        lstrcpyW(record.szName, L"Kestrel");
        record.tlit = tlitCustom;
        record.fEnabled = TRUE;
        if (!item->Create(&record, shell.window, WS_CHILD | WS_VISIBLE))
            return nullptr;
        SetWindowPos(item->GetWindow(), nullptr, 0, 0, 240, item->GetItemHeight(),
                     SWP_NOZORDER | SWP_NOMOVE);
        UpdateWindow(item->GetWindow());
        return item->GetWindow();
    }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageW(item->GetWindow(), message, wParam, lParam);
    }

    void Command(UINT id) { Send(WM_COMMAND, id); }

    // Waits for the radio's answers of one polling cycle to reach the item.
    bool WaitForCell(const std::wstring& cellId) {
        return PumpUntil([&] { return item->GetLastCell().cellId == cellId; });
    }

    int TraceCount(const std::string& call) { return CountLines(ReadFileBytes(TracePath), call); }

    COLORREF Pixel(int x, int y) { return GetPixel(item->GetMemoryDC(), x, y); }

    static constexpr const wchar_t* ScenarioPath = L"item_test_scenario.txt";
    static constexpr const wchar_t* TracePath = L"item_test_trace.txt";

    Shell shell;
    Item* item = nullptr;
    TODAYLISTITEM record = {};

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (!current)
            return DefWindowProcW(hwnd, message, wParam, lParam);
        return current->WindowProc(message, wParam, lParam);
    }

    static inline Item* current = nullptr;
};

} // namespace harness

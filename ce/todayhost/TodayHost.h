#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "todaycmn.h"

// Posted to the host window: open the options of the item whose window is lParam.
const UINT TodayHostOpenOptions = WM_APP + 2;

// One Today item the host has loaded.
struct TodayItem {
    TODAYLISTITEM record = {};
    HMODULE module = nullptr;
    HWND window = nullptr;
    WNDPROC originalProc = nullptr;
    PFNCUSTOMOPTIONSDLGPROC optionsProc = nullptr;
    // Texts of the latest complete paint, formatted by TextRecorder.
    std::vector<std::wstring> texts;
};

// Watches the items from inside the host's process (benchmarks, tests). Both calls come on
// the host's thread.
class TodayHostObserver {
public:
    // The item's library is loaded and the host's recorders are in place; its window has not
    // been asked for yet. A library that a thread of its own kept loaded across a reload comes
    // again with its state.
    virtual void OnItemLoaded(TodayItem& item) = 0;
    // The item's window has handled the message.
    virtual void OnItemMessage(TodayItem& item, UINT message, WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~TodayHostObserver() = default;
};

// The Today screen: a top-level window of class "DesktopExplorerWindow" named "Desktop" that
// loads the custom items registered under HKLM\<items key>, stacks their windows by height,
// paints the watermark and moves the selection between items as the device's shell does.
class TodayHost {
public:
    static constexpr COLORREF TextColor = RGB(0, 0, 0);
    static constexpr COLORREF HighlightColor = RGB(49, 106, 197);
    static constexpr COLORREF HighlightedTextColor = RGB(255, 255, 255);
    static constexpr UINT RefreshMilliseconds = 2000;

    TodayHost(HINSTANCE instance, std::wstring itemsKey, std::wstring backgroundFile);
    ~TodayHost();

    TodayHost(const TodayHost&) = delete;
    TodayHost& operator=(const TodayHost&) = delete;

    bool Create();
    HWND GetWindow() const { return window; }
    const std::vector<std::unique_ptr<TodayItem>>& GetItems() const { return items; }
    TodayItem* FindItem(const std::wstring& name) const;
    int GetSelection() const { return selection; }

    // A key of the navigation pad, as the shell receives it.
    void Navigate(UINT key);
    // Opens the item's options dialog (dialog 500 with its ordinal 241); false without one.
    bool OpenOptions(TodayItem* item);
    // Brings every item window's paint up to date.
    void UpdateAll();
    void UnloadItems();
    // Null: nobody watches. The observer must outlive the host or be taken away first.
    void SetObserver(TodayHostObserver* newObserver) { observer = newObserver; }

private:
    static LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ItemProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    void LoadItems();
    void LoadItem(const std::wstring& name);
    bool QueryHeights();
    void Layout();
    void Reload();
    void Paint(HDC dc);
    void DrawWatermark(const TODAYDRAWWATERMARKINFO& info);
    void RenderBackground();
    int IndexOf(HWND itemWindow) const;
    bool GiveSelection(int index, UINT key);
    void TakeSelection();
    int NavigationBarHeight() const;

    HINSTANCE instance;
    std::wstring itemsKey;
    std::wstring backgroundFile;
    HWND window = nullptr;
    std::vector<std::unique_ptr<TodayItem>> items;
    int selection = -1;
    // Messages being handled by item windows (their modal loops may run ours): an item is not
    // unloaded from under its own code.
    int itemDepth = 0;
    bool reloadPending = false;
    HDC backgroundDC = nullptr;
    HBITMAP backgroundBitmap = nullptr;
    HGDIOBJ savedBackgroundBitmap = nullptr;
    HFONT barFont = nullptr;
    TodayHostObserver* observer = nullptr;
    // The work area before the host reserved its navigation bar, given back at the end.
    RECT savedWorkArea = {};
    bool workAreaReserved = false;
};

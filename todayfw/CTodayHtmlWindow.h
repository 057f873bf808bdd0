#pragma once

#include <windows.h>

#include <list>
#include <string>

class CTodayWindow;

// A web page (the map) in a popup laid over the Today screen, over a given rectangle or the
// whole screen. Hosts the HTML view control; its tap-and-hold menu switches full screen, and a
// change of the system's settings hides it. The owner calls Destroy before deleting it.
class CTodayHtmlWindow {
public:
    explicit CTodayHtmlWindow(CTodayWindow* owner);
    virtual ~CTodayHtmlWindow();

    CTodayHtmlWindow(const CTodayHtmlWindow&) = delete;
    CTodayHtmlWindow& operator=(const CTodayHtmlWindow&) = delete;

    bool Create();
    // Returns whether the frame exists and is shown.
    bool Show(const RECT& rect);
    int Hide();
    bool Destroy();
    bool Navigate(const std::wstring& url);

    bool IsVisible() const { return visible; }
    bool IsFullScreen() const { return fullScreen; }
    const std::wstring& GetUrl() const { return url; }
    HWND GetFrame() const { return frame; }
    HWND GetControl() const { return control; }

    static bool RegisterWindowClass(HINSTANCE instance);
    static void UnregisterWindowClass(HINSTANCE instance);

private:
    static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void ToggleFullScreen();
    void ShowContextMenu(POINT screenPoint);

    CTodayWindow* owner;
    HMENU menu = nullptr;
    HWND frame = nullptr;
    HWND control = nullptr;
    bool visible = false;
    std::wstring url;
    bool fullScreen = false;
    RECT requestedRect = {0, 0, 0, 0};
    // Texts of posted navigations, kept until the control has taken them (list nodes do not
    // move, so a later Navigate cannot pull a text from under a message still queued).
    std::list<std::wstring> postedUrls;

    static std::wstring className;
    static bool classRegistered;
    static HMODULE htmlviewModule;
};

#pragma once

#include <windows.h>

#include "todaycmn.h"

// One item on the Today screen: its child window of the shell, the shell's item protocol,
// painting through a back buffer laid over the shell's watermark, the shell's theme colours
// and two fonts, and a small item icon. Derived items override the hooks they need; the
// order of the virtual operations is part of the contract.
class CTodayWindow {
public:
    CTodayWindow();
    virtual ~CTodayWindow();

    CTodayWindow(const CTodayWindow&) = delete;
    CTodayWindow& operator=(const CTodayWindow&) = delete;

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void DrawIcon(HDC dc);
    virtual void InitColorsAndFonts();
    virtual LRESULT OnCreate(LPCREATESTRUCTW createStruct);
    virtual void OnDestroy();
    virtual void PaintItem(HDC memoryDC);
    virtual LRESULT OnEraseBackground(HDC dc);
    virtual void OnQueryRefreshCache(TODAYLISTITEM* item, BOOL* refresh);
    virtual LRESULT OnClearCache(WPARAM wParam);
    virtual void OnLButtonUp(UINT keys, int x, int y);
    virtual void OnLButtonDown(UINT keys, int x, int y);
    virtual void OnSettingChange(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnNotify(WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnDefaultMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT OnReceivedSelection(WPARAM key);
    virtual LRESULT OnUserNavigation(WPARAM key);
    virtual void OnAction(WPARAM wParam);
    virtual void OnLostSelection();
    virtual void ReleaseMemoryDC(HDC memoryDC);
    virtual void BlitMemoryDC(HDC memoryDC, HDC target);
    virtual HDC CreateMemoryDC(HDC source);

    void SetInstance(HINSTANCE instance);
    // Both texts must outlive the object.
    void SetClassName(const wchar_t* className, const wchar_t* windowName);
    bool SetIcon(UINT iconId, int x, int y);
    void SetItemHeight(UINT height);
    ATOM RegisterWindowClass(WNDPROC windowProc);
    BOOL UnregisterWindowClass();
    bool Create(TODAYLISTITEM* item, HWND shellWindow, DWORD style);
    void Refresh(BOOL show);

    HWND GetWindow() const { return hWnd; }
    HWND GetShellWindow() const { return hShellWnd; }
    HINSTANCE GetInstance() const { return hInstance; }
    HDC GetMemoryDC() const { return hMemoryDC; }
    UINT GetItemHeight() const { return itemHeight; }
    COLORREF GetTextColor() const { return textColor; }
    COLORREF GetHighlightColor() const { return highlightColor; }
    COLORREF GetHighlightedTextColor() const { return highlightedTextColor; }
    HFONT GetNormalFont() const { return hNormalFont; }
    HFONT GetBoldFont() const { return hBoldFont; }

protected:
    // Releases the back buffer and builds it again at the current client size.
    void RebuildMemoryDC();

    HDC hMemoryDC = nullptr;
    HWND hWnd = nullptr;
    UINT itemHeight = 0;
    int iconX = 0;
    int iconY = 0;
    HWND hShellWnd = nullptr;
    HICON hIcon = nullptr;
    HINSTANCE hInstance = nullptr;
    const wchar_t* className = nullptr;
    const wchar_t* windowName = nullptr;
    COLORREF textColor = 0;
    COLORREF highlightColor = 0;
    COLORREF highlightedTextColor = 0;
    HFONT hNormalFont = nullptr;
    HFONT hBoldFont = nullptr;
    HBITMAP hSavedBitmap = nullptr;
};

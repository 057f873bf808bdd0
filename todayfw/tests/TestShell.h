#pragma once

// A minimal Today shell for the framework's tests: a top-level window that answers the colour
// and watermark requests of item windows.

#include <windows.h>

#include "todaycmn.h"

struct TestShell {
    static constexpr COLORREF Text = RGB(0, 0, 0);
    static constexpr COLORREF Highlight = RGB(0, 0, 160);
    static constexpr COLORREF HighlightedText = RGB(255, 255, 255);
    static constexpr COLORREF Watermark = RGB(10, 200, 30);

    HWND window = nullptr;
    int watermarkRequests = 0;
    int tookSelection = 0;

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* shell = reinterpret_cast<TestShell*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (message) {
        case TODAYM_GETCOLOR:
            switch (wParam) {
            case TODAYCOLOR_TEXT:
                return Text;
            case TODAYCOLOR_HIGHLIGHT:
                return Highlight;
            case TODAYCOLOR_HIGHLIGHTEDTEXT:
                return HighlightedText;
            }
            return 0;
        case TODAYM_DRAWWATERMARK: {
            auto* info = reinterpret_cast<TODAYDRAWWATERMARKINFO*>(lParam);
            HBRUSH brush = CreateSolidBrush(Watermark);
            FillRect(info->hdc, &info->rc, brush);
            DeleteObject(brush);
            if (shell)
                ++shell->watermarkRequests;
            return TRUE;
        }
        case TODAYM_TOOKSELECTION:
            if (shell)
                ++shell->tookSelection;
            return 0;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    TestShell() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TestTodayShell";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"Desktop", WS_POPUP | WS_VISIBLE, 0, 0, 240,
                                 200, nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        Pump();
    }
    ~TestShell() { DestroyWindow(window); }

    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
};

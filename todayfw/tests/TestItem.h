#pragma once

// A Today item on the framework for the tests: forwards its window procedure to the one object,
// as the plug-in does, and records what the hooks received.

#include <windows.h>

#include "CTodayWindow.h"

class TestItem : public CTodayWindow {
public:
    static constexpr COLORREF Content = RGB(200, 0, 0);
    static inline TestItem* current = nullptr;

    static LRESULT CALLBACK Proc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
        return current->WindowProc(message, wParam, lParam);
    }

    TestItem() {
        current = this;
        SetInstance(GetModuleHandleW(nullptr));
        SetClassName(L"TestItemClass", L"TestItemWindow");
        SetItemHeight(70);
        UnregisterWindowClass();
        RegisterWindowClass(Proc);
    }
    ~TestItem() override {
        if (hWnd && IsWindow(hWnd))
            DestroyWindow(hWnd);
        UnregisterWindowClass();
        current = nullptr;
    }

    bool CreateIn(HWND shell, TODAYLISTITEM& item, int width = 240, int height = 70) {
        if (!Create(&item, shell, WS_CHILD | WS_VISIBLE))
            return false;
        MoveWindow(hWnd, 0, 0, width, height, TRUE);
        return true;
    }

    void PaintItem(HDC dc) override {
        ++paints;
        if (drawContent) {
            RECT box = {100, 10, 120, 20};
            HBRUSH brush = CreateSolidBrush(Content);
            FillRect(dc, &box, brush);
            DeleteObject(brush);
        }
    }
    void OnLButtonDown(UINT, int x, int y) override {
        downX = x;
        downY = y;
    }
    LRESULT OnReceivedSelection(WPARAM key) override {
        receivedKey = key;
        return key == VK_DOWN;
    }

    int paints = 0;
    bool drawContent = true;
    int downX = -1;
    int downY = -1;
    WPARAM receivedKey = 0;
};

#pragma once

#include <windows.h>

#include <string>

struct PageContent;

// The HTML view control behind DISPLAYCLASS: shows the page it was sent to (the URL, and the
// image when the URL answers with one) and reports tap and hold to its parent.
// The window text is the URL last navigated to.
class HtmlView {
public:
    static bool Register(HINSTANCE instance);

private:
    explicit HtmlView(HWND window);
    ~HtmlView();

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT OnNavigate(LPCWSTR url);
    void OnFetchDone(PageContent* content);
    void OnLButtonDown(int x, int y);
    void Draw(HDC dc);
    void Notify(UINT code, NMHDR& header);

    HWND window;
    bool contextMenuEnabled = false;
    std::wstring url;
    unsigned sequence = 0; // of the newest navigation; older fetch results are dropped
    bool loading = false;
    PageContent* content = nullptr;
};

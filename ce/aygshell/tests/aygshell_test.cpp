#include <gtest/gtest.h>

#include "aygshell.h"

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

class Gesture : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PlainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"GestureTestWindow";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 200, 100, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        // The pointer rests where the stylus goes down, as on the device.
        POINT point = {50, 40};
        ClientToScreen(window, &point);
        SetCursorPos(point.x, point.y);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    void TearDown() override { DestroyWindow(window); }

    DWORD Recognize(int x, int y) {
        SHRGINFO info = {sizeof(info), window, {x, y}, SHRG_RETURNCMD};
        return SHRecognizeGesture(&info);
    }
    void Post(UINT message, int x, int y) { PostMessageW(window, message, 0, MAKELPARAM(x, y)); }

    HWND window = nullptr;
};

TEST_F(Gesture, HeldButtonIsContextMenu) {
    EXPECT_EQ(Recognize(50, 40), static_cast<DWORD>(GN_CONTEXTMENU));
    // A wobble within the drag distance is still a hold.
    Post(WM_MOUSEMOVE, 51, 41);
    EXPECT_EQ(Recognize(50, 40), static_cast<DWORD>(GN_CONTEXTMENU));
}

TEST_F(Gesture, ReleaseOrMoveIsNoGestureAndStaysQueued) {
    Post(WM_LBUTTONUP, 50, 40);
    EXPECT_EQ(Recognize(50, 40), 0u);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, window, WM_LBUTTONUP, WM_LBUTTONUP, PM_REMOVE));

    Post(WM_MOUSEMOVE, 80, 40);
    EXPECT_EQ(Recognize(50, 40), 0u);
    ASSERT_TRUE(PeekMessageW(&msg, window, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Gesture, BadArgumentsAreNoGesture) {
    SHRGINFO info = {sizeof(info) - 1, window, {0, 0}, SHRG_RETURNCMD};
    EXPECT_EQ(SHRecognizeGesture(&info), 0u);
    EXPECT_EQ(SHRecognizeGesture(nullptr), 0u);
    info = {sizeof(info), nullptr, {0, 0}, SHRG_RETURNCMD};
    EXPECT_EQ(SHRecognizeGesture(&info), 0u);
}

TEST(SipPref, GlobalClassUsableFromDialogTemplates) {
    WNDCLASSW wc;
    ASSERT_TRUE(GetClassInfoW(nullptr, WC_SIPPREF, &wc));
    EXPECT_TRUE(SHInitExtraControls());

    // A dialog template with a SIPPREF control, as the option dialogs have.
    alignas(4) WORD buffer[256] = {};
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(buffer);
    dialog->style = WS_POPUP | DS_SETFONT;
    dialog->cdit = 1;
    dialog->cx = 100;
    dialog->cy = 80;
    WORD* p = reinterpret_cast<WORD*>(dialog + 1);
    *p++ = 0; // menu
    *p++ = 0; // class
    *p++ = 0; // title
    *p++ = 8; // font size
    for (const wchar_t* c = L"Tahoma"; (*p++ = *c) != 0; ++c) {
    }
    p = reinterpret_cast<WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~UINT_PTR(3));
    auto* item = reinterpret_cast<DLGITEMTEMPLATE*>(p);
    item->style = WS_CHILD | WS_VISIBLE;
    item->x = 24;
    item->y = 62;
    item->cx = 14;
    item->cy = 14;
    item->id = 1027;
    p = reinterpret_cast<WORD*>(item + 1);
    for (const wchar_t* c = WC_SIPPREF; (*p++ = *c) != 0; ++c) {
    }
    for (const wchar_t* c = L"SIP1"; (*p++ = *c) != 0; ++c) {
    }
    *p++ = 0; // creation data

    HWND created = CreateDialogIndirectParamW(
        GetModuleHandleW(nullptr), dialog, nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(created, nullptr);
    HWND sip = GetDlgItem(created, 1027);
    ASSERT_NE(sip, nullptr);
    EXPECT_FALSE(IsWindowVisible(sip));

    // Dialog set-up: full screen and the Done button.
    SHINITDLGINFO init = {SHIDIM_FLAGS, created,
                          SHIDIF_DONEBUTTON | SHIDIF_EMPTYMENU | SHIDIF_WANTSCROLLBAR |
                              SHIDIF_SIZEDLGFULLSCREEN};
    EXPECT_TRUE(SHInitDialog(&init));
    RECT rect;
    GetWindowRect(created, &rect);
    EXPECT_EQ(rect.right - rect.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(rect.bottom - rect.top, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(GetPropW(created, L"Kestrel.SHDoneButton")),
              static_cast<UINT_PTR>(SHDB_SHOW));

    EXPECT_TRUE(SHDoneButton(created, SHDB_HIDE));
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(GetPropW(created, L"Kestrel.SHDoneButton")),
              static_cast<UINT_PTR>(SHDB_HIDE));
    EXPECT_TRUE(SHFullScreen(created, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON));
    EXPECT_TRUE(SHFullScreen(created, SHFS_SHOWTASKBAR));
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(GetPropW(created, L"Kestrel.SHFullScreen")),
              static_cast<UINT_PTR>(SHFS_SHOWTASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON));
    DestroyWindow(created);

    init.hDlg = nullptr;
    EXPECT_FALSE(SHInitDialog(&init));
    EXPECT_FALSE(SHFullScreen(nullptr, SHFS_HIDETASKBAR));
}

} // namespace

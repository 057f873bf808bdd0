#include "CTodayHtmlWindow.h"
#include "CTodayWindow.h"

#include <htmlctrl.h>

#include "resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t kFrameClass[] = L"VLK_HTMLTODAYWINDOW";
const wchar_t kFullScreenProperty[] = L"Kestrel.SHFullScreen";

// An item that counts how often it is painted.
class PaintCountingItem : public CTodayWindow {
public:
    void PaintItem(HDC) override { ++paints; }
    int paints = 0;
};

PaintCountingItem* g_item = nullptr;

LRESULT CALLBACK ItemProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_item && g_item->GetWindow() == window)
        return g_item->WindowProc(message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::wstring Text(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

RECT WindowRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool ClassRegistered(HINSTANCE instance) {
    WNDCLASSW wc;
    return GetClassInfoW(instance, kFrameClass, &wc) != 0;
}

// One shell and item for all cases: under Xvfb without a window manager, Wine waits about two
// seconds for every top-level window that goes away.
class CTodayHtmlWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        instance = GetModuleHandleW(nullptr);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = instance;
        wc.lpszClassName = L"HtmlWindowTestShell";
        RegisterClassW(&wc);
        shell = CreateWindowExW(0, wc.lpszClassName, L"Desktop", WS_POPUP, 0, 0, 240, 320, nullptr,
                                nullptr, instance, nullptr);
        // Shown without activation: the item must be visible to be painted.
        SetWindowPos(shell, HWND_BOTTOM, 0, 0, 240, 320, SWP_SHOWWINDOW | SWP_NOACTIVATE);

        item = new PaintCountingItem;
        g_item = item;
        item->SetInstance(instance);
        item->SetClassName(L"HtmlWindowTestItem", L"HtmlWindowTestItem");
        item->RegisterWindowClass(ItemProc);
        TODAYLISTITEM listItem = {};
        listItem.fEnabled = TRUE;
        item->Create(&listItem, shell, WS_CHILD | WS_VISIBLE);
        SetWindowPos(item->GetWindow(), nullptr, 0, 30, 240, 70, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    static void TearDownTestSuite() {
        DestroyWindow(item->GetWindow());
        item->UnregisterWindowClass();
        g_item = nullptr;
        delete item;
        DestroyWindow(shell);
    }

    void SetUp() override {
        ASSERT_TRUE(IsWindow(item->GetWindow()));
        PumpMessages();
        item->paints = 0;
    }

    void TearDown() override { CTodayHtmlWindow::UnregisterWindowClass(instance); }

    static HINSTANCE instance;
    static HWND shell;
    static PaintCountingItem* item;
    const RECT below = {0, 100, 240, 320};
};

HINSTANCE CTodayHtmlWindowTest::instance = nullptr;
HWND CTodayHtmlWindowTest::shell = nullptr;
PaintCountingItem* CTodayHtmlWindowTest::item = nullptr;

TEST_F(CTodayHtmlWindowTest, ShowCreatesTheWindowsAtTheRectangle) {
    CTodayHtmlWindow html(item);
    EXPECT_FALSE(html.IsVisible());
    EXPECT_FALSE(html.Navigate(L"http://127.0.0.1:1/a.png")); // nothing created yet
    EXPECT_TRUE(html.GetUrl().empty());

    EXPECT_TRUE(html.Show(below));
    HWND frame = html.GetFrame();
    ASSERT_TRUE(IsWindow(frame));
    EXPECT_TRUE(IsWindowVisible(frame));
    EXPECT_TRUE(html.IsVisible());
    EXPECT_FALSE(html.IsFullScreen());
    EXPECT_TRUE(SameRect(below, WindowRect(frame)));

    HWND control = html.GetControl();
    ASSERT_TRUE(IsWindow(control));
    EXPECT_EQ(frame, GetParent(control));
    wchar_t className[32] = L"";
    GetClassNameW(control, className, 32);
    EXPECT_STREQ(DISPLAYCLASS, className);
    RECT frameClient, controlRect;
    GetClientRect(frame, &frameClient);
    GetClientRect(control, &controlRect);
    EXPECT_TRUE(SameRect(frameClient, controlRect));

    EXPECT_FALSE(html.Create());
    EXPECT_EQ(frame, html.GetFrame());

    EXPECT_EQ(0, html.Hide());
    EXPECT_FALSE(html.IsVisible());
    EXPECT_FALSE(IsWindowVisible(frame));
    EXPECT_TRUE(html.Destroy());
}

// The control, subclassed: records the texts of the navigations it takes.
std::vector<std::wstring> g_navigated;
WNDPROC g_controlProc = nullptr;

LRESULT CALLBACK RecordingControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == DTM_NAVIGATE)
        g_navigated.push_back(reinterpret_cast<LPCWSTR>(lParam));
    return CallWindowProcW(g_controlProc, window, message, wParam, lParam);
}

TEST_F(CTodayHtmlWindowTest, NavigationReachesTheControlAfterTheCallerReturns) {
    CTodayHtmlWindow html(item);
    ASSERT_TRUE(html.Create());
    HWND control = html.GetControl();
    g_navigated.clear();
    g_controlProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingControlProc)));

    std::wstring first = L"http://127.0.0.1:1/map?lat=50.08&lon=14.42";
    std::wstring second = L"http://127.0.0.1:1/map?lat=49.19&lon=16.60";
    EXPECT_TRUE(html.Navigate(first));
    // The second navigation replaces the stored URL while the first is still queued.
    EXPECT_TRUE(html.Navigate(second));
    EXPECT_EQ(second, html.GetUrl());
    EXPECT_TRUE(g_navigated.empty());
    PumpMessages();
    ASSERT_EQ(2u, g_navigated.size());
    EXPECT_EQ(first, g_navigated[0]);
    EXPECT_EQ(second, g_navigated[1]);
    EXPECT_EQ(second, Text(control));
    EXPECT_TRUE(html.Destroy());
}

TEST_F(CTodayHtmlWindowTest, FullScreenCoversTheScreenAndRestoresTheRectangle) {
    CTodayHtmlWindow html(item);
    ASSERT_TRUE(html.Show(below));
    HWND frame = html.GetFrame();
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};

    SendMessageW(frame, WM_COMMAND, IDM_HTML_FULLSCREEN, 0);
    EXPECT_TRUE(html.IsFullScreen());
    EXPECT_TRUE(SameRect(screen, WindowRect(frame)));
    EXPECT_EQ(0x2Au, reinterpret_cast<UINT_PTR>(GetPropW(frame, kFullScreenProperty)));

    // Full screen survives hiding and a new rectangle, which is remembered.
    const RECT above = {0, 0, 240, 30};
    html.Hide();
    EXPECT_TRUE(html.Show(above));
    EXPECT_TRUE(html.IsFullScreen());
    EXPECT_TRUE(SameRect(screen, WindowRect(frame)));
    RECT client, control;
    GetClientRect(frame, &client);
    GetClientRect(html.GetControl(), &control);
    EXPECT_TRUE(SameRect(client, control));

    SendMessageW(frame, WM_COMMAND, IDM_HTML_FULLSCREEN, 0);
    EXPECT_FALSE(html.IsFullScreen());
    EXPECT_TRUE(SameRect(above, WindowRect(frame)));
    EXPECT_EQ(0x15u, reinterpret_cast<UINT_PTR>(GetPropW(frame, kFullScreenProperty)));
    EXPECT_TRUE(html.Destroy());
}

TEST_F(CTodayHtmlWindowTest, SettingChangeHidesTheFrameAndRepaintsTheItem) {
    CTodayHtmlWindow html(item);
    ASSERT_TRUE(html.Show(below));
    PumpMessages();
    item->paints = 0;
    SendMessageW(html.GetFrame(), WM_SETTINGCHANGE, 0, 0);
    EXPECT_FALSE(html.IsVisible());
    EXPECT_FALSE(IsWindowVisible(html.GetFrame()));
    EXPECT_EQ(1, item->paints);

    // Already hidden: nothing to repaint.
    SendMessageW(html.GetFrame(), WM_SETTINGCHANGE, 0, 0);
    EXPECT_EQ(1, item->paints);
    EXPECT_TRUE(html.Destroy());
}

TEST_F(CTodayHtmlWindowTest, DestroyTwiceAndTheClassAfterUnregistering) {
    {
        CTodayHtmlWindow html(item);
        ASSERT_TRUE(html.Create());
        HWND frame = html.GetFrame();
        EXPECT_TRUE(html.Destroy());
        EXPECT_FALSE(IsWindow(frame));
        EXPECT_EQ(nullptr, html.GetFrame());
        EXPECT_EQ(nullptr, html.GetControl());
        EXPECT_FALSE(html.Destroy());
        EXPECT_FALSE(html.Navigate(L"http://127.0.0.1:1/"));
    }
    CTodayHtmlWindow::UnregisterWindowClass(instance);
    EXPECT_FALSE(ClassRegistered(instance));

    CTodayHtmlWindow again(item);
    EXPECT_TRUE(again.Show(below));
    EXPECT_TRUE(ClassRegistered(instance));
    EXPECT_TRUE(IsWindow(again.GetFrame()));

    // Registering again while a frame uses the class keeps it registered and usable.
    EXPECT_TRUE(CTodayHtmlWindow::RegisterWindowClass(instance));
    CTodayHtmlWindow second(item);
    EXPECT_TRUE(second.Create());
    EXPECT_TRUE(second.Destroy());
    EXPECT_TRUE(again.Destroy());
}

// What the helper thread saw of the context menu.
struct MenuSeen {
    std::atomic<bool> found{false};
    bool checked = false;
    std::wstring text;
};

// Waits for the popup menu of `thread`, reads its one item and picks it (or cancels).
void DriveMenu(DWORD thread, MenuSeen* seen, bool pick) {
    HWND menuWindow = nullptr;
    for (int i = 0; i < 1000 && !menuWindow; ++i) {
        EnumThreadWindows(
            thread,
            [](HWND window, LPARAM result) -> BOOL {
                wchar_t className[16] = L"";
                GetClassNameW(window, className, 16);
                if (lstrcmpW(className, L"#32768") == 0 && IsWindowVisible(window)) {
                    *reinterpret_cast<HWND*>(result) = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&menuWindow));
        if (!menuWindow)
            Sleep(10);
    }
    if (!menuWindow)
        return;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    wchar_t text[64] = L"";
    GetMenuStringW(menu, IDM_HTML_FULLSCREEN, text, 64, MF_BYCOMMAND);
    seen->text = text;
    seen->checked = (GetMenuState(menu, IDM_HTML_FULLSCREEN, MF_BYCOMMAND) & MF_CHECKED) != 0;
    seen->found = true;
    if (pick) {
        PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
    } else {
        PostMessageW(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
    }
}

// Holds the stylus on the control until the menu has come and gone.
void TapAndHold(HWND control) {
    PumpMessages();
    // Where the pointer already is, so that no pointer motion breaks the hold.
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(control, &point);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
    PumpMessages();
}

TEST_F(CTodayHtmlWindowTest, ContextMenuTogglesFullScreen) {
    CTodayHtmlWindow html(item);
    // Under the pointer, wherever Xvfb put it.
    RECT whole = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) - 1};
    ASSERT_TRUE(html.Show(whole));
    DWORD thread = GetCurrentThreadId();

    MenuSeen first;
    std::thread helper(DriveMenu, thread, &first, true);
    TapAndHold(html.GetControl());
    helper.join();
    ASSERT_TRUE(first.found);
    EXPECT_EQ(L"Celá obrazovka", first.text);
    EXPECT_FALSE(first.checked);
    PumpMessages();
    EXPECT_TRUE(html.IsFullScreen());
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), WindowRect(html.GetFrame()).bottom);

    MenuSeen cancelled;
    helper = std::thread(DriveMenu, thread, &cancelled, false);
    TapAndHold(html.GetControl());
    helper.join();
    ASSERT_TRUE(cancelled.found);
    EXPECT_TRUE(cancelled.checked);
    PumpMessages();
    EXPECT_TRUE(html.IsFullScreen());

    MenuSeen second;
    helper = std::thread(DriveMenu, thread, &second, true);
    TapAndHold(html.GetControl());
    helper.join();
    ASSERT_TRUE(second.found);
    EXPECT_TRUE(second.checked);
    PumpMessages();
    EXPECT_FALSE(html.IsFullScreen());
    EXPECT_TRUE(SameRect(whole, WindowRect(html.GetFrame())));
    EXPECT_TRUE(html.Destroy());
}

} // namespace

#include <gtest/gtest.h>

#include <string>

#include "TestItem.h"
#include "TestShell.h"

namespace {

TODAYLISTITEM EnabledItem() {
    TODAYLISTITEM item = {};
    lstrcpyW(item.szName, L"Test");
    item.tlit = tlitCustom;
    item.fEnabled = TRUE;
    item.cyp = 55;
    return item;
}

SIZE BitmapSize(HDC dc) {
    BITMAP bitmap = {};
    GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof(bitmap), &bitmap);
    return {bitmap.bmWidth, bitmap.bmHeight};
}

class TodayWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { shell = new TestShell; }
    static void TearDownTestSuite() { delete shell; }
    static inline TestShell* shell = nullptr;
};

TEST_F(TodayWindow, DisabledItemGetsNoWindow) {
    TestItem window;
    TODAYLISTITEM item = EnabledItem();
    item.fEnabled = FALSE;
    EXPECT_FALSE(window.Create(&item, shell->window, WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(window.GetWindow(), nullptr);
    EXPECT_EQ(FindWindowExW(shell->window, nullptr, L"TestItemClass", nullptr), nullptr);
    EXPECT_EQ(item.cyp, 55u);
}

TEST_F(TodayWindow, CreationAsksColoursAndAnswersHeightQueryOnce) {
    TestItem window;
    TODAYLISTITEM item = EnabledItem();
    ASSERT_TRUE(window.Create(&item, shell->window, WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(GetParent(window.GetWindow()), shell->window);
    EXPECT_EQ(window.GetTextColor(), TestShell::Text);
    EXPECT_EQ(window.GetHighlightColor(), TestShell::Highlight);
    EXPECT_EQ(window.GetHighlightedTextColor(), TestShell::HighlightedText);
    RECT rect;
    GetWindowRect(window.GetWindow(), &rect);
    EXPECT_EQ(rect.right - rect.left, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(rect.bottom - rect.top, 0);

    EXPECT_EQ(item.cyp, 0u);
    HWND hwnd = window.GetWindow();
    auto query = [&] {
        return SendMessageW(hwnd, WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&item),
                            0);
    };
    EXPECT_EQ(query(), TRUE);
    EXPECT_EQ(item.cyp, 70u);
    EXPECT_EQ(query(), FALSE);
    EXPECT_EQ(item.cyp, 70u);
}

TEST_F(TodayWindow, FontsAreTahomaEightAndAHalfPoints) {
    TestItem window;
    TODAYLISTITEM item = EnabledItem();
    ASSERT_TRUE(window.Create(&item, shell->window, WS_CHILD | WS_VISIBLE));
    HDC dc = GetDC(window.GetWindow());
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(window.GetWindow(), dc);
    LOGFONTW normal = {};
    LOGFONTW bold = {};
    GetObjectW(window.GetNormalFont(), sizeof(normal), &normal);
    GetObjectW(window.GetBoldFont(), sizeof(bold), &bold);
    EXPECT_EQ(std::wstring(normal.lfFaceName), L"Tahoma");
    EXPECT_EQ(normal.lfWeight, 400);
    EXPECT_EQ(bold.lfWeight, 700);
    EXPECT_EQ(normal.lfHeight, bold.lfHeight);
    if (dpi == 96) {
        EXPECT_EQ(normal.lfHeight, -11);
    } else if (dpi == 192) {
        EXPECT_EQ(normal.lfHeight, -22);
    } else {
        ADD_FAILURE() << "unexpected dpi " << dpi;
    }
    // The 192 dpi run: this program again, with Wine's LogPixels set (see FontsAt192Dpi).
    if (GetEnvironmentVariableW(L"KESTREL_EXPECT_DPI", nullptr, 0)) {
        EXPECT_EQ(dpi, 192);
    }
}

// Wine reads LogPixels when a process starts: the check runs in a second process.
TEST_F(TodayWindow, FontsAt192Dpi) {
    if (GetEnvironmentVariableW(L"KESTREL_EXPECT_DPI", nullptr, 0))
        GTEST_SKIP() << "inside the 192 dpi run";
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD old = 0, size = sizeof(old);
    bool hadOld = RegQueryValueExW(key, L"LogPixels", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&old), &size) == ERROR_SUCCESS;
    DWORD dpi = 192;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dpi), sizeof(dpi));

    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command = std::wstring(L"\"") + path +
                           L"\" --gtest_filter=TodayWindow.FontsAreTahomaEightAndAHalfPoints";
    SetEnvironmentVariableW(L"KESTREL_EXPECT_DPI", L"192");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  nullptr, &startup, &process);
    SetEnvironmentVariableW(L"KESTREL_EXPECT_DPI", nullptr);
    DWORD exitCode = 1;
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    if (hadOld)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&old), sizeof(old));
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);
    ASSERT_TRUE(started);
    EXPECT_EQ(exitCode, 0u);
}

TEST_F(TodayWindow, BackBufferFollowsTheClientSize) {
    TestItem window;
    TODAYLISTITEM item = EnabledItem();
    ASSERT_TRUE(window.CreateIn(shell->window, item, 240, 70));
    SIZE size = BitmapSize(window.GetMemoryDC());
    EXPECT_EQ(size.cx, 240);
    EXPECT_EQ(size.cy, 70);

    MoveWindow(window.GetWindow(), 0, 0, 200, 90, FALSE);
    size = BitmapSize(window.GetMemoryDC());
    EXPECT_EQ(size.cx, 200);
    EXPECT_EQ(size.cy, 90);

    SendMessageW(window.GetWindow(), WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
    size = BitmapSize(window.GetMemoryDC());
    EXPECT_EQ(size.cx, 200);
    EXPECT_EQ(size.cy, 90);

    DestroyWindow(window.GetWindow());
    EXPECT_EQ(window.GetMemoryDC(), nullptr);
}

TEST_F(TodayWindow, PaintsContentOverTheWatermarkInOneBlit) {
    TestItem window;
    TODAYLISTITEM item = EnabledItem();
    ASSERT_TRUE(window.CreateIn(shell->window, item, 240, 70));
    int requests = shell->watermarkRequests;
    window.Refresh(FALSE);
    EXPECT_GT(shell->watermarkRequests, requests);
    EXPECT_GE(window.paints, 1);

    // No icon: only the watermark and the item's content.
    HDC memory = window.GetMemoryDC();
    EXPECT_EQ(GetPixel(memory, 5, 5), TestShell::Watermark);
    EXPECT_EQ(GetPixel(memory, 110, 15), TestItem::Content);
    EXPECT_EQ(GetPixel(memory, 239, 69), TestShell::Watermark);

    HDC screen = GetDC(window.GetWindow());
    EXPECT_EQ(GetPixel(screen, 5, 5), TestShell::Watermark);
    EXPECT_EQ(GetPixel(screen, 110, 15), TestItem::Content);
    ReleaseDC(window.GetWindow(), screen);

    // Without content the next paint shows the watermark alone.
    window.drawContent = false;
    window.Refresh(FALSE);
    EXPECT_EQ(GetPixel(window.GetMemoryDC(), 110, 15), TestShell::Watermark);
}

TEST_F(TodayWindow, DispatchesTheShellProtocolToTheHooks) {
    TestItem window;
    TODAYLISTITEM item = EnabledItem();
    ASSERT_TRUE(window.CreateIn(shell->window, item));
    HWND hwnd = window.GetWindow();
    EXPECT_EQ(SendMessageW(hwnd, WM_TODAYCUSTOM_RECEIVEDSELECTION, VK_DOWN, 0), 1);
    EXPECT_EQ(window.receivedKey, static_cast<WPARAM>(VK_DOWN));
    EXPECT_EQ(SendMessageW(hwnd, WM_TODAYCUSTOM_RECEIVEDSELECTION, VK_UP, 0), 0);
    EXPECT_EQ(SendMessageW(hwnd, WM_TODAYCUSTOM_USERNAVIGATION, VK_LEFT, 0), 0);
    EXPECT_EQ(SendMessageW(hwnd, WM_TODAYCUSTOM_CLEARCACHE, 0, 0), 0);
    EXPECT_EQ(SendMessageW(hwnd, WM_ERASEBKGND, 0, 0), 1);
    SendMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 12));
    EXPECT_EQ(window.downX, 30);
    EXPECT_EQ(window.downY, 12);
}

TEST_F(TodayWindow, CreationAbortedByOnCreateLeavesNoWindow) {
    struct Refusing : TestItem {
        LRESULT OnCreate(LPCREATESTRUCTW) override { return -1; }
    } window;
    TODAYLISTITEM item = EnabledItem();
    EXPECT_FALSE(window.Create(&item, shell->window, WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(window.GetWindow(), nullptr);
    EXPECT_EQ(window.GetNormalFont(), nullptr);
}

} // namespace

#include <gtest/gtest.h>

#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>

#include <string>

#include "DialogDriver.h"
#include "SettingsPageTest.h"
#include "OptionPages.h"
#include "PageDriver.h"
#include "resource.h"

using namespace page_driver;

namespace {

// The basic page as the Today shell shows it: dialog 500 with the exported procedure, over a
// real item whose settings it edits.
class BasicPageTest : public SettingsPageTest {
protected:
    BasicPageTest()
        : SettingsPageTest(IDD_OPTIONS, CustomItemOptionsDlgProc, IDC_OPTIONS_INTERVAL) {}

    void Fill(HWND page, const wchar_t* interval, const wchar_t* path, const wchar_t* height) {
        SetDlgItemTextW(page, IDC_OPTIONS_INTERVAL, interval);
        SetDlgItemTextW(page, IDC_OPTIONS_LOG_PATH, path);
        SetDlgItemTextW(page, IDC_OPTIONS_HEIGHT, height);
    }
};

TEST_F(BasicPageTest, FreshRegistryShowsAndCreatesTheDefaults) {
    StartWithoutSettings();
    std::wstring interval, path, height;
    INT_PTR result = Run([&](HWND page) {
        interval = Text(page, IDC_OPTIONS_INTERVAL);
        path = Text(page, IDC_OPTIONS_LOG_PATH);
        height = Text(page, IDC_OPTIONS_HEIGHT);
        SendMessageW(page, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(L"5", interval);
    EXPECT_EQ(L"\\gsminfo.txt", path);
    EXPECT_EQ(L"70", height);

    DWORD value = 0;
    std::wstring text;
    ASSERT_TRUE(ReadDWORD(L"CheckInterval", value));
    EXPECT_EQ(5u, value);
    ASSERT_TRUE(ReadString(L"LogFilePath", text));
    EXPECT_EQ(L"\\gsminfo.txt", text);
    ASSERT_TRUE(ReadDWORD(L"ItemHeight", value));
    EXPECT_EQ(70u, value);
}

TEST_F(BasicPageTest, OkConvertsAndStoresTheTextsAndTheItemReloads) {
    struct Case {
        const wchar_t* interval;
        const wchar_t* path;
        const wchar_t* height;
        DWORD storedInterval;
        DWORD storedHeight;
    };
    const Case cases[] = {
        {L"", L"", L"0", 0, 70},
        {L"12", L"\\log\\cells.txt", L"", 12, 70},
        {L" 7s", L"\\a.txt", L"x45", 7, 70},
        {L"abc", L"\\b.txt", L"45", 0, 45},
        {L"-3", L"\\c.txt", L" 46px", static_cast<DWORD>(-3), 46},
        {L"8", L"\\d.txt", L"-45", 8, 70},
        {L"9", L"\\e.txt", L"99999999999", 9, 70},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        INT_PTR result = Run([&](HWND page) {
            Fill(page, c.interval, c.path, c.height);
            SendMessageW(page, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(IDOK, result);
        DWORD value = 0;
        std::wstring text;
        ASSERT_TRUE(ReadDWORD(L"CheckInterval", value));
        EXPECT_EQ(c.storedInterval, value);
        ASSERT_TRUE(ReadString(L"LogFilePath", text));
        EXPECT_EQ(c.path, text);
        ASSERT_TRUE(ReadDWORD(L"ItemHeight", value));
        EXPECT_EQ(c.storedHeight, value);
        // The item took the new height at once.
        EXPECT_EQ(c.storedHeight, fixture.item->GetItemHeight());
    }
}

// The save-file dialog that the "..." button opens, owned by the page.
HWND WaitForSaveDialog(DWORD thread, HWND page) {
    return WaitForDialog(thread,
                         [=](HWND w) { return w != page && GetWindow(w, GW_OWNER) == page; });
}

TEST_F(BasicPageTest, BrowseCancelledKeepsThePathAndConfirmedTakesTheChosenFile) {
    DWORD thread = GetCurrentThreadId();
    std::wstring afterCancel, afterConfirm;
    bool sawCancelDialog = false, sawConfirmDialog = false;
    Run([&](HWND page) {
        HWND button = GetDlgItem(page, IDC_OPTIONS_BROWSE);
        SetDlgItemTextW(page, IDC_OPTIONS_LOG_PATH, L"\\keep.txt");

        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_BROWSE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        HWND save = WaitForSaveDialog(thread, page);
        sawCancelDialog = save != nullptr;
        if (save) {
            SendMessageW(save, WM_COMMAND, IDCANCEL, 0);
            WaitUntilGone(save);
        }
        afterCancel = Text(page, IDC_OPTIONS_LOG_PATH);

        PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_OPTIONS_BROWSE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        save = WaitForSaveDialog(thread, page);
        sawConfirmDialog = save != nullptr;
        if (save) {
            HWND name = GetDlgItem(save, cmb13);
            if (!name)
                name = GetDlgItem(save, edt1);
            SetWindowTextW(name, L"C:\\browsed_cells.txt");
            SendMessageW(save, WM_COMMAND, IDOK, 0);
            WaitUntilGone(save);
        }
        afterConfirm = Text(page, IDC_OPTIONS_LOG_PATH);
        SendMessageW(page, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_TRUE(sawCancelDialog);
    EXPECT_EQ(L"\\keep.txt", afterCancel);
    EXPECT_TRUE(sawConfirmDialog);
    EXPECT_EQ(L"C:\\browsed_cells.txt", afterConfirm);
}

} // namespace

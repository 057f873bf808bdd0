#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CTodayOptionsDialog.h"
#include "DialogDriver.h"
#include "aygshell.h"
#include "options_test.h"

using namespace dialog_driver;

namespace {

const UINT TestMessage = WM_APP + 7;

// A page that records every hook it is given, then does what the base does.
class RecordingPage : public CTodayOptionsDialog {
public:
    RecordingPage() : CTodayOptionsDialog(GetModuleHandleW(nullptr), nullptr, true) {}
    ~RecordingPage() override { CloseHandle(ready); }

    HWND Window() const { return dialogWindow; }
    HFONT TitleFont() const { return titleFont; }
    int IndexOf(const std::wstring& call) const {
        auto found = std::find(calls.begin(), calls.end(), call);
        return found == calls.end() ? -1 : static_cast<int>(found - calls.begin());
    }
    bool Saw(const std::wstring& call) const { return IndexOf(call) >= 0; }

    std::vector<std::wstring> calls;
    int paints = 0;
    // Set before `ready`, for the helper thread.
    HWND initialised = nullptr;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);

protected:
    BOOL OnInitDialog(LPARAM lParam) override {
        Record(L"init %d", static_cast<int>(lParam));
        BOOL result = CTodayOptionsDialog::OnInitDialog(lParam);
        initialised = dialogWindow;
        SetEvent(ready);
        return result;
    }
    void OnDestroy() override { Record(L"destroy"); }
    void OnOK() override {
        Record(L"ok");
        CTodayOptionsDialog::OnOK();
    }
    void OnCancel() override {
        Record(L"cancel");
        CTodayOptionsDialog::OnCancel();
    }
    void OnPaint(HDC) override { ++paints; }
    void OnActivate(UINT state, LPARAM lParam, BOOL minimized) override {
        Record(L"activate %u %d %d", state, static_cast<int>(lParam), minimized);
    }
    void OnCommand(UINT id, UINT code, HWND control) override {
        // 0: no control window, 1: the control with that id, 2: anything else.
        int from = !control ? 0 : control == GetDlgItem(dialogWindow, id) ? 1 : 2;
        Record(L"command %u %u %d", id, code, from);
    }
    void OnSettingChange(WPARAM wParam, LPARAM lParam) override {
        Record(L"setting %d %d", static_cast<int>(wParam), static_cast<int>(lParam));
    }
    INT_PTR OnNotify(WPARAM wParam, NMHDR* header) override {
        Record(L"notify %d %d", static_cast<int>(wParam), static_cast<int>(header->code));
        return 77;
    }
    INT_PTR OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == TestMessage) {
            Record(L"other %d %d", static_cast<int>(wParam), static_cast<int>(lParam));
            return 55;
        }
        return CTodayOptionsDialog::OnOtherMessage(message, wParam, lParam);
    }
    void OnLButtonDown(UINT keys, int x, int y) override {
        Record(L"lbutton %u %d %d", keys, x, y);
    }

private:
    template <typename... Args> void Record(const wchar_t* format, Args... args) {
        wchar_t text[128];
        wsprintfW(text, format, args...);
        calls.push_back(text);
    }
};

RecordingPage* activePage = nullptr;

INT_PTR CALLBACK TestPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return activePage->DialogProc(window, message, wParam, lParam);
}

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        activePage = &page;
    }
    void TearDown() override {
        if (modeless && IsWindow(modeless)) {
            DestroyWindow(modeless);
        }
        activePage = nullptr;
    }

    // The page as a modeless dialog: messages go straight in, no modal loop needed.
    HWND CreatePage() {
        modeless = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEST_PAGE),
                                      nullptr, TestPageProc, 0);
        return modeless;
    }

    // The list view resized to a client area `width` pixels wide.
    HWND ListView(int width) {
        HWND list = GetDlgItem(modeless, IDC_TEST_LISTVIEW);
        SetWindowPos(list, nullptr, 0, 0, width, 80, SWP_NOMOVE | SWP_NOZORDER);
        RECT client;
        GetClientRect(list, &client);
        EXPECT_EQ(width, client.right - client.left);
        return list;
    }

    RecordingPage page;
    HWND modeless = nullptr;
};

std::wstring ListViewText(HWND list, int item, int subItem) {
    wchar_t text[256] = L"";
    LVITEMW row = {};
    row.iSubItem = subItem;
    row.pszText = text;
    row.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&row));
    return text;
}

bool IsTitleBlue(COLORREF pixel) {
    return GetBValue(pixel) > 100 && GetRValue(pixel) < 100 && GetGValue(pixel) < 100;
}

int CountTitlePixels(HDC dc, int width) {
    int count = 0;
    for (int y = 0; y < 23; ++y) {
        for (int x = 0; x < width; ++x) {
            count += IsTitleBlue(GetPixel(dc, x, y)) ? 1 : 0;
        }
    }
    return count;
}

} // namespace

TEST_F(OptionsDialogTest, DispatcherMapsMessagesToHooks) {
    HWND dialog = CreatePage();
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(page.Saw(L"init 0"));
    HWND edit = GetDlgItem(dialog, IDC_TEST_EDIT);

    EXPECT_EQ(TRUE, page.DialogProc(dialog, WM_COMMAND, MAKEWPARAM(IDC_TEST_EDIT, EN_CHANGE),
                                    reinterpret_cast<LPARAM>(edit)));
    EXPECT_TRUE(page.Saw(L"command 1001 768 1"));

    // Screen-edge taps give negative coordinates.
    EXPECT_EQ(TRUE, page.DialogProc(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(-3, 40)));
    EXPECT_TRUE(page.Saw(L"lbutton 1 -3 40"));

    NMHDR header = {edit, IDC_TEST_EDIT, static_cast<UINT>(PSN_KILLACTIVE)};
    EXPECT_EQ(77,
              page.DialogProc(dialog, WM_NOTIFY, IDC_TEST_EDIT, reinterpret_cast<LPARAM>(&header)));
    EXPECT_TRUE(page.Saw(L"notify 1001 -201"));

    EXPECT_EQ(TRUE, page.DialogProc(dialog, WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 1), 4660));
    EXPECT_TRUE(page.Saw(L"activate 2 4660 1"));

    EXPECT_EQ(TRUE, page.DialogProc(dialog, WM_SETTINGCHANGE, 0xF2, 85));
    EXPECT_TRUE(page.Saw(L"setting 242 85"));

    EXPECT_EQ(55, page.DialogProc(dialog, TestMessage, 3, 4));
    EXPECT_TRUE(page.Saw(L"other 3 4"));
    EXPECT_EQ(0, page.DialogProc(dialog, WM_APP + 8, 0, 0));

    ShowWindow(dialog, SW_SHOW);
    int paints = page.paints;
    InvalidateRect(dialog, nullptr, TRUE);
    UpdateWindow(dialog);
    EXPECT_GT(page.paints, paints);

    DestroyWindow(dialog);
    EXPECT_TRUE(page.Saw(L"destroy"));
    EXPECT_EQ(nullptr, page.Window());
    // A title change after the dialog has gone must not reach any window.
    page.SetTitle(L"Po zavření", true);
}

TEST_F(OptionsDialogTest, OkAndCancelEndTheModalDialogAndReachOnCommand) {
    const struct {
        UINT command;
        const wchar_t* hook;
    } cases[] = {{IDOK, L"ok"}, {IDCANCEL, L"cancel"}};
    for (const auto& c : cases) {
        page.calls.clear();
        ResetEvent(page.ready);
        bool initialised = false;
        INT_PTR result;
        {
            Helper driver([&] {
                initialised = WaitFor(page.ready);
                if (initialised) {
                    SendMessageW(page.initialised, WM_COMMAND, MAKEWPARAM(c.command, BN_CLICKED),
                                 0);
                }
            });
            result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TEST_PAGE),
                                     nullptr, TestPageProc, 42);
        }
        ASSERT_TRUE(initialised);
        EXPECT_EQ(static_cast<INT_PTR>(c.command), result);
        EXPECT_TRUE(page.Saw(L"init 42"));
        std::wstring command = L"command " + std::to_wstring(c.command) + L" 0 0";
        int hook = page.IndexOf(c.hook);
        int onCommand = page.IndexOf(command);
        ASSERT_GE(hook, 0);
        ASSERT_GE(onCommand, 0);
        EXPECT_LT(hook, onCommand);
        EXPECT_LT(onCommand, page.IndexOf(L"destroy"));
    }
}

TEST_F(OptionsDialogTest, InitialisationSizesThePageAndMakesTheTitleFont) {
    HWND dialog = CreatePage();
    ASSERT_NE(nullptr, dialog);
    RECT frame;
    GetWindowRect(dialog, &frame);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), frame.right - frame.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), frame.bottom - frame.top);
    // The stand-in keeps the Done button state as a window property.
    EXPECT_EQ(SHDB_SHOW, reinterpret_cast<UINT_PTR>(GetPropW(dialog, L"Kestrel.SHDoneButton")));

    HDC dc = GetDC(dialog);
    int logPixelsY = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(dialog, dc);
    ASSERT_EQ(96, logPixelsY);
    LOGFONTW font = {};
    ASSERT_EQ(static_cast<int>(sizeof(font)), GetObjectW(page.TitleFont(), sizeof(font), &font));
    // 8.5 points at 96 dpi.
    EXPECT_EQ(-11, font.lfHeight);
    EXPECT_EQ(600, font.lfWeight);
    EXPECT_STREQ(L"Tahoma", font.lfFaceName);
}

TEST_F(OptionsDialogTest, TitleAndRuleAreDrawnOnlyWhenThereIsATitle) {
    HWND dialog = CreatePage();
    ASSERT_NE(nullptr, dialog);
    ShowWindow(dialog, SW_SHOW);
    RECT client;
    GetClientRect(dialog, &client);
    int width = client.right;
    HDC dc = GetDC(dialog);

    page.SetTitle(L"", true);
    EXPECT_EQ(0, CountTitlePixels(dc, width));
    COLORREF background = GetPixel(dc, width / 2, 23);
    EXPECT_NE(RGB(0, 0, 0), background);

    // Repainted at once, through WM_PAINT.
    page.SetTitle(L"Nastavení Kestrelu", true);
    EXPECT_GT(CountTitlePixels(dc, width), 20);
    for (int y = 0; y < 23; ++y) {
        EXPECT_FALSE(IsTitleBlue(GetPixel(dc, 7, y))) << "text starts 8 pixels in";
    }
    for (int x : {0, width / 2, width - 1}) {
        EXPECT_EQ(RGB(0, 0, 0), GetPixel(dc, x, 23));
        EXPECT_EQ(background, GetPixel(dc, x, 24));
    }
    ReleaseDC(dialog, dc);
}

TEST_F(OptionsDialogTest, ControlHelpers) {
    HWND dialog = CreatePage();
    ASSERT_NE(nullptr, dialog);

    EXPECT_EQ(L"", page.GetItemText(IDC_TEST_EDIT));
    page.SetItemText(IDC_TEST_EDIT, L"Příliš žluťoučký kůň");
    EXPECT_EQ(L"Příliš žluťoučký kůň", page.GetItemText(IDC_TEST_EDIT));
    EXPECT_EQ(L"", page.GetItemText(4242));

    EXPECT_FALSE(page.IsChecked(IDC_TEST_CHECK));
    page.SetChecked(IDC_TEST_CHECK, true);
    EXPECT_TRUE(page.IsChecked(IDC_TEST_CHECK));
    page.SetChecked(IDC_TEST_CHECK, false);
    EXPECT_FALSE(page.IsChecked(IDC_TEST_CHECK));

    page.InsertListBoxString(IDC_TEST_LIST, L"B", 0);
    page.InsertListBoxString(IDC_TEST_LIST, L"D", 1);
    page.InsertListBoxString(IDC_TEST_LIST, L"A", 0);
    page.InsertListBoxString(IDC_TEST_LIST, L"C", 2);
    HWND list = GetDlgItem(dialog, IDC_TEST_LIST);
    ASSERT_EQ(4, SendMessageW(list, LB_GETCOUNT, 0, 0));
    std::wstring order;
    for (int i = 0; i < 4; ++i) {
        wchar_t text[8] = L"";
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        order += text;
    }
    EXPECT_EQ(L"ABCD", order);
}

TEST_F(OptionsDialogTest, ListViewColumnWidthIsClampedShareOfTheClientWidth) {
    ASSERT_NE(nullptr, CreatePage());
    HWND list = ListView(200);

    const struct {
        int percent;
        int width;
    } cases[] = {{5, 20}, {95, 180}, {25, 50}, {10, 20}, {11, 22}, {89, 178}, {90, 180}};
    int column = 0;
    for (const auto& c : cases) {
        EXPECT_TRUE(page.fInsertListViewColumn(list, column, c.percent, L"Net Id"));
        EXPECT_EQ(c.width, SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0)) << c.percent;
        ++column;
    }
    wchar_t title[32] = L"";
    LVCOLUMNW header = {};
    header.mask = LVCF_TEXT;
    header.pszText = title;
    header.cchTextMax = 32;
    SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&header));
    EXPECT_STREQ(L"Net Id", title);

    // No shortfall from binary fractions: 29 % of 100 pixels is 29 pixels.
    list = ListView(100);
    EXPECT_TRUE(page.fInsertListViewColumn(list, column, 29, L"Url"));
    EXPECT_EQ(29, SendMessageW(list, LVM_GETCOLUMNWIDTH, column, 0));
}

TEST_F(OptionsDialogTest, ListViewRowsAndMisuseReportedInAMessageBox) {
    ASSERT_NE(nullptr, CreatePage());
    HWND list = ListView(200);
    ASSERT_TRUE(page.fInsertListViewColumn(list, 0, 25, L"Net Id"));
    ASSERT_TRUE(page.fInsertListViewColumn(list, 1, 75, L"Url"));
    EXPECT_TRUE(page.fInsertListViewItem(list, 0, 0, 0, L"23001"));
    EXPECT_TRUE(page.fInsertListViewItem(list, 0, 1, 1, L"http://127.0.0.1/23001.csv"));
    EXPECT_EQ(L"23001", ListViewText(list, 0, 0));
    EXPECT_EQ(L"http://127.0.0.1/23001.csv", ListViewText(list, 0, 1));
    // A subitem of a row that does not exist.
    EXPECT_FALSE(page.fInsertListViewItem(list, 5, 1, 1, L"x"));

    DWORD testThread = GetCurrentThreadId();
    MessageBoxSeen seen[3];
    bool results[3];
    {
        Helper driver([&] {
            for (auto& box : seen) {
                box = CloseMessageBox(testThread);
            }
        });
        results[0] = page.fInsertListViewItem(list, 0, 0, 2, L"23001");
        results[1] = page.fInsertListViewItem(nullptr, 0, 0, 0, L"23001");
        results[2] = page.fInsertListViewColumn(nullptr, 1, 75, L"Url");
    }
    const wchar_t* texts[3] = {L"! Unexpected iSubItemYesNo value: 2 (fInsertListViewItem)",
                               L"! Handle of ListView NULL (fInsertListViewItem)",
                               L"! Handle of ListView NULL (fInsertListViewColumn)"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(results[i]);
        ASSERT_TRUE(seen[i].found) << i;
        EXPECT_EQ(L"Kestrel", seen[i].caption);
        EXPECT_EQ(texts[i], seen[i].text);
    }
    EXPECT_EQ(1, SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

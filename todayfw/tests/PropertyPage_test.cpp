#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "CTodayOptionsDialog.h"
#include "DialogDriver.h"
#include "PropertyPage.h"
#include "options_test.h"

using namespace dialog_driver;

namespace {

// A sheet page that records the notifications it gets and, like the item's pages, answers
// PSN_KILLACTIVE with TRUE.
class SheetPage : public CTodayOptionsDialog {
public:
    SheetPage() : CTodayOptionsDialog(GetModuleHandleW(nullptr), nullptr, true) {}
    ~SheetPage() override { CloseHandle(ready); }

    HWND Window() const { return window; }
    bool Got(int code) const {
        for (int c : codes) {
            if (c == code) {
                return true;
            }
        }
        return false;
    }

    std::vector<int> codes;
    bool destroyed = false;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);

protected:
    BOOL OnInitDialog(LPARAM lParam) override {
        window = dialogWindow;
        BOOL result = CTodayOptionsDialog::OnInitDialog(lParam);
        SetEvent(ready);
        return result;
    }
    void OnDestroy() override { destroyed = true; }
    INT_PTR OnNotify(WPARAM wParam, NMHDR* header) override {
        codes.push_back(static_cast<int>(header->code));
        return header->code == PSN_KILLACTIVE ? TRUE
                                              : CTodayOptionsDialog::OnNotify(wParam, header);
    }

private:
    HWND window = nullptr;
};

SheetPage* firstPage = nullptr;
SheetPage* secondPage = nullptr;

INT_PTR CALLBACK FirstPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return firstPage->DialogProc(window, message, wParam, lParam);
}

INT_PTR CALLBACK SecondPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return secondPage->DialogProc(window, message, wParam, lParam);
}

class TwoPageSheet : public PropertyPage {
public:
    PROPSHEETPAGEW* CreatePages(HINSTANCE instance, HWND, int& count) override {
        count = 2;
        auto* pages = new PROPSHEETPAGEW[2]();
        const struct {
            int dialog;
            const wchar_t* title;
            DLGPROC procedure;
        } set[2] = {{IDD_SHEET_FIRST, L"První", FirstPageProc},
                    {IDD_SHEET_SECOND, L"Druhá", SecondPageProc}};
        for (int i = 0; i < 2; ++i) {
            pages[i].dwSize = sizeof(PROPSHEETPAGEW);
            pages[i].dwFlags = PSP_USETITLE;
            pages[i].hInstance = instance;
            pages[i].pszTemplate = MAKEINTRESOURCEW(set[i].dialog);
            pages[i].pszTitle = set[i].title;
            pages[i].pfnDlgProc = set[i].procedure;
        }
        return pages;
    }
};

// No pages at all, or an empty array of them.
class NoPages : public PropertyPage {
public:
    explicit NoPages(bool emptyArray) : emptyArray(emptyArray) {}
    PROPSHEETPAGEW* CreatePages(HINSTANCE, HWND, int& count) override {
        count = 0;
        return emptyArray ? new PROPSHEETPAGEW[1]() : nullptr;
    }

private:
    bool emptyArray;
};

// Counts the windows the thread creates while installed.
class WindowCounter {
public:
    WindowCounter() {
        created = 0;
        hook = SetWindowsHookExW(WH_CBT, Count, nullptr, GetCurrentThreadId());
    }
    ~WindowCounter() { UnhookWindowsHookEx(hook); }
    static int created;

private:
    static LRESULT CALLBACK Count(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND)
            ++created;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook;
};

int WindowCounter::created = 0;

} // namespace

TEST(PropertyPageTest, TwoPagesShowSwitchAndCloseWithOk) {
    SheetPage first;
    SheetPage second;
    firstPage = &first;
    secondPage = &second;

    bool firstShown = false;
    int tabs = 0;
    bool tabsVisible = false;
    bool switched = false;
    bool secondShown = false;
    {
        Helper driver([&] {
            firstShown = WaitFor(first.ready);
            if (!firstShown) {
                return;
            }
            HWND sheet = GetParent(first.Window());
            HWND tabControl = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
            tabs = static_cast<int>(SendMessageW(tabControl, TCM_GETITEMCOUNT, 0, 0));
            tabsVisible = IsWindowVisible(tabControl) != FALSE;
            switched = SendMessageW(sheet, PSM_SETCURSEL, 1, 0) != 0;
            secondShown = WaitFor(second.ready);
            SendMessageW(sheet, PSM_PRESSBUTTON, secondShown ? PSBTN_OK : PSBTN_CANCEL, 0);
        });
        TwoPageSheet sheet;
        sheet.Show(GetModuleHandleW(nullptr), nullptr);
    }

    ASSERT_TRUE(firstShown);
    EXPECT_EQ(2, tabs);
    // A sheet with tabs, not a wizard.
    EXPECT_TRUE(tabsVisible);
    EXPECT_TRUE(switched);
    ASSERT_TRUE(secondShown);
    // Leaving the first page tells it so; its TRUE does not keep the user there.
    EXPECT_TRUE(first.Got(PSN_KILLACTIVE));
    EXPECT_TRUE(second.Got(PSN_SETACTIVE));
    // OK leaves the current page and applies.
    EXPECT_TRUE(second.Got(PSN_KILLACTIVE));
    EXPECT_TRUE(second.Got(PSN_APPLY));
    EXPECT_TRUE(first.destroyed);
    EXPECT_TRUE(second.destroyed);
    firstPage = secondPage = nullptr;
}

TEST(PropertyPageTest, NoPagesShowNothing) {
    for (bool emptyArray : {false, true}) {
        WindowCounter windows;
        NoPages sheet(emptyArray);
        sheet.Show(GetModuleHandleW(nullptr), nullptr);
        EXPECT_EQ(0, WindowCounter::created) << emptyArray;
    }
}

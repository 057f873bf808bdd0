#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "DialogDriver.h"
#include "PageDriver.h"
#include "resource.h"

using namespace page_driver;

namespace {

// KestrelToday.dll as the Today shell uses it for the item's options: dialog 500 from the
// library with the procedure exported by ordinal 241.
TEST(OptionsExport, Ordinal241RunsTheBasicPageFromTheLibrary) {
    DeleteSettings();
    HMODULE library = LoadLibraryW(L"KestrelToday.dll");
    ASSERT_NE(nullptr, library);
    auto proc = reinterpret_cast<DLGPROC>(
        reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(241))));
    ASSERT_NE(nullptr, proc);
    EXPECT_EQ(nullptr, GetProcAddress(library, "CustomItemOptionsDlgProc"));

    DWORD thread = GetCurrentThreadId();
    std::wstring interval;
    INT_PTR result;
    {
        dialog_driver::Helper helper([&] {
            HWND page = WaitForPage(thread, IDC_OPTIONS_INTERVAL);
            if (!page)
                return;
            interval = Text(page, IDC_OPTIONS_INTERVAL);
            SetDlgItemTextW(page, IDC_OPTIONS_INTERVAL, L"15");
            SendMessageW(page, WM_COMMAND, IDOK, 0);
        });
        result = DialogBoxParamW(library, MAKEINTRESOURCEW(IDD_OPTIONS), nullptr, proc, 0);
    }
    FreeLibrary(library);

    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(L"5", interval);
    DWORD stored = 0;
    ASSERT_TRUE(ReadDWORD(L"CheckInterval", stored));
    EXPECT_EQ(15u, stored);
    DeleteSettings();
}

} // namespace

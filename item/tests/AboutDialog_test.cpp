#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "AboutDialog.h"
#include "DialogDriver.h"
#include "OptionPages.h"
#include "PageDriver.h"
#include "resource.h"

using namespace page_driver;

namespace {

// The test program carries the library's resources, version block included.
TEST(AboutPage, ShowsTheLibrarysVersion) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    EXPECT_EQ(L"0.10.0\n", GetVersionText(module));

    CreateOptionPages(module, nullptr);
    DWORD thread = GetCurrentThreadId();
    std::wstring version;
    bool hasIcon = false;
    INT_PTR result;
    {
        dialog_driver::Helper helper([&] {
            HWND page = WaitForPage(thread, IDC_ABOUT_VERSION);
            if (!page)
                return;
            version = Text(page, IDC_ABOUT_VERSION);
            hasIcon = SendDlgItemMessageW(page, IDC_ABOUT_ICON, STM_GETICON, 0, 0) != 0;
            SendMessageW(page, WM_COMMAND, IDOK, 0);
        });
        result = DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_ABOUT), nullptr, AboutPageProc, 0);
    }
    DestroyOptionPages();
    // The pages open the item's key when they are made.
    DeleteSettings();
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(L"Kestrel verze: 0.10.0\n", version);
    EXPECT_TRUE(hasIcon);
}

TEST(AboutPage, VersionOfTheBuiltLibraryLoadedAsData) {
    HMODULE library = LoadLibraryExW(L"KestrelToday.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, library);
    EXPECT_EQ(L"0.10.0\n", GetVersionText(library));
    FreeLibrary(library);
}

} // namespace

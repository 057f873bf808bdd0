#include <gtest/gtest.h>

#include <windows.h>

#include "AboutDialog.h"

namespace {

// This program's own version block says 1.2.3.4 (version_test.rc).
TEST(GetVersionText, MajorMinorAndBuildOfTheFileVersion) {
    EXPECT_EQ(L"1.2.3\n", GetVersionText(GetModuleHandleW(nullptr)));
}

TEST(GetVersionText, ModuleWithoutVersionGivesEmptyText) {
    // The aygshell stand-in carries no resources at all.
    HMODULE module = LoadLibraryExW(L"aygshell.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(L"", GetVersionText(module));
    FreeLibrary(module);
}

} // namespace

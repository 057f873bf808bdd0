#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstallerTestSupport.h"

namespace {

const wchar_t kPackage[] = L"\\KestrelPackageTest";
const wchar_t kItemKey[] = L"Software\\Microsoft\\Today\\Items\\Kestrel";
const wchar_t kItemDll[] = L"\\Windows\\KestrelToday.dll";
const wchar_t kSavedItemKey[] = L"Software\\KestrelTests\\SavedTodayItem";

// The Today shell's desktop window as the setup library finds it; it notes the item's
// "Enabled" value (-1: no key) at each reload request.
std::vector<long long> g_reloads;

LRESULT CALLBACK DesktopProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETTINGCHANGE && wParam == 0xF2) {
        g_reloads.push_back(KeyExists(HKEY_LOCAL_MACHINE, kItemKey)
                                ? ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled")
                                : -1);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

class KestrelPackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A Kestrel installed in this prefix (a demo's) is left alone; item settings that
        // other tests left wait aside.
        if (PathExists(kItemDll) || KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Apps\\Kestrel")) {
            GTEST_SKIP() << "Kestrel is installed in this prefix";
        }
        itemMovedAside = MoveKeyAside(kItemKey, kSavedItemKey);
        DeleteFolderTree(kPackage);
        ASSERT_TRUE(CreateDirectoryW(kPackage, nullptr));
        // The package as the build lays it out; the item's library is a stand-in file here.
        ASSERT_TRUE(CopyFileW(PackagePath(L"Kestrel.manifest").c_str(),
                              (std::wstring(kPackage) + L"\\Kestrel.manifest").c_str(), FALSE));
        ASSERT_TRUE(CopyFileW(PackagePath(L"KestrelSetupDll.dll").c_str(),
                              (std::wstring(kPackage) + L"\\KestrelSetupDll.dll").c_str(), FALSE));
        ASSERT_TRUE(WriteTextFile(std::wstring(kPackage) + L"\\KestrelToday.dll", "item"));

        WNDCLASSW wc = {};
        wc.lpfnWndProc = DesktopProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"DesktopExplorerWindow";
        ASSERT_NE(RegisterClassW(&wc), 0);
        desktop = CreateWindowW(L"DesktopExplorerWindow", L"Desktop", WS_POPUP, 0, 0, 10, 10,
                                nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(desktop, nullptr);
        g_reloads.clear();
    }
    void TearDown() override {
        if (IsSkipped()) {
            return;
        }
        DestroyWindow(desktop);
        UnregisterClassW(L"DesktopExplorerWindow", GetModuleHandleW(nullptr));
        RunInstaller(L"remove Kestrel");
        DeleteFolderTree(kPackage);
        if (itemMovedAside) {
            MoveKeyBack(kItemKey, kSavedItemKey);
        }
    }

    HWND desktop = nullptr;
    bool itemMovedAside = false;
};

TEST_F(KestrelPackageTest, InstallsTheTodayItemAndTheShellReloadsAroundEachStep) {
    RunResult run = RunInstaller(L"install \\KestrelPackageTest\\Kestrel.manifest");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(ReadTextFile(kItemDll), "item");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kItemKey, L"DLL"), kItemDll);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled"), 1);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Type"), 4);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Options"), 1);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"ItemHeight"), 70);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"CheckInterval"), 5);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kItemKey, L"LogFilePath"), L"\\gsminfo.txt");
    // Install_Init found no item to disable; Install_Exit came after the values.
    EXPECT_EQ(g_reloads, (std::vector<long long>{-1, 1}));

    g_reloads.clear();
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kItemKey, L"CheckInterval", 30));
    run = RunInstaller(L"install \\KestrelPackageTest\\Kestrel.manifest");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    // The shell let go of the item before the files were replaced.
    EXPECT_EQ(g_reloads, (std::vector<long long>{0, 1}));
    // The user's setting stays; the item is in service again.
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"CheckInterval"), 30);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled"), 1);

    g_reloads.clear();
    run = RunInstaller(L"remove Kestrel");
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(g_reloads, (std::vector<long long>{0, -1}));
    EXPECT_FALSE(PathExists(kItemDll));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kItemKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Apps\\Kestrel"));
}

TEST_F(KestrelPackageTest, FailedReinstallLeavesTheItemEnabledAsBefore) {
    ASSERT_EQ(RunInstaller(L"install \\KestrelPackageTest\\Kestrel.manifest").exitCode, 0u);
    g_reloads.clear();
    // The shell still holds the item's library open.
    HANDLE held = CreateFileW(kItemDll, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RunResult run = RunInstaller(L"install \\KestrelPackageTest\\Kestrel.manifest");
    CloseHandle(held);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("KestrelToday.dll"), std::string::npos) << run.output;
    EXPECT_EQ(g_reloads, (std::vector<long long>{0, 1}));
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled"), 1);
}

} // namespace

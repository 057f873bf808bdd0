#include <gtest/gtest.h>

#include <vector>

#include "CVORegistry.h"
#include "ce_setup.h"

namespace {

const wchar_t kItemKey[] = L"\\Software\\Microsoft\\Today\\Items\\Kestrel";
const wchar_t kItemsKey[] = L"\\Software\\Microsoft\\Today\\Items";

// What the stand-in desktop window saw: each WM_SETTINGCHANGE wParam and the item's
// "Enabled" value at that moment (-1: no key).
struct Refresh {
    WPARAM wParam;
    LPARAM lParam;
    long enabledThen;
};
std::vector<Refresh> g_refreshes;

// FARPROC to the entry's own type, without the function-cast warning.
template <typename T> T Entry(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

long ReadEnabled() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kItemKey + 1, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return -1;
    }
    DWORD value = 0, size = sizeof(value);
    LONG result =
        RegQueryValueExW(key, L"Enabled", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? static_cast<long>(value) : -2;
}

DWORD CountValues() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kItemKey + 1, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return 0;
    }
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return count;
}

LRESULT CALLBACK DesktopProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SETTINGCHANGE) {
        g_refreshes.push_back({wParam, lParam, ReadEnabled()});
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Item settings already in the prefix (a demo's) wait under this key while the tests run.
const wchar_t kSavedItemKey[] = L"Software\\KestrelTests\\SavedTodayItem";

class KestrelSetupDllTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HKEY item;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kItemKey + 1, 0, KEY_READ, &item) == ERROR_SUCCESS) {
            HKEY saved;
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, kSavedItemKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &saved, nullptr);
            if (RegCopyTreeW(item, nullptr, saved) == ERROR_SUCCESS) {
                itemSaved = true;
            }
            RegCloseKey(saved);
            RegCloseKey(item);
        }
    }
    static void TearDownTestSuite() {
        if (itemSaved) {
            HKEY saved, item;
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSavedItemKey, 0, KEY_READ, &saved);
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, kItemKey + 1, 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &item, nullptr);
            RegCopyTreeW(saved, nullptr, item);
            RegCloseKey(item);
            RegCloseKey(saved);
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSavedItemKey);
        }
    }
    static bool itemSaved;

    void SetUp() override {
        CVORegistry::DeleteKeyTree(HKEY_LOCAL_MACHINE, kItemKey);
        module = LoadLibraryW(L"KestrelSetupDll.dll");
        ASSERT_NE(module, nullptr);
        installInit = Entry<pfnINSTALL_INIT>(module, szINSTALL_INIT);
        installExit = Entry<pfnINSTALL_EXIT>(module, szINSTALL_EXIT);
        uninstallInit = Entry<pfnUNINSTALL_INIT>(module, szUNINSTALL_INIT);
        uninstallExit = Entry<pfnUNINSTALL_EXIT>(module, szUNINSTALL_EXIT);
        ASSERT_TRUE(installInit && installExit && uninstallInit && uninstallExit);
        g_refreshes.clear();
    }
    void TearDown() override {
        if (desktop) {
            DestroyWindow(desktop);
            UnregisterClassW(L"DesktopExplorerWindow", GetModuleHandleW(nullptr));
        }
        if (module) {
            FreeLibrary(module);
        }
        CVORegistry::DeleteKeyTree(HKEY_LOCAL_MACHINE, kItemKey);
    }

    void RegisterItem(DWORD enabled) {
        CVORegistry item(HKEY_LOCAL_MACHINE, kItemKey, TRUE);
        ASSERT_TRUE(item.GetKey());
        item.SetDWORDValue(L"Enabled", enabled);
        item.SetStringValue(L"DLL", L"\\Windows\\KestrelToday.dll");
    }

    // Plays the Today shell's desktop window on this thread, so SendMessage reaches it
    // directly.
    void CreateDesktop() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DesktopProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"DesktopExplorerWindow";
        ASSERT_NE(RegisterClassW(&wc), 0);
        desktop = CreateWindowW(L"DesktopExplorerWindow", L"Desktop", WS_POPUP, 0, 0, 10, 10,
                                nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(desktop, nullptr);
    }

    HMODULE module = nullptr;
    HWND desktop = nullptr;
    pfnINSTALL_INIT installInit = nullptr;
    pfnINSTALL_EXIT installExit = nullptr;
    pfnUNINSTALL_INIT uninstallInit = nullptr;
    pfnUNINSTALL_EXIT uninstallExit = nullptr;
};

bool KestrelSetupDllTest::itemSaved = false;

TEST_F(KestrelSetupDllTest, ExportsByNameInOrdinalOrderAndSharesTheTwoFunctions) {
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(1)), GetProcAddress(module, "Install_Exit"));
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(2)), GetProcAddress(module, "Install_Init"));
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(3)),
              GetProcAddress(module, "Uninstall_Exit"));
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(4)),
              GetProcAddress(module, "Uninstall_Init"));
    EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(5)), nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(installInit), reinterpret_cast<void*>(uninstallInit));
    EXPECT_EQ(reinterpret_cast<void*>(installExit), reinterpret_cast<void*>(uninstallExit));
    EXPECT_NE(reinterpret_cast<void*>(installInit), reinterpret_cast<void*>(installExit));
}

TEST_F(KestrelSetupDllTest, InitWithoutItemKeyCreatesNothing) {
    CVORegistry items(HKEY_LOCAL_MACHINE, kItemsKey, TRUE);
    EXPECT_EQ(installInit(nullptr, TRUE, FALSE, L"\\Windows"), codeINSTALL_INIT_CONTINUE);
    EXPECT_EQ(uninstallInit(nullptr, L"\\Windows"), codeUNINSTALL_INIT_CONTINUE);
    EXPECT_FALSE(items.SubKeyExists(L"Kestrel"));
}

TEST_F(KestrelSetupDllTest, InitDisablesARegisteredItem) {
    RegisterItem(1);
    EXPECT_EQ(uninstallInit(nullptr, L"\\Windows"), codeUNINSTALL_INIT_CONTINUE);
    EXPECT_EQ(ReadEnabled(), 0);
    EXPECT_EQ(CountValues(), 2u);

    RegisterItem(1);
    EXPECT_EQ(installInit(nullptr, TRUE, TRUE, L"\\Windows"), codeINSTALL_INIT_CONTINUE);
    EXPECT_EQ(ReadEnabled(), 0);
}

TEST_F(KestrelSetupDllTest, ExitLeavesTheRegistryAlone) {
    EXPECT_EQ(installExit(nullptr, L"\\Windows", 0, 0, 0, 0, 0), codeINSTALL_EXIT_DONE);
    CVORegistry items(HKEY_LOCAL_MACHINE, kItemsKey, TRUE);
    EXPECT_FALSE(items.SubKeyExists(L"Kestrel"));

    RegisterItem(1);
    EXPECT_EQ(installExit(nullptr, L"\\Windows", 1, 2, 3, 4, 5), codeINSTALL_EXIT_DONE);
    EXPECT_EQ(uninstallExit(nullptr), codeUNINSTALL_EXIT_DONE);
    EXPECT_EQ(ReadEnabled(), 1);
    EXPECT_EQ(CountValues(), 2u);
}

TEST_F(KestrelSetupDllTest, EveryEntryRefreshesTheTodayScreenAfterDisabling) {
    CreateDesktop();
    RegisterItem(1);
    installInit(nullptr, TRUE, FALSE, L"\\Windows");
    ASSERT_EQ(g_refreshes.size(), 1u);
    EXPECT_EQ(g_refreshes[0].wParam, 0xF2u);
    EXPECT_EQ(g_refreshes[0].lParam, 0);
    EXPECT_EQ(g_refreshes[0].enabledThen, 0);

    RegisterItem(1);
    installExit(nullptr, L"\\Windows", 0, 0, 0, 0, 0);
    uninstallInit(nullptr, L"\\Windows");
    uninstallExit(nullptr);
    ASSERT_EQ(g_refreshes.size(), 4u);
    EXPECT_EQ(g_refreshes[1].enabledThen, 1);
    EXPECT_EQ(g_refreshes[2].enabledThen, 0);
    for (const Refresh& r : g_refreshes) {
        EXPECT_EQ(r.wParam, 0xF2u);
    }
}

} // namespace

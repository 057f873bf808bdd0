#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "ItemHarness.h"

// KestrelToday.dll as the Today shell uses it: loaded, asked for its window by ordinal 240,
// driven by the scripted Today host, and unloaded.

namespace {

const wchar_t* const TestItemsKey = L"Software\\KestrelTest\\ItemTodayItems";

std::wstring ModuleFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

class ItemLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        harness::DeleteSettings();
        harness::WriteTextFile(L"item_dll_scenario.txt", "operator \"23001\"\n"
                                                         "cell lac=100 id=1001 bcch=17\n"
                                                         "signal current=-80 min=-113 max=-51\n"
                                                         "equipment 2\n");
        SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", L"item_dll_scenario.txt");
        SetEnvironmentVariableW(L"KESTREL_RIL_MODE", L"cycle");
    }
    void TearDown() override {
        harness::DeleteSettings();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, TestItemsKey);
        SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", nullptr);
    }
};

} // namespace

TEST_F(ItemLibrary, ExportsOnlyOrdinal240AndCreatesTheItemWindow) {
    HMODULE module = LoadLibraryW((ModuleFolder() + L"KestrelToday.dll").c_str());
    ASSERT_TRUE(module);
    EXPECT_EQ(nullptr, GetProcAddress(module, "InitializeCustomItem"));
    auto initialize = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(
        reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(240))));
    ASSERT_TRUE(initialize);

    harness::Shell shell;
    TODAYLISTITEM record = {};
    lstrcpyW(record.szName, L"Kestrel");
    record.tlit = tlitCustom;
    record.fEnabled = FALSE;
    EXPECT_EQ(nullptr, initialize(&record, shell.window));
    record.fEnabled = TRUE;
    HWND window = initialize(&record, shell.window);
    ASSERT_TRUE(window);
    wchar_t className[64];
    GetClassNameW(window, className, 64);
    EXPECT_STREQ(L"KestrelTodayItemClass", className);
    // The shell learns the height from the first refresh-cache query.
    EXPECT_TRUE(SendMessageW(window, WM_TODAYCUSTOM_QUERYREFRESHCACHE,
                             reinterpret_cast<WPARAM>(&record), 0));
    EXPECT_EQ(70u, record.cyp);

    // Monitoring on, then unloaded without the clear-cache message: the radio is closed
    // and unloading neither hangs nor leaves a callback into the freed item.
    SendMessageW(window, WM_COMMAND, IDM_ITEM_MONITORING, 0);
    harness::PumpUntil([] { return false; }, 300);
    DestroyWindow(window);
    HANDLE unloaded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread watchdog([unloaded] {
        if (WaitForSingleObject(unloaded, 10000) != WAIT_OBJECT_0) {
            fprintf(stderr, "unloading KestrelToday.dll hangs\n");
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    EXPECT_TRUE(FreeLibrary(module));
    SetEvent(unloaded);
    watchdog.join();
    CloseHandle(unloaded);
}

TEST_F(ItemLibrary, CarriesItsVersionBlock) {
    std::wstring dll = ModuleFolder() + L"KestrelToday.dll";
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length));
    EXPECT_EQ(MAKELONG(10, 0), info->dwFileVersionMS);
    EXPECT_EQ(0u, info->dwFileVersionLS);
    EXPECT_EQ(MAKELONG(21, 0), info->dwProductVersionMS);
    EXPECT_EQ(0u, info->dwProductVersionLS);
}

TEST_F(ItemLibrary, TodayHostShowsTheCellAndWritesTheLog) {
    if (GetFileAttributesW((ModuleFolder() + L"todayhost.exe").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "todayhost.exe is not built";
    const std::wstring log = L"item_host_log.txt";
    DeleteFileW(log.c_str());
    DeleteFileW(L"item_host_out\\before.txt");
    DeleteFileW(L"item_host_out\\after.txt");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                             (std::wstring(TestItemsKey) + L"\\Kestrel").c_str(), 0,
                                             nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD custom = tlitCustom, one = 1;
    std::wstring dll = ModuleFolder() + L"KestrelToday.dll";
    RegSetValueExW(key, L"Type", 0, REG_DWORD, reinterpret_cast<BYTE*>(&custom), sizeof(DWORD));
    RegSetValueExW(key, L"Enabled", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof(DWORD));
    RegSetValueExW(key, L"DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                   static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    harness::SetDWORD(L"CheckInterval", 1);
    harness::SetString(L"LogFilePath", log);
    harness::WriteTextFile(L"item_host.script", "wait 500\n"
                                                "text before.txt\n"
                                                "command Kestrel 40007\n"
                                                "command Kestrel 40006\n"
                                                "wait 1500\n"
                                                "text after.txt\n"
                                                "quit\n");

    std::wstring command = L"\"" + ModuleFolder() + L"todayhost.exe\" --items " + TestItemsKey +
                           L" --script item_host.script --out item_host_out";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 60000));
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(0u, exitCode);

    std::string before = harness::ReadFileBytes(L"item_host_out\\before.txt");
    std::string after = harness::ReadFileBytes(L"item_host_out\\after.txt");
    EXPECT_NE(std::string::npos, before.find("\tProzatím nebyla získána žádná data\n")) << before;
    EXPECT_NE(std::string::npos, before.find("\tN/A\n")) << before;
    EXPECT_NE(std::string::npos, after.find("\tCell Id: 1001 LAC: 100 BCCH: 17\n")) << after;
    EXPECT_NE(std::string::npos, after.find("\tNet Id: 23001 Aktualizace: ")) << after;
    EXPECT_NE(std::string::npos, after.find("\t-80/-51 minimum=-113\n")) << after;
    EXPECT_EQ(std::string::npos, after.find("Prozatím")) << after;

    std::wstring text = harness::ReadUtf16File(log);
    EXPECT_NE(std::wstring::npos, text.find(L";100;1001;17;23001; \n")) << text;
    DeleteFileW(log.c_str());
}

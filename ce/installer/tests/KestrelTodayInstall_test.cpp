// Kestrel installed, reinstalled and removed through installer.exe while the Today host runs
// with the real item library: the shell must let go of KestrelToday.dll before it is replaced
// or deleted, and show the item again afterwards.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "InstallerTestSupport.h"

namespace {

const wchar_t kPackage[] = L"\\KestrelLivePackage";
const wchar_t kOut[] = L"\\KestrelLiveHost";
const wchar_t kItemKey[] = L"Software\\Microsoft\\Today\\Items\\Kestrel";
const wchar_t kItemDll[] = L"\\Windows\\KestrelToday.dll";
const wchar_t kSavedItemKey[] = L"Software\\KestrelTests\\SavedTodayItemLive";
const wchar_t kInstall[] = L"install \\KestrelLivePackage\\Kestrel.manifest";
// What the item's basic page draws before the radio has answered.
const char kNoData[] = "Prozat\xC3\xADm nebyla z\xC3\xADsk\xC3\xA1na \xC5\xBE\xC3\xA1"
                       "dn\xC3\xA1 data";
// The host writes a transcript every kStepMs for kSteps steps; the test ends it sooner.
const int kSteps = 600;
const int kStepMs = 100;
const DWORD kObserveMs = 20000;

std::wstring FullPath(const std::wstring& devicePath) {
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(devicePath.c_str(), MAX_PATH, full, nullptr);
    return length && length < MAX_PATH ? full : devicePath;
}

std::wstring TranscriptPath(int index) {
    wchar_t name[32];
    swprintf(name, 32, L"\\t%04d.txt", index);
    return kOut + std::wstring(name);
}

// todayhost.exe on the prefix's items key, writing numbered transcripts. A transcript is
// complete once the next one exists.
class TodayHostProcess {
public:
    bool Start() {
        DeleteFolderTree(kOut);
        if (!CreateDirectoryW(kOut, nullptr)) {
            return false;
        }
        std::string script;
        for (int i = 0; i < kSteps; ++i) {
            char step[64];
            snprintf(step, sizeof(step), "wait %d\ntext t%04d.txt\n", kStepMs, i);
            script += step;
        }
        std::wstring scriptPath = std::wstring(kOut) + L"\\live.script";
        if (!WriteTextFile(scriptPath, script)) {
            return false;
        }
        std::wstring commandLine = L"\"" + BinPath(L"todayhost.exe") + L"\" --script \"" +
                                   FullPath(scriptPath) + L"\" --out \"" + FullPath(kOut) + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        return CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &process) != FALSE;
    }

    bool Running() const { return WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT; }

    // The newest complete transcript, or -1.
    int Latest() const {
        int latest = -1;
        while (PathExists(TranscriptPath(latest + 2))) {
            ++latest;
        }
        return latest;
    }

    // Waits for a complete transcript newer than `after` that satisfies the check; false when
    // none did in time or the host ended.
    bool WaitFor(int after, const std::function<bool(const std::string&)>& check) const {
        DWORD start = GetTickCount();
        int next = after + 1;
        while (GetTickCount() - start < kObserveMs && Running()) {
            if (PathExists(TranscriptPath(next + 1))) {
                std::string text = ReadTextFile(TranscriptPath(next));
                if (check(text)) {
                    return true;
                }
                ++next;
            } else {
                Sleep(20);
            }
        }
        return false;
    }

    // Asks the host to close; its exit code, or ~0 when it does not end in time.
    DWORD Close() {
        HWND desktop = FindWindowW(L"DesktopExplorerWindow", L"Desktop");
        if (desktop) {
            PostMessageW(desktop, WM_CLOSE, 0, 0);
        }
        DWORD code = ~0u;
        if (WaitForSingleObject(process.hProcess, kObserveMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.hProcess, &code);
        } else {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, kObserveMs);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        process = {};
        return code;
    }

    ~TodayHostProcess() {
        if (process.hProcess) {
            Close();
        }
    }

private:
    PROCESS_INFORMATION process = {};
};

bool ShowsKestrel(const std::string& transcript) {
    size_t item = transcript.find("[Kestrel]\n");
    return item != std::string::npos && transcript.find(kNoData, item) != std::string::npos;
}

bool WithoutKestrel(const std::string& transcript) {
    return transcript.find("[Kestrel]") == std::string::npos;
}

class KestrelTodayInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (PathExists(kItemDll) || KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Apps\\Kestrel")) {
            GTEST_SKIP() << "Kestrel is installed in this prefix";
        }
        itemMovedAside = MoveKeyAside(kItemKey, kSavedItemKey);
        DeleteFolderTree(kPackage);
        ASSERT_TRUE(CreateDirectoryW(kPackage, nullptr));
        for (const wchar_t* file :
             {L"Kestrel.manifest", L"KestrelSetupDll.dll", L"KestrelToday.dll"}) {
            ASSERT_TRUE(CopyFileW(PackagePath(file).c_str(),
                                  (std::wstring(kPackage) + L"\\" + file).c_str(), FALSE))
                << "missing " << std::string(file, file + wcslen(file));
        }
        ASSERT_TRUE(host.Start());
        // The host is up and shows no Kestrel yet.
        ASSERT_TRUE(host.WaitFor(-1, WithoutKestrel));
    }

    void TearDown() override {
        if (IsSkipped()) {
            return;
        }
        host.Close();
        RunInstaller(L"remove Kestrel");
        DeleteFolderTree(kPackage);
        DeleteFolderTree(kOut);
        if (itemMovedAside) {
            MoveKeyBack(kItemKey, kSavedItemKey);
        }
    }

    // Installs or removes, then waits for the host to show the outcome.
    void RunAndObserve(const std::wstring& arguments, DWORD exitCode,
                       bool (*check)(const std::string&), const char* what) {
        RunResult run = RunInstaller(arguments);
        ASSERT_EQ(run.exitCode, exitCode) << run.output;
        lastOutput = run.output;
        int before = host.Latest();
        EXPECT_TRUE(host.WaitFor(before + 1, check)) << what;
        EXPECT_TRUE(host.Running()) << "the host ended " << what;
    }

    TodayHostProcess host;
    bool itemMovedAside = false;
    std::string lastOutput;
};

TEST_F(KestrelTodayInstallTest, InstallReinstallAndRemovalUnderARunningHost) {
    RunAndObserve(kInstall, 0, ShowsKestrel, "after the install");
    ASSERT_FALSE(HasFatalFailure());

    // The host holds the item's library; the reinstall replaces it all the same and the item
    // comes back from the new file.
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kItemKey, L"CheckInterval", 17));
    RunAndObserve(kInstall, 0, ShowsKestrel, "after the reinstall");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(lastOutput.find("warning"), std::string::npos) << lastOutput;
    EXPECT_EQ(ReadTextFile(kItemDll), ReadTextFile(std::wstring(kPackage) + L"\\KestrelToday.dll"));
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled"), 1);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"CheckInterval"), 17);
    EXPECT_FALSE(PathExists(L"\\Windows\\AppMgrSaved"));

    RunAndObserve(L"remove Kestrel", 0, WithoutKestrel, "after the removal");
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(lastOutput.find("warning"), std::string::npos) << lastOutput;
    EXPECT_FALSE(PathExists(kItemDll));
    EXPECT_FALSE(PathExists(L"\\Windows\\KestrelToday.dll.instdel"));
    EXPECT_FALSE(PathExists(L"\\Windows\\AppMgr\\Kestrel.dll"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kItemKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Apps\\Kestrel"));

    EXPECT_EQ(host.Close(), 0u);
}

TEST_F(KestrelTodayInstallTest, LibraryHeldElsewhereFailsTheReinstallAndTheItemComesBack) {
    RunAndObserve(kInstall, 0, ShowsKestrel, "after the install");
    ASSERT_FALSE(HasFatalFailure());
    HANDLE held = CreateFileW(kItemDll, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RunAndObserve(kInstall, 1, ShowsKestrel, "after the failed reinstall");
    CloseHandle(held);
    EXPECT_NE(lastOutput.find("cannot replace \\Windows\\KestrelToday.dll: still in use"),
              std::string::npos)
        << lastOutput;
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled"), 1);
    EXPECT_FALSE(PathExists(L"\\Windows\\AppMgrSaved"));
    EXPECT_EQ(host.Close(), 0u);
}

} // namespace

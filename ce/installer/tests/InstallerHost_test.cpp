#include <gtest/gtest.h>

#include <string>

#include "InstallerTestSupport.h"

namespace {

const wchar_t kSource[] = L"\\InstallerTestSource";
const wchar_t kTarget[] = L"\\TestPkg";
const wchar_t kTestKey[] = L"Software\\KestrelInstallerTest";
const wchar_t kItemKey[] = L"Software\\KestrelInstallerTest\\Item";
const wchar_t kRecordKey[] = L"Software\\Apps\\TestPkg";
const wchar_t kCalls[] = L"\\installer_calls.txt";

const char kManifestHead[] = "; test package\r\n"
                             "[Package]\r\n"
                             "Name=TestPkg\r\n"
                             "InstallDir=\\TestPkg\r\n"
                             "SetupDll=recording_setup.dll\r\n";

// A package folder with two files, the recording setup library and a manifest that puts
// a.txt in \TestPkg and b.txt in \TestPkg\sub and registers two values.
class InstallerHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        CleanUp();
        appMgrExisted = PathExists(L"\\Windows\\AppMgr");
        ASSERT_TRUE(CreateDirectoryW(kSource, nullptr));
        ASSERT_TRUE(CopyFileW(BinPath(L"recording_setup.dll").c_str(),
                              (std::wstring(kSource) + L"\\recording_setup.dll").c_str(), FALSE));
        ASSERT_TRUE(WriteTextFile(Source(L"a.txt"), "alpha 1"));
        ASSERT_TRUE(WriteTextFile(Source(L"b.txt"), "bravo 1"));
        WriteManifest(kManifestHead, "a.txt=\\TestPkg\r\nb.txt=\\TestPkg\\sub\\\r\n",
                      "HKLM\\Software\\KestrelInstallerTest\\Item,DLL,sz,\\TestPkg\\a.txt\r\n"
                      "HKLM\\Software\\KestrelInstallerTest\\Item,Enabled,dword,1\r\n");
    }
    void TearDown() override { CleanUp(); }

    void CleanUp() {
        DeleteFolderTree(kSource);
        DeleteFolderTree(kTarget);
        DeleteFileW(kCalls);
        DeleteFileW(L"\\installer_cancel.txt");
        DeleteFileW(L"\\installer_undo.txt");
        DeleteFileW(L"\\Windows\\AppMgr\\TestPkg.dll");
        if (!appMgrExisted) {
            RemoveDirectoryW(L"\\Windows\\AppMgr");
        }
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestKey);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kRecordKey);
    }

    static std::wstring Source(const wchar_t* name) { return std::wstring(kSource) + L"\\" + name; }

    void WriteManifest(const std::string& head, const std::string& files,
                       const std::string& registry) {
        ASSERT_TRUE(
            WriteTextFile(Source(L"TestPkg.manifest"),
                          head + "\r\n[Files]\r\n" + files + "\r\n[Registry]\r\n" + registry));
    }

    RunResult Install() { return RunInstaller(L"install \\InstallerTestSource\\TestPkg.manifest"); }
    RunResult Remove() { return RunInstaller(L"remove TestPkg"); }

    // Calls the setup library recorded since the last look.
    std::string TakeCalls() {
        std::string calls = ReadTextFile(kCalls);
        DeleteFileW(kCalls);
        return calls == "<missing>" ? "" : calls;
    }

    void ExpectNothingInstalled() {
        EXPECT_FALSE(PathExists(kTarget));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTestKey));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRecordKey));
        EXPECT_FALSE(PathExists(L"\\Windows\\AppMgr\\TestPkg.dll"));
        EXPECT_EQ(PathExists(L"\\Windows\\AppMgr"), appMgrExisted);
    }

    // Saved former contents and files waiting for deletion are gone once a step is over.
    void ExpectNoTemporaries() {
        EXPECT_FALSE(PathExists(L"\\Windows\\AppMgrSaved"));
        EXPECT_EQ(CountFilesEndingWith(kTarget, L".instdel"), 0);
    }

    bool appMgrExisted = false;
};

TEST_F(InstallerHostTest, InstallsCallsTheSetupLibraryAroundTheCopyAndRemovesEverything) {
    RunResult run = Install();
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(ReadTextFile(L"\\TestPkg\\a.txt"), "alpha 1");
    EXPECT_EQ(ReadTextFile(L"\\TestPkg\\sub\\b.txt"), "bravo 1");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kItemKey, L"DLL"), L"\\TestPkg\\a.txt");
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled"), 1);
    EXPECT_TRUE(PathExists(L"\\Windows\\AppMgr\\TestPkg.dll"));
    // Init saw an empty folder, Exit saw the file in place.
    EXPECT_EQ(TakeCalls(), "Install_Init previous=0 files=0\n"
                           "Install_Exit failed=0,0,0,0,0 files=1\n");
    ExpectNoTemporaries();

    // What the item writes at run time under its key goes with the package.
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kItemKey, L"CheckInterval", 5));
    run = Remove();
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(TakeCalls(), "Uninstall_Init files=1\nUninstall_Exit\n");
    ExpectNothingInstalled();
}

TEST_F(InstallerHostTest, RemovalKeepsWhatOthersPutBesideThePackagesKey) {
    ASSERT_EQ(Install().exitCode, 0u);
    // The package created the parent too; another program registered itself there since.
    const std::wstring other = std::wstring(kTestKey) + L"\\Other";
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, other, L"Enabled", 1));
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, std::wstring(kItemKey) + L"\\GSMDB", L"X", 1));
    RunResult run = Remove();
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kItemKey));
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, other, L"Enabled"), 1);
}

TEST_F(InstallerHostTest, ReinstallReplacesFilesAndDropsWhatTheNewVersionLacks) {
    ASSERT_EQ(Install().exitCode, 0u);
    TakeCalls();
    ASSERT_TRUE(WriteTextFile(Source(L"a.txt"), "alpha 2"));
    WriteManifest(kManifestHead, "a.txt=\\TestPkg\r\n",
                  "HKLM\\Software\\KestrelInstallerTest\\Item,Enabled,dword,2\r\n");

    RunResult run = Install();
    ASSERT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(TakeCalls(), "Install_Init previous=1 files=1\n"
                           "Install_Exit failed=0,0,0,0,0 files=1\n");
    EXPECT_EQ(ReadTextFile(L"\\TestPkg\\a.txt"), "alpha 2");
    EXPECT_FALSE(PathExists(L"\\TestPkg\\sub\\b.txt"));
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kItemKey, L"DLL"), L"<missing>");
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled"), 2);
    ExpectNoTemporaries();

    // The keys and folders the first version created still count as the package's.
    ASSERT_EQ(Remove().exitCode, 0u);
    ExpectNothingInstalled();
}

TEST_F(InstallerHostTest, MissingPackageFileChangesNothing) {
    WriteManifest(kManifestHead, "a.txt=\\TestPkg\r\nmissing.txt=\\TestPkg\r\n",
                  "HKLM\\Software\\KestrelInstallerTest\\Item,Enabled,dword,1\r\n");
    RunResult run = Install();
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("installer: error: package file missing"), std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("missing.txt"), std::string::npos) << run.output;
    EXPECT_EQ(TakeCalls(), "");
    ExpectNothingInstalled();
}

TEST_F(InstallerHostTest, LockedFileStopsAReinstallAndLeavesTheOldVersion) {
    ASSERT_EQ(Install().exitCode, 0u);
    TakeCalls();
    ASSERT_TRUE(WriteTextFile(Source(L"a.txt"), "alpha 2"));
    ASSERT_TRUE(WriteTextFile(Source(L"b.txt"), "bravo 2"));
    WriteManifest(kManifestHead, "a.txt=\\TestPkg\r\nb.txt=\\TestPkg\\sub\r\n",
                  "HKLM\\Software\\KestrelInstallerTest\\Item,Enabled,dword,2\r\n"
                  "HKLM\\Software\\KestrelInstallerTest\\Item,Extra,sz,new\r\n");
    // The setup library of a real package would have cleared this; the rollback brings
    // the value back as it was before the step.
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled", 1));

    HANDLE lock = CreateFileW(L"\\TestPkg\\sub\\b.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    RunResult run = Install();
    CloseHandle(lock);

    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("installer: error: cannot replace \\TestPkg\\sub\\b.txt"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(TakeCalls(), "Install_Init previous=1 files=1\n"
                           "Install_Exit failed=0,1,0,0,0 files=1\n");
    EXPECT_EQ(ReadTextFile(L"\\TestPkg\\a.txt"), "alpha 1");
    EXPECT_EQ(ReadTextFile(L"\\TestPkg\\sub\\b.txt"), "bravo 1");
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled"), 1);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kItemKey, L"Extra"), L"<missing>");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kItemKey, L"DLL"), L"\\TestPkg\\a.txt");
    ExpectNoTemporaries();

    ASSERT_EQ(Remove().exitCode, 0u);
    ExpectNothingInstalled();
}

TEST_F(InstallerHostTest, LockedFileOnAFirstInstallRollsEverythingBack) {
    // A file of the user's is in the way, in use.
    ASSERT_TRUE(CreateDirectoryW(kTarget, nullptr));
    ASSERT_TRUE(CreateDirectoryW(L"\\TestPkg\\sub", nullptr));
    ASSERT_TRUE(WriteTextFile(L"\\TestPkg\\sub\\b.txt", "user's"));
    HANDLE lock = CreateFileW(L"\\TestPkg\\sub\\b.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    RunResult run = Install();
    CloseHandle(lock);

    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("b.txt"), std::string::npos) << run.output;
    EXPECT_FALSE(PathExists(L"\\TestPkg\\a.txt"));
    EXPECT_EQ(ReadTextFile(L"\\TestPkg\\sub\\b.txt"), "user's");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTestKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRecordKey));
    EXPECT_FALSE(PathExists(L"\\Windows\\AppMgr\\TestPkg.dll"));
    ExpectNoTemporaries();
}

TEST_F(InstallerHostTest, LockedFileStopsARemovalWithEverythingInPlace) {
    ASSERT_EQ(Install().exitCode, 0u);
    TakeCalls();
    HANDLE lock = CreateFileW(L"\\TestPkg\\sub\\b.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    RunResult run = Remove();
    CloseHandle(lock);

    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("installer: error: cannot remove \\TestPkg\\sub\\b.txt"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(TakeCalls(), "Uninstall_Init files=1\nUninstall_Exit\n");
    EXPECT_EQ(ReadTextFile(L"\\TestPkg\\a.txt"), "alpha 1");
    EXPECT_EQ(ReadTextFile(L"\\TestPkg\\sub\\b.txt"), "bravo 1");
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, kItemKey, L"Enabled"), 1);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kRecordKey));
    ExpectNoTemporaries();

    ASSERT_EQ(Remove().exitCode, 0u);
    ExpectNothingInstalled();
}

TEST_F(InstallerHostTest, SetupLibraryMayCancelOrUndo) {
    ASSERT_TRUE(WriteTextFile(L"\\installer_cancel.txt", ""));
    RunResult run = Install();
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("cancelled the installation"), std::string::npos) << run.output;
    EXPECT_EQ(TakeCalls(), "Install_Init previous=0 files=0\n");
    ExpectNothingInstalled();
    DeleteFileW(L"\\installer_cancel.txt");

    ASSERT_TRUE(WriteTextFile(L"\\installer_undo.txt", ""));
    run = Install();
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("undid the installation"), std::string::npos) << run.output;
    ExpectNothingInstalled();
}

TEST_F(InstallerHostTest, BadRequestsFailClearly) {
    RunResult run = Remove();
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("package TestPkg is not installed"), std::string::npos) << run.output;

    run = RunInstaller(L"install \\InstallerTestSource\\nothing.manifest");
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("cannot open the package description"), std::string::npos)
        << run.output;

    WriteManifest(kManifestHead, "a.txt=TestPkg\r\n", "");
    run = Install();
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.output.find("TestPkg.manifest:8: destination of a.txt"), std::string::npos)
        << run.output;

    run = RunInstaller(L"frobnicate");
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.output.find("usage:"), std::string::npos) << run.output;
    ExpectNothingInstalled();
}

} // namespace

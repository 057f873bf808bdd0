// Runs todayhost.exe with scripts over the two test items and checks what it wrote.

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

const wchar_t ItemsKey[] = L"Software\\KestrelTest\\TodayHostItems";

std::wstring Folder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

std::wstring FullPath(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    GetFullPathNameW(name, MAX_PATH, path, nullptr);
    return path;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

// The lines of one item's section of a transcript.
std::string Section(const std::string& transcript, const std::string& item) {
    size_t start = transcript.find("[" + item + "]\n");
    if (start == std::string::npos)
        return "(missing)";
    start += item.size() + 3;
    size_t end = transcript.find("\n[", start);
    return transcript.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class TodayHostRun : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, ItemsKey);
        log = FullPath(L"todayhost_test.log");
        DeleteFileW(log.c_str());
        out = FullPath(L"todayhost_test_out");
        CreateDirectoryW(out.c_str(), nullptr);
        // B is registered with a device path: the host finds it beside itself.
        AddItem(L"ItemA", Folder() + L"testitem_A.dll", 1);
        AddItem(L"ItemB", L"\\Windows\\testitem_B.dll", 2);
    }
    void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, ItemsKey); }

    void AddItem(const std::wstring& name, const std::wstring& dll, DWORD order,
                 DWORD enabled = 1) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                                  (std::wstring(ItemsKey) + L"\\" + name).c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        auto setString = [&](const wchar_t* value, const std::wstring& text) {
            RegSetValueExW(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        };
        auto setDword = [&](const wchar_t* value, DWORD number) {
            RegSetValueExW(key, value, 0, REG_DWORD, reinterpret_cast<BYTE*>(&number),
                           sizeof(number));
        };
        setString(L"DLL", dll);
        setString(L"Log", log);
        setDword(L"Enabled", enabled);
        setDword(L"Order", order);
        setDword(L"Type", 4);
        setDword(L"Options", 1);
        RegCloseKey(key);
    }

    // Runs the host with the script; returns its exit code, stderr in errors.
    DWORD Run(const std::string& script) {
        std::wstring scriptPath = out + L"\\script.txt";
        std::ofstream(scriptPath.c_str(), std::ios::binary) << script;
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16);
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        std::wstring command = L"\"" + Folder() + L"todayhost.exe\" --items " + ItemsKey +
                               L" --script \"" + scriptPath + L"\" --out \"" + out + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdError = writeEnd;
        startup.hStdOutput = writeEnd;
        PROCESS_INFORMATION process = {};
        DWORD exitCode = 0xDEAD;
        BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
        CloseHandle(writeEnd);
        errors.clear();
        if (started) {
            // The host writes little: the pipe's buffer holds it until the host has ended.
            if (WaitForSingleObject(process.hProcess, 60000) == WAIT_TIMEOUT)
                TerminateProcess(process.hProcess, 0xDEAD);
            GetExitCodeProcess(process.hProcess, &exitCode);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
            // What is in the pipe: a process the host started may still hold its other end.
            char buffer[4096];
            DWORD available = 0;
            DWORD read = 0;
            while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) &&
                   available > 0 && ::ReadFile(readEnd, buffer, sizeof(buffer), &read, nullptr) &&
                   read > 0)
                errors.append(buffer, read);
        }
        CloseHandle(readEnd);
        return exitCode;
    }

    std::string Transcript(const char* name) {
        return ReadFile(out + L"\\" + std::wstring(name, name + strlen(name)));
    }

    std::wstring log;
    std::wstring out;
    std::string errors;
};

TEST_F(TodayHostRun, WritesScreenshotAndTranscript) {
    ASSERT_EQ(Run("# the screen as it starts\n"
                  "wait 300\n"
                  "screenshot start.png\n"
                  "text start.txt\n"
                  "quit\n"),
              0u)
        << errors;
    std::string png = Transcript("start.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1A\n");
    auto be32 = [&](size_t at) {
        return (static_cast<unsigned char>(png[at]) << 24) |
               (static_cast<unsigned char>(png[at + 1]) << 16) |
               (static_cast<unsigned char>(png[at + 2]) << 8) |
               static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(be32(16), static_cast<unsigned>(GetSystemMetrics(SM_CXSCREEN)));
    EXPECT_EQ(be32(20), static_cast<unsigned>(GetSystemMetrics(SM_CYSCREEN)));

    std::string text = Transcript("start.txt");
    ASSERT_EQ(text.compare(0, 8, "[ItemA]\n"), 0) << text;
    EXPECT_LT(text.find("[ItemA]"), text.find("[ItemB]"));
    std::string a = Section(text, "ItemA");
    // The tab strip (three tabs in 240 pixels), then the page, in drawing order.
    EXPECT_EQ(a.compare(0, 9, "17,0,91,1"), 0) << a;
    EXPECT_LT(a.find("\tJedna\n"), a.find("\tDva\n"));
    EXPECT_LT(a.find("\tDva\n"), a.find("\tTři\n"));
    EXPECT_TRUE(Contains(a, "\tJedna A\n")) << a;
    EXPECT_TRUE(Contains(a, "\tidle\n"));
    EXPECT_TRUE(Contains(a, "\ttop=26 height=60\n"));
    EXPECT_TRUE(Contains(Section(text, "ItemB"), "\ttop=86 height=60\n"));
    // Both items got the clear-cache message before their libraries went.
    EXPECT_EQ(ReadFile(log), "ItemA clearcache\nItemA detach\nItemB clearcache\nItemB detach\n");
}

TEST_F(TodayHostRun, SelectionMovesThroughTheItemsAndPastThem) {
    ASSERT_EQ(Run("wait 200\n"
                  "key down\nwait 100\ntext 1.txt\n"
                  "key right\nwait 100\ntext 2.txt\n"
                  "key down\nwait 100\ntext 3.txt\n"
                  "key down\nwait 100\ntext 4.txt\n"
                  "key up\nwait 100\ntext 5.txt\n"
                  "key enter\nwait 100\ntext 6.txt\n"
                  // A tap on A's third tab: A takes the selection from B.
                  "tap 200 30\nwait 100\ntext 7.txt\n"),
              0u)
        << errors;
    EXPECT_TRUE(Contains(Section(Transcript("1.txt"), "ItemA"), "\treceived 40\n"));
    // The focused tab moved right inside A.
    EXPECT_TRUE(Contains(Section(Transcript("2.txt"), "ItemA"), "\tnavigation 39\n"));
    std::string third = Transcript("3.txt");
    EXPECT_TRUE(Contains(Section(third, "ItemA"), "\tlost\n")) << third;
    EXPECT_TRUE(Contains(Section(third, "ItemB"), "\treceived 40\n")) << third;
    // Past the last item no item is selected.
    EXPECT_TRUE(Contains(Section(Transcript("4.txt"), "ItemB"), "\tlost\n"));
    EXPECT_TRUE(Contains(Section(Transcript("5.txt"), "ItemB"), "\treceived 38\n"));
    EXPECT_TRUE(Contains(Section(Transcript("6.txt"), "ItemB"), "\taction\n"));
    std::string seventh = Transcript("7.txt");
    EXPECT_TRUE(Contains(Section(seventh, "ItemA"), "\ttap\n")) << seventh;
    EXPECT_TRUE(Contains(Section(seventh, "ItemA"), "\tTři A\n")) << seventh;
    EXPECT_TRUE(Contains(Section(seventh, "ItemB"), "\tlost\n")) << seventh;
    EXPECT_TRUE(Contains(Section(seventh, "ItemA"), "\třádek 1\\r\\nřádek 2\n")) << seventh;
}

TEST_F(TodayHostRun, ItemThatDeclinesIsPassedOver) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(ItemsKey) + L"\\ItemA").c_str(), 0,
                            KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    DWORD declines = 1;
    RegSetValueExW(key, L"Declines", 0, REG_DWORD, reinterpret_cast<BYTE*>(&declines),
                   sizeof(declines));
    RegCloseKey(key);
    ASSERT_EQ(Run("key down\nwait 100\ntext 1.txt\nkey up\nwait 100\ntext 2.txt\n"), 0u) << errors;
    std::string first = Transcript("1.txt");
    EXPECT_TRUE(Contains(Section(first, "ItemA"), "\treceived 40\n")) << first;
    EXPECT_TRUE(Contains(Section(first, "ItemB"), "\treceived 40\n")) << first;
    // Up from B: A declines again and the selection leaves the items.
    std::string second = Transcript("2.txt");
    EXPECT_TRUE(Contains(Section(second, "ItemA"), "\treceived 38\n")) << second;
    EXPECT_TRUE(Contains(Section(second, "ItemB"), "\tlost\n")) << second;
}

TEST_F(TodayHostRun, RefreshQueryRelaysAndSettingChangeReloads) {
    ASSERT_EQ(Run("wait 200\n"
                  "command ItemA 101\n"
                  "wait 2300\n"
                  "text grown.txt\n"
                  // A disables itself and asks the shell to reload.
                  "command ItemA 102\n"
                  "wait 300\n"
                  "text reloaded.txt\n"),
              0u)
        << errors;
    std::string grown = Transcript("grown.txt");
    EXPECT_TRUE(Contains(Section(grown, "ItemA"), "\ttop=26 height=80\n")) << grown;
    EXPECT_TRUE(Contains(Section(grown, "ItemB"), "\ttop=106 height=60\n")) << grown;
    std::string reloaded = Transcript("reloaded.txt");
    EXPECT_FALSE(Contains(reloaded, "[ItemA]")) << reloaded;
    EXPECT_TRUE(Contains(Section(reloaded, "ItemB"), "\ttop=26 height=60\n")) << reloaded;
    EXPECT_EQ(ReadFile(log), "ItemA clearcache\nItemA detach\nItemB clearcache\nItemB detach\n"
                             "ItemB clearcache\nItemB detach\n");
}

TEST_F(TodayHostRun, HoldOpensTheItemMenuAndOptionsOpenDialog500) {
    ASSERT_EQ(Run("wait 200\n"
                  "hold 100 60\n"
                  "wait 200\n"
                  "key down\n"
                  "key enter\n"
                  "wait 200\n"
                  "text menu.txt\n"
                  "options ItemB\n"
                  "wait 300\n"
                  "key enter\n"
                  "wait 200\n"),
              0u)
        << errors;
    EXPECT_TRUE(Contains(Section(Transcript("menu.txt"), "ItemA"), "\tcommand 200\n"));
    EXPECT_EQ(ReadFile(log).compare(0, 16, "ItemB options ok"), 0) << ReadFile(log);
}

TEST_F(TodayHostRun, DisabledItemIsNotLoaded) {
    AddItem(L"ItemB", L"testitem_B.dll", 2, 0);
    ASSERT_EQ(Run("text only.txt\n"), 0u) << errors;
    EXPECT_EQ(Section(Transcript("only.txt"), "ItemB"), "(missing)");
    EXPECT_EQ(ReadFile(log), "ItemA clearcache\nItemA detach\n");
}

TEST_F(TodayHostRun, BadStepsStopTheRunNamingTheLine) {
    EXPECT_EQ(Run("wait 10\njump 3\n"), 2u);
    EXPECT_TRUE(Contains(errors, "script.txt:2: unknown step \"jump\"")) << errors;
    EXPECT_EQ(Run("key sideways\n"), 2u);
    EXPECT_TRUE(Contains(errors, ":1: bad arguments")) << errors;
    EXPECT_EQ(Run("screenshot ..\\escape.png\n"), 2u);
    // Found only when it runs: the steps before it have happened.
    EXPECT_EQ(Run("text before.txt\ncommand Nobody 5\ntext after.txt\n"), 2u);
    EXPECT_TRUE(Contains(errors, ":2: no Today item named \"Nobody\"")) << errors;
    EXPECT_FALSE(Transcript("before.txt").empty());
    EXPECT_TRUE(Transcript("after.txt").empty());
}

TEST_F(TodayHostRun, UntilGoesOnWhenItsFileIsThereAndFailsWhenItDoesNotCome) {
    DeleteFileW((out + L"\\went.txt").c_str());
    DeleteFileW((out + L"\\late.txt").c_str());
    HANDLE go = CreateFileW((out + L"\\go.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            0, nullptr);
    CloseHandle(go);
    EXPECT_EQ(Run("until go.txt 60000\ntext went.txt\n"), 0u) << errors;
    EXPECT_FALSE(Transcript("went.txt").empty());
    EXPECT_EQ(Run("until never.txt 50\ntext late.txt\n"), 2u);
    EXPECT_TRUE(Contains(errors, ":1: never.txt did not come")) << errors;
    EXPECT_TRUE(Transcript("late.txt").empty());
}

} // namespace

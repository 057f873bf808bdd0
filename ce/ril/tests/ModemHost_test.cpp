#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ModemTestSupport.h"
#include "TestFiles.h"

// The real item in the scripted Today host on the modem simulator: over TCP, over a COM port
// that is a pseudo-terminal bridged to the simulator, and with no modem at all.

namespace {

const wchar_t* const ITEMS_KEY = L"Software\\KestrelTest\\ModemTodayItems";
const wchar_t* const SETTINGS_KEY = L"Software\\Microsoft\\Today\\Items\\Kestrel";
const wchar_t* const LOG = L"modem_host_log.txt";
const char* const WALK = "operator 23001\n"
                         "cell lac=100 id=1001 bcch=62\n"
                         "signal current=-71 min=-113 max=-51\n"
                         "equipment 2\n"
                         "step\ncell lac=100 id=1002 bcch=64\n"
                         "step\ncell lac=101 id=1003 bcch=72\n";

std::wstring BinFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

void SetValue(const std::wstring& keyName, const wchar_t* name, DWORD type, const void* data,
              DWORD size) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

void SetText(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    SetValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * 2));
}

void SetNumber(const std::wstring& key, const wchar_t* name, DWORD value) {
    SetValue(key, name, REG_DWORD, &value, sizeof(value));
}

DWORD RunProgram(const std::wstring& command, DWORD timeoutMs) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring line = command;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return GetLastError();
    }
    DWORD exitCode = WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0 ? 0 : 1;
    if (exitCode == 0) {
        GetExitCodeProcess(process.hProcess, &exitCode);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

class ModemHost : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
        std::wstring item = std::wstring(ITEMS_KEY) + L"\\Kestrel";
        SetNumber(item, L"Type", 4);
        SetNumber(item, L"Enabled", 1);
        SetText(item, L"DLL", BinFolder() + L"KestrelToday.dll");
        SetNumber(SETTINGS_KEY, L"CheckInterval", 1);
        SetText(SETTINGS_KEY, L"LogFilePath", LOG);
        DeleteFileW(LOG);
        DeleteFileW(L"modem_host_out\\after.txt");
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, SETTINGS_KEY);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, ITEMS_KEY);
        SetEnvironmentVariableW(L"KESTREL_RIL_PORT", nullptr);
        DeleteFileW(LOG);
    }
    // Monitoring and logging on, the item's texts after waitMs; the cell log as UTF-8 lines.
    void Show(const std::wstring& port, int waitMs, const std::string& then = "") {
        SetEnvironmentVariableW(L"KESTREL_RIL_PORT", port.c_str());
        WriteFileBytes(L"modem_host.script", "wait 300\ncommand Kestrel 40007\n"
                                             "command Kestrel 40006\nwait " +
                                                 std::to_string(waitMs) + "\n" + then +
                                                 "text after.txt\nquit\n");
        EXPECT_EQ(0u, RunProgram(L"\"" + BinFolder() + L"todayhost.exe\" --items " + ITEMS_KEY +
                                     L" --script modem_host.script --out modem_host_out",
                                 120000));
        transcript = ReadFileBytes(L"modem_host_out\\after.txt");
        std::string bytes = ReadFileBytes(LOG);
        log.clear();
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            log += bytes[i];
        }
    }
    void ExpectTheWalk() {
        EXPECT_NE(std::string::npos, transcript.find("\tCell Id: 1003 LAC: 101 BCCH: 72\n"))
            << transcript;
        EXPECT_NE(std::string::npos, transcript.find("\tNet Id: 23001 Aktualizace: "))
            << transcript;
        EXPECT_NE(std::string::npos, transcript.find("\t-71/-51 minimum=-113\n")) << transcript;
        for (const char* line :
             {";100;1001;62;23001; \n", ";100;1002;64;23001; \n", ";101;1003;72;23001; \n"}) {
            EXPECT_NE(std::string::npos, log.find(line)) << line << " in\n" << log;
        }
    }

    std::string transcript;
    std::string log;
};

} // namespace

TEST_F(ModemHost, ShowsTheSimulatorsCellsOverTcp) {
    auto simulator = modemtest::StartSimulator(WALK, "quectel");
    ASSERT_TRUE(simulator);
    Show(modemtest::TcpPort(*simulator), 6000);
    ExpectTheWalk();
}

TEST_F(ModemHost, ShowsTheSimulatorsCellsOverASerialPort) {
    auto simulator = modemtest::StartSimulator(WALK, "simcom");
    ASSERT_TRUE(simulator);
    // socat makes a pseudo-terminal, links it as COM21 into the prefix and bridges it to the
    // simulator; it ends by itself, and removes the link, when the simulator closes.
    char prefix[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH), 0u) << "not under Wine";
    std::wstring link =
        L"Z:" + std::wstring(prefix, prefix + strlen(prefix)) + L"/dosdevices/com21";
    for (wchar_t& c : link) {
        c = c == L'/' ? L'\\' : c;
    }
    DeleteFileW(link.c_str());
    std::string command = "Z:\\usr\\bin\\socat pty,raw,echo=0,link=" + std::string(prefix) +
                          "/dosdevices/com21 tcp:127.0.0.1:" + std::to_string(simulator->Port());
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
        << "socat is not installed";
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // socat opens the pseudo-terminal before it connects.
    ASSERT_TRUE(simulator->WaitForConnections(1, 30000));
    Show(L"COM21", 6000);
    ExpectTheWalk();
    simulator.reset();
}

TEST_F(ModemHost, ShowsTheRadioErrorWhenNoModemAnswers) {
    auto simulator = modemtest::StartSimulator(WALK);
    ASSERT_TRUE(simulator);
    std::wstring port = modemtest::TcpPort(*simulator);
    simulator.reset();
    Show(port, 1500);
    EXPECT_NE(std::string::npos, transcript.find("\tNepodařilo se inicializovat knihovnu RIL"))
        << transcript;
}

TEST_F(ModemHost, ShowsTheRadioErrorOnTheGpsPortAndSwitchesOffAtOnceWhenThePortStartsStreaming) {
    SimFaults faults;
    faults.stream = SimFaults::Nmea;
    auto gps = modemtest::StartSimulator(WALK, "quectel", "gsm", faults);
    ASSERT_TRUE(gps);
    Show(modemtest::TcpPort(*gps), 1500);
    EXPECT_NE(std::string::npos, transcript.find("\tNepodařilo se inicializovat knihovnu RIL"))
        << transcript;
    // The set-up and the first polling cycle are answered, then the port streams: the stream
    // starts once the first cell is in the log, however many commands the set-up and the cycle
    // take. Before, the host never got past switching monitoring off.
    auto streaming = modemtest::StartSimulator(WALK, "quectel", "gsm", SimFaults());
    ASSERT_TRUE(streaming);
    std::atomic<bool> hostDone{false};
    std::thread streamer([&] {
        std::string firstCell;
        for (char c : std::string(";100;1001;62;23001; \n")) {
            firstCell += c;
            firstCell += '\0';
        }
        for (int i = 0; i < 6000 && !hostDone; ++i) {
            if (ReadFileBytes(LOG).find(firstCell) != std::string::npos) {
                streaming->SetStream(SimFaults::Nmea);
                return;
            }
            Sleep(20);
        }
    });
    Show(modemtest::TcpPort(*streaming), 6000, "command Kestrel 40006\n");
    hostDone = true;
    streamer.join();
    EXPECT_NE(std::string::npos, log.find(";100;1001;62;23001; \n")) << log;
    EXPECT_GE(streaming->Connections(), 2u);
}

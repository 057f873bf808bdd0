// The modem backend on the modem simulator over loopback: the time from a query to its result
// (median and 99th percentile per query) and the CPU time ril.dll spends per polling cycle.
// The simulator runs as its own process (modemsim.exe beside this program), so this process's
// CPU time is ril.dll's (and this loop's, which only waits).

#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "ril.h"

namespace {

std::mutex mutex;
std::condition_variable arrived;
HRESULT awaited = 0;
bool done = false;
DWORD lastCode = 0;

void CALLBACK OnResult(DWORD code, HRESULT commandId, const void*, DWORD, DWORD) {
    std::lock_guard<std::mutex> hold(mutex);
    if (commandId == awaited) {
        done = true;
        lastCode = code;
        arrived.notify_all();
    }
}

void CALLBACK OnNotify(DWORD, const void*, DWORD, DWORD) {}

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

// Issues the query through call, waits for its result; false on failure or time-out.
template <typename Call> bool Await(Call call) {
    std::unique_lock<std::mutex> hold(mutex);
    done = false;
    awaited = call();
    return arrived.wait_for(hold, std::chrono::seconds(10), [] { return done; }) &&
           lastCode == RIL_RESULT_OK;
}

void Report(const char* name, std::vector<double>& ms) {
    std::sort(ms.begin(), ms.end());
    printf("  %-28s median %7.3f ms   p99 %7.3f ms   (%zu samples)\n", name, ms[ms.size() / 2],
           ms[std::min(ms.size() - 1, ms.size() * 99 / 100)], ms.size());
}

// modemsim.exe on a free port; its first line names the port.
HANDLE StartSimulator(std::wstring& port) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    folder = folder.substr(0, folder.rfind(L'\\') + 1);
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + folder + L"modemsim.exe\" --dialect quectel --port 0";
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return nullptr;
    }
    CloseHandle(writeEnd);
    CloseHandle(process.hThread);
    std::string line;
    char c;
    DWORD got = 0;
    while (ReadFile(readEnd, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
        line += c;
    }
    CloseHandle(readEnd);
    size_t at = line.find("127.0.0.1:");
    if (at == std::string::npos) {
        TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        return nullptr;
    }
    std::string address = line.substr(at, line.find(' ', at) - at);
    port = L"tcp:" + std::wstring(address.begin(), address.end());
    return process.hProcess;
}

} // namespace

// bench_modem [CYCLES [PORT]]: with a port (e.g. a COM port bridged to a simulator that runs
// elsewhere) that port is measured instead of a simulator of its own over TCP.
int main(int argc, char** argv) {
    int cycles = argc > 1 ? atoi(argv[1]) : 300;
    std::wstring port;
    if (argc > 2) {
        port.assign(argv[2], argv[2] + strlen(argv[2]));
    }
    HANDLE simulator = port.empty() ? StartSimulator(port) : GetCurrentProcess();
    if (!simulator) {
        fprintf(stderr, "bench_modem: modemsim.exe did not start\n");
        return 1;
    }
    SetEnvironmentVariableW(L"KESTREL_RIL_PORT", port.c_str());
    HRIL handle = nullptr;
    double opening = Now();
    if (FAILED(RIL_Initialize(1, OnResult, OnNotify, 0x80C20007, 0, &handle))) {
        fprintf(stderr, "bench_modem: RIL_Initialize failed on %ls\n", port.c_str());
        if (argc <= 2) {
            TerminateProcess(simulator, 1);
        }
        return 1;
    }
    printf("ril.dll on the modem on %ls, %d polling cycles\n", port.c_str(), cycles);
    printf("  RIL_Initialize (open, set-up, identification): %.1f ms\n", (Now() - opening) * 1e3);

    std::vector<double> operatorMs, signalMs, cellMs, cycleMs;
    BYTE start[4] = {26, 0, 0, 0};
    int failures = 0;
    double cpuBefore = ProcessCpuSeconds();
    for (int i = 0; i < cycles; ++i) {
        // The item's cycle: each query waits for its result before the next one is timed, so
        // the figures are round trips, not time spent queued behind each other.
        double cycleStart = Now();
        double t = Now();
        failures += !Await([&] {
            for (int r = 0; r < 4; ++r) {
                RIL_DevSpecific(handle, start, 4);
            }
            return RIL_GetCurrentOperator(handle, RIL_OPFORMAT_NUM);
        });
        operatorMs.push_back((Now() - t) * 1e3);
        failures += !Await([&] { return RIL_GetEquipmentState(handle); });
        t = Now();
        failures += !Await([&] { return RIL_GetSignalQuality(handle); });
        signalMs.push_back((Now() - t) * 1e3);
        t = Now();
        failures += !Await([&] { return RIL_GetCellTowerInfo(handle); });
        cellMs.push_back((Now() - t) * 1e3);
        cycleMs.push_back((Now() - cycleStart) * 1e3);
    }
    double cpu = ProcessCpuSeconds() - cpuBefore;
    Report("operator (AT+COPS?)", operatorMs);
    Report("signal (AT+CSQ)", signalMs);
    Report("cell (4 registrations + QENG)", cellMs);
    Report("whole polling cycle", cycleMs);
    printf("  CPU time per polling cycle: %.3f ms (ril.dll's threads and this loop)\n",
           cpu * 1e3 / cycles);
    printf("  failed queries: %d\n", failures);
    RIL_Deinitialize(handle);
    if (argc <= 2) {
        TerminateProcess(simulator, 0);
        CloseHandle(simulator);
    }
    return failures == 0 ? 0 : 1;
}

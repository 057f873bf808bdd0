// Radio monitoring figures: the radio thread's cost of one result (decode and a copy to every
// subscriber) and how many cell log lines the writer appends per second.

#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "RadioInterface.h"
#include "ReadWriteLock.h"
#include "RilFileSubscriber.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

double ThreadCpuSeconds(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(thread, &created, &exited, &kernel, &user);
    auto value = [](const FILETIME& t) {
        return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return value(kernel) + value(user);
}

// Like the item's mailbox: an exclusive hold, a copy, a release. Counts cells for the caller.
class Mailbox : public RilSubscriber {
public:
    void OnCellInfo(CellInfo cell) override {
        lock.AcquireWrite();
        lastCell = cell;
        lock.ReleaseWrite();
        if (!radioThread) {
            radioThread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, GetCurrentThreadId());
        }
        std::lock_guard<std::mutex> hold(mutex);
        ++cells;
        arrived.notify_all();
    }
    void OnSignalQuality(int minimum, int maximum, int current) override {
        lock.AcquireWrite();
        signal[0] = minimum;
        signal[1] = maximum;
        signal[2] = current;
        lock.ReleaseWrite();
    }
    void OnNetworkId(std::wstring id) override {
        lock.AcquireWrite();
        networkId = id;
        lock.ReleaseWrite();
    }
    void OnRadioOn() override { radioOn = true; }
    void OnRadioOff() override { radioOn = false; }
    void OnError(std::wstring) override {}

    // False when the cell result did not come (it may beat its command id being stored).
    bool WaitForCells(unsigned count) {
        std::unique_lock<std::mutex> hold(mutex);
        return arrived.wait_for(hold, std::chrono::seconds(2), [&] { return cells >= count; });
    }
    unsigned Cells() {
        std::lock_guard<std::mutex> hold(mutex);
        return cells;
    }
    HANDLE radioThread = nullptr;

private:
    ReadWriteLock lock;
    CellInfo lastCell;
    std::wstring networkId;
    int signal[3] = {};
    bool radioOn = false;
    std::mutex mutex;
    std::condition_variable arrived;
    unsigned cells = 0;
};

void NotificationCost() {
    const wchar_t* scenario = L"bench_radio_scenario.txt";
    const char text[] = "latency 1\noperator 23001\ncell lac=2051 id=13962 bcch=1\n"
                        "signal current=-75 min=-113 max=-51\nequipment 2\n";
    HANDLE file = CreateFileW(scenario, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text, sizeof(text) - 1, &written, nullptr);
    CloseHandle(file);
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", scenario);

    Mailbox mailbox;
    RilFileSubscriber log(L"bench_radio_notify_log.txt");
    log.SetEnabled(true);
    RadioInterface::AddSubscriber(&mailbox);
    RadioInterface::AddSubscriber(&log);

    const unsigned cycles = 5000;
    do {
        RadioInterface::Refresh();
    } while (!mailbox.WaitForCells(1));
    double cpuBefore = ThreadCpuSeconds(mailbox.radioThread);
    unsigned lost = 0;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (unsigned i = 0; i < cycles; ++i) {
        unsigned before = mailbox.Cells();
        RadioInterface::Refresh();
        if (!mailbox.WaitForCells(before + 1)) {
            ++lost;
        }
    }
    QueryPerformanceCounter(&end);
    double cpu = ThreadCpuSeconds(mailbox.radioThread) - cpuBefore;
    RadioInterface::Deinitialize();
    RadioInterface::RemoveAllSubscribers();
    CloseHandle(mailbox.radioThread);
    DeleteFileW(scenario);
    DeleteFileW(L"bench_radio_notify_log.txt");

    // Each cycle: four results decoded and delivered, four start-request results ignored.
    double results = 4.0 * cycles;
    printf("polling cycles (2 subscribers: mailbox + cell log, result latency 1 ms): %u, "
           "%u cell results lost\n",
           cycles, lost);
    printf("  round trip per cycle, window thread to last result: %.1f us\n",
           Seconds(start, end) / cycles * 1e6);
    printf("  radio thread CPU per delivered result (decode + copies + ril.dll queue): %.2f us\n",
           cpu / results * 1e6);
}

void LogAppends() {
    const wchar_t* path = L"bench_radio_log.txt";
    DeleteFileW(path);
    RilFileSubscriber log(path);
    log.SetEnabled(true);
    log.OnNetworkId(L"23001");
    CellInfo cells[2] = {CellInfo(L"2051", L"13962", L"1"), CellInfo(L"2051", L"13963", L"1")};
    const unsigned lines = 20000;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    for (unsigned i = 0; i < lines; ++i) {
        log.OnCellInfo(cells[i % 2]);
    }
    QueryPerformanceCounter(&end);
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW(path, GetFileExInfoStandard, &data);
    DeleteFileW(path);
    double seconds = Seconds(start, end);
    printf("cell log: %u lines, %lu bytes, %.3f s: %.0f appends/s (%.1f us each)\n", lines,
           data.nFileSizeLow, seconds, lines / seconds, seconds / lines * 1e6);
}

} // namespace

int main() {
    setvbuf(stdout, nullptr, _IONBF, 0);
    NotificationCost();
    LogAppends();
    return 0;
}

#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <string>

// The figures of a soak: what the host process holds, how long its window thread went without
// answering, and how much CPU it spent. A watchdog thread sends the window a message every
// 50 ms and notes how long the answer took.
class SoakMeter {
public:
    struct Sample {
        unsigned long cycles = 0;
        long handles = 0;        // kernel handles of the process
        long libraryHandles = 0; // kernel handles the item library holds
        std::map<std::wstring, long> handleKinds;
        long gdi = 0;     // GDI objects the item library holds
        long user = 0;    // USER objects the item library holds
        long windows = 0; // windows of the process
        long threads = 0;
        SIZE_T privateBytes = 0;
        double cpuSeconds = 0;      // the process less the soak's own helper threads
        DWORD longestSilenceMs = 0; // of the window thread, since the previous sample
    };

    explicit SoakMeter(HWND window);
    ~SoakMeter();
    SoakMeter(const SoakMeter&) = delete;
    SoakMeter& operator=(const SoakMeter&) = delete;

    // The soak's own work on the window thread (taking a sample, writing fault files, talking
    // to its helper): on a phone other programs would do it, so the watchdog does not count a
    // silence that overlaps it and its CPU is left out of the samples.
    class OwnWork {
    public:
        explicit OwnWork(SoakMeter& meter);
        ~OwnWork();
        OwnWork(const OwnWork&) = delete;
        OwnWork& operator=(const OwnWork&) = delete;

    private:
        SoakMeter& meter;
        double started;
    };

    Sample Take(unsigned long cycles);
    DWORD LongestSilenceMs() const { return longestEver.load(); }
    // The longest silence since the previous call.
    DWORD TakeLongestSilenceMark() { return longestSinceMark.exchange(0); }
    // CPU of a helper thread of the soak (not of the system under test) is left out.
    void ExcludeThread(HANDLE thread);

    static std::wstring Header();
    // The handles by kind of object: "Event 12, File 3, ...".
    static std::wstring FormatKinds(const Sample& sample);
    static std::wstring Format(const Sample& sample, const wchar_t* label);

private:
    static DWORD WINAPI Watch(LPVOID self);
    double ExcludedSeconds();
    static double ThreadSeconds();

    HWND window;
    HANDLE stop = nullptr;
    HANDLE watchdog = nullptr;
    std::atomic<DWORD> longestSinceSample{0};
    std::atomic<DWORD> longestEver{0};
    std::atomic<DWORD> longestSinceMark{0};
    HANDLE excluded[8] = {};
    int excludedCount = 0;
    double endedSeconds = 0;
    // Odd while the window thread does the soak's own work; counts up at each start and end.
    std::atomic<unsigned long> ownEpoch{0};
    double ownSeconds = 0;
};

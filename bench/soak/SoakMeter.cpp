#include "SoakMeter.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>

#include "ObjectRecorder.h"

namespace {

const DWORD kPingMs = 50;
// A window thread that has not answered in this long counts as frozen for so long.
const DWORD kGiveUpMs = 30000;
// Handle values are multiples of four; a run this long with none valid ends the table.
const ULONG_PTR kHandleGap = 16384;

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart / 1e7;
}

typedef LONG(NTAPI* QueryObject)(HANDLE, int, void*, ULONG, ULONG*);

// The kind of kernel object behind a handle ("Event", "File", ...).
std::wstring HandleKind(HANDLE handle) {
    static const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    const int objectTypeInformation = 2;
    union {
        UNICODE_STRING name;
        BYTE bytes[1024];
    } info = {};
    if (!query || query(handle, objectTypeInformation, &info, sizeof(info), nullptr) < 0 ||
        !info.name.Buffer) {
        return L"?";
    }
    return std::wstring(info.name.Buffer, info.name.Length / sizeof(wchar_t));
}

// Wine does not count a process's handles: every handle value is tried instead.
long CountHandles(std::map<std::wstring, long>* kinds) {
    long count = 0;
    ULONG_PTR lastValid = 0;
    for (ULONG_PTR value = 4; value - lastValid < kHandleGap; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            lastValid = value;
            if (kinds) {
                ++(*kinds)[HandleKind(reinterpret_cast<HANDLE>(value))];
            }
        }
    }
    return count;
}

long CountThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    long count = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) {
        ++*reinterpret_cast<long*>(count);
        EnumChildWindows(window, CountChild, count);
    }
    return TRUE;
}

// Wine leaves PrivateUsage at 0; its PagefileUsage is the committed private memory.
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
        return 0;
    }
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

} // namespace

SoakMeter::SoakMeter(HWND window) : window(window) {
    stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watchdog = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    ExcludeThread(watchdog);
}

SoakMeter::~SoakMeter() {
    SetEvent(stop);
    WaitForSingleObject(watchdog, INFINITE);
    CloseHandle(watchdog);
    CloseHandle(stop);
    for (int i = 0; i < excludedCount; ++i) {
        CloseHandle(excluded[i]);
    }
}

SoakMeter::OwnWork::OwnWork(SoakMeter& meter) : meter(meter), started(ThreadSeconds()) {
    ++meter.ownEpoch;
}

SoakMeter::OwnWork::~OwnWork() {
    meter.ownSeconds += ThreadSeconds() - started;
    ++meter.ownEpoch;
}

double SoakMeter::ThreadSeconds() {
    FILETIME created, exited, kernel, user;
    return GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)
               ? Seconds(kernel) + Seconds(user)
               : 0;
}

void SoakMeter::ExcludeThread(HANDLE thread) {
    if (excludedCount < 8 && thread) {
        DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(),
                        &excluded[excludedCount++], 0, FALSE, DUPLICATE_SAME_ACCESS);
    }
}

double SoakMeter::ExcludedSeconds() {
    double seconds = endedSeconds;
    for (int i = 0; i < excludedCount;) {
        FILETIME created, exited, kernel, user;
        double used = GetThreadTimes(excluded[i], &created, &exited, &kernel, &user)
                          ? Seconds(kernel) + Seconds(user)
                          : 0;
        if (WaitForSingleObject(excluded[i], 0) == WAIT_OBJECT_0) {
            // An ended thread's time is kept and its handle let go, so that the soak's own
            // handles do not pile up between samples.
            endedSeconds += used;
            CloseHandle(excluded[i]);
            excluded[i] = excluded[--excludedCount];
        } else {
            ++i;
        }
        seconds += used;
    }
    return seconds;
}

DWORD WINAPI SoakMeter::Watch(LPVOID parameter) {
    auto* self = static_cast<SoakMeter*>(parameter);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    while (WaitForSingleObject(self->stop, kPingMs) == WAIT_TIMEOUT) {
        LARGE_INTEGER start, end;
        const unsigned long epoch = self->ownEpoch;
        QueryPerformanceCounter(&start);
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutW(self->window, WM_NULL, 0, 0, SMTO_NORMAL, kGiveUpMs, &answer)) {
            if (!IsWindow(self->window)) {
                return 0;
            }
            // The shell would be frozen: nothing more is to be learnt from this run.
            fprintf(stderr, "soak: the window thread did not answer for %lu ms\n", kGiveUpMs);
            fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
        QueryPerformanceCounter(&end);
        if ((epoch & 1) || self->ownEpoch != epoch) {
            continue; // the window thread was busy with the soak itself
        }
        DWORD ms = static_cast<DWORD>((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
        if (ms > self->longestSinceSample) {
            self->longestSinceSample = ms;
        }
        if (ms > self->longestEver) {
            self->longestEver = ms;
        }
        if (ms > self->longestSinceMark) {
            self->longestSinceMark = ms;
        }
    }
    return 0;
}

SoakMeter::Sample SoakMeter::Take(unsigned long cycles) {
    OwnWork own(*this);
    const double takeStarted = ThreadSeconds();
    Sample sample;
    sample.cycles = cycles;
    const double excludedSeconds = ExcludedSeconds();
    sample.handles = CountHandles(&sample.handleKinds);
    ObjectRecorder::Counts objects = ObjectRecorder::Live();
    sample.gdi = objects.gdi;
    sample.user = objects.user;
    sample.libraryHandles = objects.kernel;
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&sample.windows));
    sample.threads = CountThreads();
    sample.privateBytes = PrivateBytes();
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        sample.cpuSeconds = Seconds(kernel) + Seconds(user) - excludedSeconds - ownSeconds -
                            (ThreadSeconds() - takeStarted);
    }
    sample.longestSilenceMs = longestSinceSample.exchange(0);
    return sample;
}

std::wstring SoakMeter::FormatKinds(const Sample& sample) {
    std::wstring text;
    for (const auto& kind : sample.handleKinds) {
        text += (text.empty() ? L"" : L", ") + kind.first + L" " + std::to_wstring(kind.second);
    }
    return text;
}

std::wstring SoakMeter::Header() {
    return L"cycles  handles (item)  gdi  user  windows  threads  private_kb  cpu_s  longest_ms";
}

std::wstring SoakMeter::Format(const Sample& sample, const wchar_t* label) {
    wchar_t line[256];
    swprintf(line, 256, L"%6lu  %7ld (%4ld)  %3ld  %4ld  %7ld  %7ld  %10lu  %5.2f  %10lu  %ls",
             sample.cycles, sample.handles, sample.libraryHandles, sample.gdi, sample.user,
             sample.windows, sample.threads, static_cast<unsigned long>(sample.privateBytes / 1024),
             sample.cpuSeconds, static_cast<unsigned long>(sample.longestSilenceMs), label);
    return line;
}

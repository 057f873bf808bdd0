// A day of monitoring in minutes: the real Today host with the real KestrelToday.dll, polling
// as fast as the simulated radio answers, through the faults a phone meets. Prints what the
// process holds at the start, every 1,000 cycles and at the end, how long the shell's window
// thread went without answering, CPU per polling cycle, what the item showed during each
// fault and whether the cell log holds every change. bench/soak.sh runs it.
//
//   bench_soak.exe [--cycles N] [--sample N]      (default 20000 cycles, a sample every 1000)
//   bench_soak.exe --helper                       (the soak's other process, see SoakHelper)

// winsock2.h (through FaultServer.h, via SoakHelper) must come before windows.h.
#include "FaultServer.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "SoakHelper.h"
#include "SoakText.h"
#include "SoakRun.h"

namespace {

std::wstring ProcessorName() {
    wchar_t name[128] = L"?";
    DWORD size = sizeof(name);
    RegGetValueW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                 L"ProcessorNameString", RRF_RT_REG_SZ, nullptr, name, &size);
    return name;
}

const char* Verdict(bool met) {
    return met ? "met" : "NOT MET";
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    SoakRun::Options options;
    for (int i = 1; i < argc; ++i) {
        if (wcscmp(argv[i], L"--helper") == 0) {
            return SoakHelper::Serve();
        } else if (wcscmp(argv[i], L"--cycles") == 0 && i + 1 < argc) {
            options.cycles = wcstoul(argv[++i], nullptr, 10);
        } else if (wcscmp(argv[i], L"--sample") == 0 && i + 1 < argc) {
            options.sampleEvery = wcstoul(argv[++i], nullptr, 10);
        } else {
            fprintf(stderr, "usage: bench_soak [--cycles N] [--sample N] | --helper\n");
            return 1;
        }
    }
    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    options.helperProgram = program;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    printf("soak of the Kestrel Today item: at least %lu polling cycles, %lu processors (%s)\n",
           options.cycles, system.dwNumberOfProcessors, Utf8(ProcessorName()).c_str());
    fflush(stdout);

    SoakRun::Report report = SoakRun::Run(options);

    printf("\nwhat the item showed at the end of each stretch:\n");
    for (const auto& screen : report.screens) {
        printf("- %s:\n", screen.fault.c_str());
        std::string texts = Utf8(screen.texts);
        for (size_t at = 0; at < texts.size();) {
            size_t end = texts.find('\n', at);
            printf("    %s\n", texts.substr(at, end - at).c_str());
            at = end == std::string::npos ? texts.size() : end + 1;
        }
    }
    const CellLogCheck::Result& log = report.log;
    printf("\ncell log: %lu cell results while logging, %lu lines due, %lu written, %lu not "
           "written while blocked (%lu lines found written then), %lu missing, %lu unexpected, "
           "%lu corrupt, %lu error records, byte-order mark %s\n",
           log.cellResults, log.attempts, log.written, log.failedBlocked, log.writtenBlocked,
           log.missing, log.unexpected, log.corrupt, log.errorRecords,
           log.byteOrderMark ? "yes" : "NO");
    for (const auto& problem : log.problems) {
        printf("  %s\n", Utf8(problem).c_str());
    }
    printf("folder-full fault: %s\n",
           report.folderFilled ? "the log's folder (a tmpfs) was filled"
                               : "not run: the log's folder is not a small volume of its own");
    printf("library loads %lu, Today reloads %lu, settings reloads %lu, BTS database "
           "replacements %lu, web requests %lu\n",
           report.freshLoads, report.todayReloads, report.settingsReloads, report.replacements,
           report.webRequests);
    if (!report.completed) {
        printf("\nTHE SOAK DID NOT COMPLETE: %s\n", report.failure.c_str());
        return 2;
    }
    const SoakMeter::Sample& warm = report.warm;
    const SoakMeter::Sample& end = report.end;
    const long long privateGrowth = static_cast<long long>(end.privateBytes) -
                                    static_cast<long long>(report.start.privateBytes);
    const long long privateAfterWarm =
        static_cast<long long>(end.privateBytes) - static_cast<long long>(warm.privateBytes);
    printf("\n%lu cycles (%.1f hours at the default 5 s interval)\n", end.cycles,
           end.cycles * 5 / 3600.0);
    printf("after warm-up: handles %+ld (the item library's %+ld), GDI %+ld, USER %+ld, "
           "windows %+ld, threads %+ld: %s\n",
           end.handles - warm.handles, end.libraryHandles - warm.libraryHandles, end.gdi - warm.gdi,
           end.user - warm.user, end.windows - warm.windows, end.threads - warm.threads,
           Verdict(end.handles <= warm.handles && end.gdi <= warm.gdi && end.user <= warm.user &&
                   end.threads <= warm.threads));
    printf("private bytes: %+lld KB over the whole run, %+lld KB after warm-up: %s\n",
           privateGrowth / 1024, privateAfterWarm / 1024, Verdict(privateGrowth < 1024 * 1024));
    printf("longest time the window thread did not answer: %lu ms: %s\n",
           static_cast<unsigned long>(report.longestSilenceMs),
           Verdict(report.longestSilenceMs <= 250));
    printf("CPU per polling cycle (host process, after warm-up, all stretches and user actions): "
           "%.3f ms\n",
           report.cpuMsPerCycle);
    printf("CPU per polling cycle (%lu cycles of steady polling in one cell, nobody at the phone): "
           "%.3f ms: "
           "%s\n",
           report.steadyCycles, report.steadyCpuMsPerCycle,
           Verdict(report.steadyCpuMsPerCycle < 1.0));
    const SoakRun::ActionTimes& actions = report.longestActions;
    printf("longest user actions on the window thread: Today reload %lu ms, options dialog %lu "
           "ms, tab tap %lu ms, key %lu ms\n",
           static_cast<unsigned long>(actions.todayReloadMs),
           static_cast<unsigned long>(actions.settingsMs),
           static_cast<unsigned long>(actions.tabMs), static_cast<unsigned long>(actions.keyMs));
    printf("cell log complete: %s\n", Verdict(log.Ok()));
    return 0;
}

#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "CellLogCheck.h"
#include "SoakMeter.h"

// A soak of the Today item in the real host: a warm-up round with every fault once, then the
// main rounds, each fault for a stretch of polling cycles, until the cycles wanted are made.
// Figures go to `out` at the start, every `sampleEvery` cycles and at the end.
class SoakRun {
public:
    struct Options {
        unsigned long cycles = 20000; // at least, all rounds together; one round at least
        bool full = true;             // full-length stretches; false: a few cycles each
        unsigned long sampleEvery = 1000;
        std::wstring helperProgram; // bench_soak.exe
        FILE* out = stdout;
    };
    struct Screen {
        std::string fault;
        std::wstring texts; // what the item showed at the end of the stretch
    };
    // The longest each of the user's actions took: a Today reload and the options dialog until
    // the item was back and switched on, a tap until the item had handled it (with what was
    // queued before it), a key while the item handled it.
    struct ActionTimes {
        DWORD todayReloadMs = 0, settingsMs = 0, tabMs = 0, keyMs = 0;
    };
    struct Report {
        bool completed = false;
        std::string failure;
        SoakMeter::Sample start, warm, end;
        DWORD longestSilenceMs = 0;
        CellLogCheck::Result log;
        bool folderFilled = false;
        unsigned long freshLoads = 0, todayReloads = 0, settingsReloads = 0, replacements = 0;
        unsigned long webRequests = 0;
        double cpuMsPerCycle = 0;
        // In a stretch without the user's actions, on the detail page.
        double steadyCpuMsPerCycle = 0;
        unsigned long steadyCycles = 0;
        ActionTimes longestActions;
        std::vector<Screen> screens;
    };

    static Report Run(const Options& options);
};

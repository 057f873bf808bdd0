#include "ProcessMemory.h"

#include <windows.h>

#include <psapi.h>

namespace {

PROCESS_MEMORY_COUNTERS Counters() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters;
}

} // namespace

size_t CurrentMemoryBytes() {
    return Counters().WorkingSetSize;
}

size_t PeakMemoryBytes() {
    return Counters().PeakWorkingSetSize;
}

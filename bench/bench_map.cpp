// The reference service's map on a large export: the tower index's build time and memory, and
// the time to draw and encode one map (inside the process, as /map answers it) at the
// positions of loaded cells, at the zoom their range chooses and at fixed zooms from region to
// street, QVGA and VGA sizes.
// Usage: bench_map EXPORT MAPFILE [maps]

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "CellRecord.h"
#include "ProcessMemory.h"
#include "RefService.h"

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// Processor time of the whole process so far, in seconds: on a busy machine a truer measure of
// the work than the time that passed.
double ProcessorSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& time) {
        return double(uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

double Percentile(std::vector<double> times, double share) {
    std::sort(times.begin(), times.end());
    return times[std::min(times.size() - 1, size_t(times.size() * share))] * 1e3;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_map EXPORT MAPFILE [maps]\n");
        return 2;
    }
    const int maps = argc > 3 ? std::max(10, _wtoi(argv[3])) : 1000;
    RefService service;
    if (!service.Cells().Load(argv[1])) {
        std::fprintf(stderr, "%s\n", service.Cells().Error().c_str());
        return 1;
    }
    const double cellsMemory = double(CurrentMemoryBytes()) / (1 << 20);
    std::printf("cells: %zu, memory %.0f MB\n", service.Cells().Size(), cellsMemory);
    if (!service.Geo().Open(argv[2])) {
        std::fprintf(stderr, "%s\n", service.Geo().Error().c_str());
        return 1;
    }
    const double indexStart = Now();
    const size_t indexBytes = service.IndexTowers();
    std::printf("tower index: built in %.1f s, %.0f MB; map file mapped, %.0f MB; memory %.0f MB "
                "(peak %.0f MB)\n",
                Now() - indexStart, double(indexBytes) / (1 << 20),
                double(service.Geo().MappedBytes()) / (1 << 20),
                double(CurrentMemoryBytes()) / (1 << 20), double(PeakMemoryBytes()) / (1 << 20));

    // The first picture loads Wine's fonts; a service has done that long before its users ask.
    service.Handle("/map?lat=50.08&lon=14.42");
    std::mt19937 random(23);
    const std::vector<CellRecord>& cells = service.Cells().Records();
    std::uniform_int_distribution<size_t> pick(0, cells.size() - 1);
    const struct {
        const char* name;
        const char* parameters;
    } kinds[] = {
        {"QVGA, zoom by range", ""},
        {"QVGA, z 8 (region)", "&z=8"},
        {"QVGA, z 12 (town)", "&z=12"},
        {"QVGA, z 16 (street)", "&z=16"},
        {"VGA, zoom by range", "&w=480&h=448"},
        {"VGA, z 8 (region)", "&w=480&h=448&z=8"},
    };
    std::vector<double> all;
    size_t bytes = 0;
    for (const auto& kind : kinds) {
        std::vector<double> times;
        const double processorStart = ProcessorSeconds();
        for (int i = 0; i < maps; ++i) {
            const CellRecord& cell = cells[pick(random)];
            const std::string target = "/map?lat=" + CoordinateText(cell.lat, cell.latDecimals) +
                                       "&lon=" + CoordinateText(cell.lon, cell.lonDecimals) +
                                       kind.parameters;
            const double start = Now();
            const HttpReply reply = service.Handle(target);
            times.push_back(Now() - start);
            if (reply.status != 200) {
                std::fprintf(stderr, "%s: %d %s\n", target.c_str(), reply.status,
                             reply.body.c_str());
                return 1;
            }
            bytes += reply.body.size();
        }
        const double processor = (ProcessorSeconds() - processorStart) / maps * 1e3;
        std::printf("map %-22s median %5.1f ms, 99th percentile %5.1f ms, max %5.1f ms, "
                    "processor %5.1f ms\n",
                    kind.name, Percentile(times, 0.5), Percentile(times, 0.99),
                    Percentile(times, 1.0), processor);
        all.insert(all.end(), times.begin(), times.end());
    }
    std::printf("all %zu maps: median %.1f ms, 99th percentile %.1f ms; %.1f KB a PNG; memory "
                "%.0f MB (peak %.0f MB)\n",
                all.size(), Percentile(all, 0.5), Percentile(all, 0.99),
                double(bytes) / all.size() / 1024, double(CurrentMemoryBytes()) / (1 << 20),
                double(PeakMemoryBytes()) / (1 << 20));
    return 0;
}

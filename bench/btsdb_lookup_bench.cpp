// Times CSVReader lookups on a database file, inside the process, with the file warm.
// Usage: btsdb_lookup_bench <directory\> <network> <lac> <cell> [repeats]
#include "CSVReader.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: btsdb_lookup_bench directory network lac cell [repeats]\n");
        return 2;
    }
    const int repeats = argc > 5 ? std::max(1, _wtoi(argv[5])) : 10;
    CSVReader reader(argv[1]);

    WIN32_FILE_ATTRIBUTE_DATA attributes;
    const std::wstring path = std::wstring(argv[1]) + argv[2] + L".csv";
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) {
        std::fprintf(stderr, "cannot find %ls\n", path.c_str());
        return 1;
    }
    const double megabytes =
        (static_cast<double>(attributes.nFileSizeHigh) * 4294967296.0 + attributes.nFileSizeLow) /
        1e6;

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    BtsRecord record = reader.GetExtendedInformation(argv[3], argv[4], argv[2]);
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        LARGE_INTEGER start, stop;
        QueryPerformanceCounter(&start);
        record = reader.GetExtendedInformation(argv[3], argv[4], argv[2]);
        QueryPerformanceCounter(&stop);
        times.push_back(static_cast<double>(stop.QuadPart - start.QuadPart) * 1000.0 /
                        frequency.QuadPart);
    }
    std::sort(times.begin(), times.end());
    const double best = times.front();
    const double median = times[times.size() / 2];
    const auto status = record.find(kBtsStatusKey);
    std::printf("size_mb=%.1f best_ms=%.2f median_ms=%.2f mb_per_s=%.0f result=%ls\n", megabytes,
                best, median, megabytes / (best / 1000.0),
                status != record.end() ? status->second.c_str() : L"found");
    return 0;
}

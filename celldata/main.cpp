// cells2btsdb.exe: OpenCellID exports to Kestrel's BTS databases, one file per network
// (docs/cells.md).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "CellExportReader.h"
#include "DatabasePipeline.h"
#include "NetworkSpool.h"
#include "ProcessMemory.h"
#include "WorkerThread.h"

namespace {

// Cells read that go into the spool at once (see below).
const size_t kHandOverCells = 4096;
// The district texts may take an eighth of --memory from the cells.
const size_t kDistrictShare = 8;

int Usage() {
    std::fprintf(stderr,
                 "usage: cells2btsdb --out FOLDER [--report FILE] [--memory MB] [--temp FOLDER]\n"
                 "                   EXPORT...\n"
                 "Writes FOLDER\\<network id>.csv for every network of the OpenCellID exports\n"
                 "(CSV, plain or gzip) and lists the cells the BTS reader cannot find in\n"
                 "FOLDER\\unreachable-cells.csv (or FILE).\n");
    return 2;
}

double Seconds(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') {
        folder += L'\\';
    }
    return folder;
}

// Creates the folder and any missing parent. Creating a drive ("C:") or a server's name fails
// harmlessly on the way.
bool MakeFolder(const std::wstring& folder) {
    for (size_t at = folder.find_first_of(L"\\/", 1); at != std::wstring::npos;
         at = folder.find_first_of(L"\\/", at + 1)) {
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void ReportLine(FILE* report, const UnreachableCell& lost) {
    std::fprintf(
        report, "%s,%u,%llu,%s,%llu,%s,%s\n", NetworkId(lost.cell.mcc, lost.cell.net).c_str(),
        lost.cell.area, static_cast<unsigned long long>(lost.cell.cell), RadioName(lost.cell.radio),
        static_cast<unsigned long long>(lost.found.cell), RadioName(lost.found.radio), lost.where);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring out, reportPath, tempFolder;
    size_t budgetMb = 512;
    std::vector<std::wstring> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--out" && hasValue) {
            out = WithBackslash(argv[++i]);
        } else if (option == L"--report" && hasValue) {
            reportPath = argv[++i];
        } else if (option == L"--memory" && hasValue) {
            budgetMb = static_cast<size_t>(_wtoi(argv[++i]));
        } else if (option == L"--temp" && hasValue) {
            tempFolder = WithBackslash(argv[++i]);
        } else if (option.compare(0, 2, L"--") == 0) {
            return Usage();
        } else {
            inputs.push_back(option);
        }
    }
    if (out.empty() || inputs.empty() || budgetMb == 0 || budgetMb > 65536) {
        return Usage();
    }
    if (tempFolder.empty()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        tempFolder = temp;
    }
    if (reportPath.empty()) {
        reportPath = out + L"unreachable-cells.csv";
    }
    if (!MakeFolder(out)) {
        std::fprintf(stderr, "cannot create the folder %ls\n", out.c_str());
        return 1;
    }

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    CellExportReader reader;
    std::unique_ptr<NetworkSpool> held;
    try {
        held.reset(new NetworkSpool(budgetMb << 20, tempFolder));
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "not enough memory for --memory %zu\n", budgetMb);
        return 1;
    }
    NetworkSpool& spool = *held;
    reader.LimitDistricts((budgetMb << 20) / kDistrictShare);
    // The cells read go into the spool on a thread of their own while the next are parsed:
    // copying them (and first touching the spool's memory) would otherwise hold up both
    // parsing threads. Lines taken one by one gather to a batch worth the handover first.
    std::vector<CellRecord> batches[2];
    bool added = true;
    WorkerThread adder;
    int filling = 0;
    // False when the spool could not take the cells before.
    auto handOver = [&] {
        adder.Wait();
        if (!added) {
            return false;
        }
        spool.LeaveRoom(reader.DistrictBytes());
        std::vector<CellRecord>& batch = batches[filling];
        adder.Start([&spool, &added, &batch] {
            added = spool.Add(batch.data(), batch.size());
            batch.clear();
        });
        filling ^= 1;
        return true;
    };
    for (const std::wstring& input : inputs) {
        const CellExportReader::Counts before = reader.GetCounts();
        if (!reader.Open(input)) {
            std::fprintf(stderr, "%s\n", reader.Error().c_str());
            return 1;
        }
        bool taking = true;
        while (taking && reader.NextBatch(batches[filling])) {
            taking = batches[filling].size() < kHandOverCells || handOver();
        }
        taking = taking && handOver();
        adder.Wait();
        if (!taking || !added) {
            std::fprintf(stderr, "%s; nothing written\n", spool.Error().c_str());
            return 1;
        }
        if (!reader.Error().empty()) {
            std::fprintf(stderr, "%s; nothing written\n", reader.Error().c_str());
            return 1;
        }
        const CellExportReader::Counts& now = reader.GetCounts();
        std::printf("%ls: %llu lines, %llu cells, %llu malformed, %llu CDMA\n", input.c_str(),
                    now.lines - before.lines, now.cells - before.cells,
                    now.malformed - before.malformed, now.otherRadio - before.otherRadio);
    }
    const double readSeconds = Seconds(start);

    FILE* report = _wfopen(reportPath.c_str(), L"wb");
    if (!report) {
        std::fprintf(stderr, "cannot write %ls\n", reportPath.c_str());
        return 1;
    }
    std::fprintf(report, "network,area,cell,radio,found_cell,found_radio,where\n");
    DatabasePipeline pipeline(reader.Districts());
    std::vector<CellRecord> conflicts;
    size_t networks = 0, written = 0, sameKey = 0, lost = 0;
    const auto reportLost = [&](const UnreachableCell& cell) {
        ReportLine(report, cell);
        ++lost;
    };
    unsigned long long outputBytes = 0;
    std::string failure;
    const bool done = spool.ForEachNetwork([&](CellRecord* cells, size_t count) {
        conflicts.clear();
        const size_t kept = MergeDuplicates(cells, count, &conflicts);
        for (const CellRecord& conflict : conflicts) {
            // The kept cell of the same key; the kept cells are sorted by area and cell id.
            const CellRecord* found = std::lower_bound(
                cells, cells + kept, conflict, [](const CellRecord& a, const CellRecord& b) {
                    return a.area != b.area ? a.area < b.area : a.cell < b.cell;
                });
            ReportLine(report, {conflict, *found, "same key"});
        }
        sameKey += conflicts.size();
        lost += conflicts.size();
        const std::string name = NetworkId(cells[0].mcc, cells[0].net);
        const std::wstring path = out + std::wstring(name.begin(), name.end()) + L".csv";
        const std::wstring part = path + L".part";
        HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            failure = "cannot write " + name + ".csv.part";
            return false;
        }
        const bool ok = pipeline.Write(file, cells, kept, reportLost, outputBytes);
        CloseHandle(file);
        if (!ok || !MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            DeleteFileW(part.c_str());
            failure = "cannot write " + name + ".csv (is the disk full?)";
            return false;
        }
        ++networks;
        written += kept;
        return true;
    });
    std::fclose(report);
    if (!done) {
        std::fprintf(stderr, "%s\n", failure.empty() ? spool.Error().c_str() : failure.c_str());
        return 1;
    }
    const double seconds = Seconds(start);
    const CellExportReader::Counts& counts = reader.GetCounts();
    // Every cell read is written, listed as of the same key, or a repeated line merged.
    const unsigned long long merged = counts.cells - written - sameKey;
    std::printf("%zu networks, %zu cells written to %ls, %llu duplicate lines merged\n", networks,
                written, out.c_str(), merged);
    if (counts.noDistrict > 0) {
        std::printf("%llu cells without their district: the district texts took the eighth of "
                    "--memory they may\n",
                    static_cast<unsigned long long>(counts.noDistrict));
    }
    std::printf("%zu cells the BTS reader cannot find, listed in %ls\n", lost, reportPath.c_str());
    std::printf("%.1f s (reading %.1f s), %.0f lines/s, peak memory %.0f MB, output %.1f MB, "
                "%zu temporary runs\n",
                seconds, readSeconds, double(counts.lines) / seconds,
                double(PeakMemoryBytes()) / (1 << 20), double(outputBytes) / 1e6, spool.Runs());
    return 0;
}

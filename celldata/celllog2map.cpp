// celllog2map.exe: Kestrel cell logs as KML, GPX, GeoJSON and CSV, with the positions of the
// cells' towers from BTS databases or OpenCellID exports (docs/celllog.md).

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BtsFolderPositions.h"
#include "CellDrive.h"
#include "CellExportPositions.h"
#include "CellLogReader.h"
#include "CsvDriveWriter.h"
#include "DriveText.h"
#include "GeoJsonWriter.h"
#include "GpxWriter.h"
#include "KmlWriter.h"
#include "LocalTimeZone.h"
#include "OutputFile.h"
#include "ProcessMemory.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: celllog2map (--bts FOLDER | --cells EXPORT...) [--out NAME]\n"
                 "                   [--kml FILE] [--gpx FILE] [--geojson FILE] [--csv FILE]\n"
                 "                   [--utc-offset +HH:MM | --zone NAME] LOG...\n"
                 "Writes the cell logs (merged in time order) with the positions of the cells'\n"
                 "towers, from the BTS databases of FOLDER or from OpenCellID exports (CSV,\n"
                 "plain or gzip; --cells may be given more than once). --out NAME writes\n"
                 "NAME.kml, NAME.gpx, NAME.geojson and NAME.csv. The log's times are taken in\n"
                 "the machine's time zone unless --utc-offset or --zone (a Windows zone name,\n"
                 "e.g. \"Central Europe Standard Time\") says otherwise.\n");
    return 2;
}

double Seconds(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// User and kernel time of all the process's threads: the figure that a busy machine changes
// least.
double ProcessorSeconds() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto seconds = [](const FILETIME& time) {
        return double(uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

std::string LineList(const std::vector<uint32_t>& lines, uint64_t count) {
    std::string list;
    for (uint32_t line : lines) {
        list += (list.empty() ? "" : ", ") + std::to_string(line);
    }
    return list + (count > lines.size() ? ", ..." : "");
}

enum class Format { Kml, Gpx, GeoJson, Csv };

void WriteDrive(Format format, const CellDrive& drive, OutputFile& out) {
    switch (format) {
    case Format::Kml:
        KmlWriter(drive).Write(out);
        break;
    case Format::Gpx:
        GpxWriter(drive).Write(out);
        break;
    case Format::GeoJson:
        GeoJsonWriter(drive).Write(out);
        break;
    case Format::Csv:
        CsvDriveWriter(drive).Write(out);
        break;
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring btsFolder, offset, zoneName;
    std::vector<std::wstring> exports, logs;
    std::vector<std::pair<Format, std::wstring>> outputs;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--bts" && hasValue) {
            btsFolder = argv[++i];
        } else if (option == L"--cells" && hasValue) {
            exports.push_back(argv[++i]);
        } else if (option == L"--out" && hasValue) {
            const std::wstring name = argv[++i];
            outputs.push_back({Format::Kml, name + L".kml"});
            outputs.push_back({Format::Gpx, name + L".gpx"});
            outputs.push_back({Format::GeoJson, name + L".geojson"});
            outputs.push_back({Format::Csv, name + L".csv"});
        } else if (option == L"--kml" && hasValue) {
            outputs.push_back({Format::Kml, argv[++i]});
        } else if (option == L"--gpx" && hasValue) {
            outputs.push_back({Format::Gpx, argv[++i]});
        } else if (option == L"--geojson" && hasValue) {
            outputs.push_back({Format::GeoJson, argv[++i]});
        } else if (option == L"--csv" && hasValue) {
            outputs.push_back({Format::Csv, argv[++i]});
        } else if (option == L"--utc-offset" && hasValue) {
            offset = argv[++i];
        } else if (option == L"--zone" && hasValue) {
            zoneName = argv[++i];
        } else if (option.compare(0, 2, L"--") == 0) {
            return Usage();
        } else {
            logs.push_back(option);
        }
    }
    if (logs.empty() || outputs.empty() || btsFolder.empty() == exports.empty() ||
        (!offset.empty() && !zoneName.empty())) {
        return Usage();
    }
    LocalTimeZone zone;
    if (!offset.empty() && !zone.SetOffset(offset)) {
        std::fprintf(stderr, "--utc-offset takes an offset such as +01:00 or -05:30, not %s\n",
                     Utf8(offset).c_str());
        return 2;
    }
    if (!zoneName.empty() && !zone.SetZone(zoneName)) {
        std::fprintf(stderr,
                     "no time zone \"%s\": the names are the keys of HKEY_LOCAL_MACHINE\\SOFTWARE"
                     "\\Microsoft\\Windows NT\\CurrentVersion\\Time Zones\n",
                     Utf8(zoneName).c_str());
        return 2;
    }
    for (const auto& output : outputs) {
        const DWORD attributes = GetFileAttributesW(output.second.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            std::fprintf(stderr, "cannot write %s: it is a folder\n", Utf8(output.second).c_str());
            return 1;
        }
    }
    BtsFolderPositions databases(btsFolder);
    if (!btsFolder.empty() && !databases.HasDatabases()) {
        std::fprintf(stderr, "%s\n", databases.Error().c_str());
        return 1;
    }

    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    CellDrive drive(zone);
    CellLogReader reader;
    for (const std::wstring& log : logs) {
        const CellLogReader::Counts before = reader.GetCounts();
        drive.BeginLog(FileNameOf(log));
        if (!reader.Read(log, [&drive](const CellLogLine& line) { drive.Add(line); })) {
            std::fprintf(stderr, "%s; nothing written\n", reader.Error().c_str());
            return 1;
        }
        const CellLogReader::Counts& now = reader.GetCounts();
        std::printf("%s: %llu lines, %llu cell lines, %llu error records", Utf8(log).c_str(),
                    now.lines - before.lines, now.cellLines - before.cellLines,
                    now.errorRecords - before.errorRecords);
        const uint64_t damaged = now.damaged - before.damaged;
        if (damaged > 0) {
            std::printf(", %llu damaged lines skipped (line %s)", damaged,
                        LineList(reader.DamagedLines(), damaged).c_str());
        }
        std::printf("\n");
    }
    drive.Finish();
    std::printf("%zu stays on %zu cells", drive.Stays().size(), drive.Cells().size());
    if (drive.Duplicates() > 0) {
        std::printf(", %llu lines held by more than one log kept once", drive.Duplicates());
    }
    std::printf("; log times taken as %s", zone.Describe().c_str());
    if (drive.RepeatedHourLines() > 0) {
        std::printf(", %llu in the hour repeated when daylight saving time ends placed by their "
                    "order",
                    drive.RepeatedHourLines());
    }
    std::printf("\n");

    if (!btsFolder.empty()) {
        databases.Locate(drive.Cells());
    } else {
        CellExportPositions cellExports;
        if (!cellExports.Locate(exports, drive.Cells())) {
            std::fprintf(stderr, "%s; nothing written\n", cellExports.Error().c_str());
            return 1;
        }
        const CellExportReader::Counts& counts = cellExports.GetCounts();
        std::printf("exports: %llu lines, %llu cells, %llu malformed\n", counts.lines, counts.cells,
                    counts.malformed);
    }
    const size_t located = drive.LocatedCells();
    std::printf("%zu cells with a tower position, %zu without", located,
                drive.Cells().size() - located);
    if (databases.Unreadable() > 0) {
        std::printf(" (%llu of them found with coordinates that are no decimal degrees)",
                    databases.Unreadable());
    }
    std::printf("\n");

    // Every file is complete before any takes its final name. The files are written at once,
    // each on a thread of its own: they only read the drive.
    std::vector<std::unique_ptr<OutputFile>> files;
    std::vector<std::thread> writers;
    for (const auto& output : outputs) {
        files.emplace_back(new OutputFile(output.second));
        OutputFile* file = files.back().get();
        const Format format = output.first;
        writers.emplace_back([file, format, &drive] {
            if (file->Open()) {
                WriteDrive(format, drive, *file);
                file->Close();
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (const auto& file : files) {
        if (!file->Error().empty()) {
            std::fprintf(stderr, "%s; nothing written\n", file->Error().c_str());
            return 1;
        }
    }
    for (const auto& file : files) {
        if (!file->Commit()) {
            std::fprintf(stderr, "%s\n", file->Error().c_str());
            return 1;
        }
        std::printf("wrote %s\n", Utf8(file->Path()).c_str());
    }
    const double seconds = Seconds(start);
    std::printf("%.2f s (processor %.2f s), %.0f log lines/s, peak memory %.0f MB\n", seconds,
                ProcessorSeconds(), double(reader.GetCounts().lines) / seconds,
                double(PeakMemoryBytes()) / (1 << 20));
    return 0;
}

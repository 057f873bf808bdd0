// refservice.exe: the reference cell-position service on 127.0.0.1 (docs/refservice.md).

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <vector>

#include "HttpServer.h"
#include "ProcessMemory.h"
#include "RefService.h"

namespace {

HANDLE g_stop;

BOOL WINAPI OnConsoleControl(DWORD) {
    SetEvent(g_stop);
    return TRUE;
}

std::wstring BesideProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1) + name;
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text; ++text) {
        out += static_cast<char>(*text);
    }
    return out;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: refservice [--port N] [--cells FILE.csv]... [--keys FILE]\n"
                 "                  [--key NAME:CODE[:QUOTA]]... [--files FOLDER] [--seconds N]\n"
                 "                  [--geodata FILE]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    RefService service;
    unsigned short port = 8080;
    std::vector<std::wstring> cellFiles;
    std::wstring geodata = BesideProgram(L"refservice-geo.bin");
    bool keysGiven = false;
    DWORD seconds = INFINITE;
    for (int i = 1; i < argc; ++i) {
        std::wstring option = argv[i];
        if (i + 1 >= argc) {
            return Usage();
        }
        const wchar_t* value = argv[++i];
        if (option == L"--port") {
            port = static_cast<unsigned short>(_wtoi(value));
        } else if (option == L"--cells") {
            cellFiles.push_back(value);
        } else if (option == L"--keys") {
            if (!service.LoadKeys(value)) {
                std::fprintf(stderr, "cannot read %ls\n", value);
                return 1;
            }
            keysGiven = true;
        } else if (option == L"--key") {
            std::string key = Narrow(value);
            size_t colon = key.find(':');
            size_t quota = colon == std::string::npos ? colon : key.find(':', colon + 1);
            if (colon == std::string::npos) {
                return Usage();
            }
            service.AddKey(key.substr(0, colon), key.substr(colon + 1, quota - colon - 1),
                           quota == std::string::npos ? -1 : std::atoi(key.c_str() + quota + 1));
            keysGiven = true;
        } else if (option == L"--files") {
            service.SetFilesFolder(value);
        } else if (option == L"--geodata") {
            geodata = value;
        } else if (option == L"--seconds") {
            seconds = static_cast<DWORD>(_wtoi(value)) * 1000;
        } else {
            return Usage();
        }
    }
    if (cellFiles.empty()) {
        cellFiles.push_back(BesideProgram(L"refservice-cells.csv"));
    }
    LARGE_INTEGER start, stop, frequency;
    QueryPerformanceCounter(&start);
    if (!service.Cells().Load(cellFiles)) {
        std::fprintf(stderr, "%s\n", service.Cells().Error().c_str());
        return 1;
    }
    QueryPerformanceCounter(&stop);
    QueryPerformanceFrequency(&frequency);
    const CellExportReader::Counts& counts = service.Cells().Counts();
    std::printf("refservice: %zu cells of %zu networks loaded in %.1f s (%llu lines, %llu "
                "malformed), memory %.0f MB, peak %.0f MB\n",
                service.Cells().Size(), service.Cells().Networks(),
                double(stop.QuadPart - start.QuadPart) / double(frequency.QuadPart), counts.lines,
                counts.malformed, double(CurrentMemoryBytes()) / (1 << 20),
                double(PeakMemoryBytes()) / (1 << 20));
    // The map still draws towers without its file, so a missing one is only reported.
    if (service.Geo().Open(geodata)) {
        std::printf("refservice: map file %ls mapped, %.1f MB\n", geodata.c_str(),
                    double(service.Geo().MappedBytes()) / (1 << 20));
    } else {
        std::printf("refservice: no water, borders or places on the map: %ls: %s\n",
                    geodata.c_str(), service.Geo().Error().c_str());
    }
    std::printf("refservice: towers placed on the map, index %.0f MB, memory %.0f MB\n",
                double(service.IndexTowers()) / (1 << 20),
                double(CurrentMemoryBytes()) / (1 << 20));
    if (!keysGiven) {
        service.LoadKeys(BesideProgram(L"refservice-keys.txt"));
    }
    HttpServer server(service);
    if (!server.Start(port)) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    std::printf("refservice: listening on http://127.0.0.1:%u/\n", server.Port());
    std::fflush(stdout);
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    WaitForSingleObject(g_stop, seconds);
    server.Stop();
    CloseHandle(g_stop);
    return 0;
}

// The memory the Today host process gains when it loads the Kestrel item: private bytes of the
// real host (todayhost_core) alone, with the libraries the item imports (on the device most are
// the system's, loaded anyway), with KestrelToday.dll loaded and its window made, and after a
// few polling cycles with monitoring on. Prints one line per stage.
// Usage: bench_item_memory.exe [KestrelToday.dll]

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TodayHost.h"

namespace {

const wchar_t ItemsKey[] = L"Software\\KestrelBench\\MemoryItems";
const wchar_t ItemKey[] = L"Software\\KestrelBench\\MemoryItems\\Kestrel";
const UINT MonitoringCommand = 40006;

// The commit charge, which is the private bytes (Wine leaves PrivateUsage at 0).
SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

void Pump(DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void SetValue(const wchar_t* name, DWORD value) {
    HKEY key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, ItemKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
}

// The libraries a module imports, read from its import table without running it.
std::vector<std::string> ImportedLibraries(const std::wstring& path) {
    std::vector<std::string> names;
    HMODULE image = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!image)
        return names;
    auto* base = reinterpret_cast<BYTE*>(image);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress) {
        auto* descriptor =
            reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
        for (; descriptor->Name; ++descriptor)
            names.push_back(reinterpret_cast<const char*>(base + descriptor->Name));
    }
    FreeLibrary(image);
    return names;
}

void Report(const char* stage, SIZE_T bytes, SIZE_T base) {
    printf("%-40s %8zu KB  (%+zd KB)\n", stage, bytes / 1024,
           static_cast<ptrdiff_t>(bytes - base) / 1024);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t own[MAX_PATH];
    GetModuleFileNameW(nullptr, own, MAX_PATH);
    std::wstring dll = own;
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"KestrelToday.dll";
    if (argc > 1)
        dll = argv[1];

    FILE* scenario = _wfopen(L"bench_item_memory_scenario.txt", L"wb");
    if (!scenario)
        return 1;
    fputs("operator \"23001\"\ncell lac=100 id=1001 bcch=17\nsignal current=-80 min=-113 "
          "max=-51\nequipment 2\nstep\ncell lac=100 id=1002 bcch=23\n",
          scenario);
    fclose(scenario);
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", L"bench_item_memory_scenario.txt");
    SetEnvironmentVariableW(L"KESTREL_RIL_MODE", L"cycle");

    RegDeleteTreeW(HKEY_LOCAL_MACHINE, ItemsKey);
    HKEY key;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, ItemKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    RegSetValueExW(key, L"DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                   static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    SetValue(L"Type", tlitCustom);
    SetValue(L"Enabled", 0);

    int result = 0;
    {
        TodayHost host(GetModuleHandleW(nullptr), ItemsKey, L"");
        if (!host.Create()) {
            fprintf(stderr, "bench_item_memory: cannot create the Today window\n");
            result = 1;
        } else {
            Pump(1000);
            SIZE_T alone = PrivateBytes();
            Report("Today host alone", alone, alone);

            std::vector<HMODULE> imports;
            for (const std::string& name : ImportedLibraries(dll))
                imports.push_back(LoadLibraryA(name.c_str()));
            SIZE_T withImports = PrivateBytes();
            Report("with the libraries the item imports", withImports, alone);

            SetValue(L"Enabled", 1);
            SendMessageW(host.GetWindow(), WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0);
            Pump(1000);
            TodayItem* item = host.FindItem(L"Kestrel");
            if (!item) {
                fprintf(stderr, "bench_item_memory: the item did not load from %ls\n", dll.c_str());
                result = 1;
            } else {
                Report("with the item loaded and shown", PrivateBytes(), alone);
                printf("%-40s %8s     (%+zd KB)\n", "  of which the item itself", "",
                       static_cast<ptrdiff_t>(PrivateBytes() - withImports) / 1024);
                PostMessageW(item->window, WM_COMMAND, MonitoringCommand, 0);
                Pump(3000);
                Report("after polling with monitoring on", PrivateBytes(), alone);
            }
            for (HMODULE module : imports)
                if (module)
                    FreeLibrary(module);
        }
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, ItemsKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Today\\Items\\Kestrel");
    DeleteFileW(L"bench_item_memory_scenario.txt");
    return result;
}

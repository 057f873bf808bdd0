// todayhost.exe: the Today screen of the device, for interactive runs and scripted checks.
// Usage: todayhost.exe [--items KEY] [--background FILE.bmp] [--script FILE --out DIR]

#include <windows.h>

#include <cstdio>
#include <string>

#include "Script.h"
#include "TodayHost.h"

namespace {

int Usage() {
    fwprintf(stderr, L"usage: todayhost.exe [--items KEY] [--background FILE.bmp] "
                     L"[--script FILE [--out DIR]]\n");
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring itemsKey = L"Software\\Microsoft\\Today\\Items";
    std::wstring background;
    std::wstring scriptPath;
    std::wstring outDir = L".";
    for (int i = 1; i < argc; ++i) {
        std::wstring option = argv[i];
        if (i + 1 >= argc)
            return Usage();
        std::wstring value = argv[++i];
        if (option == L"--items")
            itemsKey = value[0] == L'\\' ? value.substr(1) : value;
        else if (option == L"--background")
            background = value;
        else if (option == L"--script")
            scriptPath = value;
        else if (option == L"--out")
            outDir = value;
        else
            return Usage();
    }

    Script script;
    if (!scriptPath.empty()) {
        if (!script.Load(scriptPath)) {
            fwprintf(stderr, L"todayhost: %ls\n", script.GetError().c_str());
            return 2;
        }
        CreateDirectoryW(outDir.c_str(), nullptr);
    }

    TodayHost host(GetModuleHandleW(nullptr), itemsKey, background);
    if (!host.Create()) {
        fwprintf(stderr, L"todayhost: cannot create the Today window\n");
        return 1;
    }
    if (!scriptPath.empty())
        script.Start(&host, outDir);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    int exitCode = static_cast<int>(msg.wParam);
    if (!script.GetError().empty()) {
        fwprintf(stderr, L"todayhost: %ls\n", script.GetError().c_str());
        if (exitCode == 0)
            exitCode = 2;
    }
    host.UnloadItems();
    return exitCode;
}

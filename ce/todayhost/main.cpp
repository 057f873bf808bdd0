// todayhost.exe: the Today screen of the device, for interactive runs and scripted checks.
// Usage: todayhost.exe [--items KEY] [--background FILE.bmp] [--script FILE --out DIR]

#include <windows.h>

#include <string>

#include "Script.h"
#include "TodayHost.h"

namespace {

// Straight to the standard error handle: a console gets UTF-16, a file or pipe UTF-8.
void Report(const std::wstring& message) {
    std::wstring line = message + L"\r\n";
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (!handle || handle == INVALID_HANDLE_VALUE)
        return;
    if (WriteConsoleW(handle, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr))
        return;
    int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size,
                        nullptr, nullptr);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

int Usage() {
    Report(L"usage: todayhost.exe [--items KEY] [--background FILE.bmp] "
           L"[--script FILE [--out DIR]]");
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
            Report(L"todayhost: " + script.GetError());
            return 2;
        }
        CreateDirectoryW(outDir.c_str(), nullptr);
    }

    TodayHost host(GetModuleHandleW(nullptr), itemsKey, background);
    if (!host.Create()) {
        Report(L"todayhost: cannot create the Today window");
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
        Report(L"todayhost: " + script.GetError());
        if (exitCode == 0)
            exitCode = 2;
    }
    host.UnloadItems();
    return exitCode;
}

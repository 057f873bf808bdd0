// installer.exe: plays the device's CAB installer for a package folder (docs/installer.md).
//   installer install <package manifest>
//   installer remove <package name>
// Errors go to stderr and give exit code 1; nothing here opens a window.

#include <windows.h>

#include <cstdio>
#include <string>

#include "PackageInstaller.h"
#include "PackageManifest.h"

namespace {

void Print(FILE* stream, const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    fprintf(stream, "%s\n", utf8.c_str());
    fflush(stream);
}

int Usage() {
    Print(stderr, L"usage: installer install <package manifest>\n"
                  L"       installer remove <package name>");
    return 2;
}

int Report(const PackageInstaller& installer, bool ok, const std::wstring& done) {
    for (const std::wstring& warning : installer.Warnings()) {
        Print(stderr, L"installer: warning: " + warning);
    }
    if (!ok) {
        Print(stderr, L"installer: error: " + installer.Error());
        return 1;
    }
    Print(stdout, done);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    if (argc != 3) {
        return Usage();
    }
    std::wstring command = argv[1];
    PackageInstaller installer;
    if (command == L"install") {
        PackageManifest manifest;
        std::wstring error;
        if (!manifest.Load(argv[2], error)) {
            Print(stderr, L"installer: error: " + error);
            return 1;
        }
        bool ok = installer.Install(manifest);
        return Report(installer, ok, L"installed " + manifest.Name());
    }
    if (command == L"remove") {
        bool ok = installer.Remove(argv[2]);
        return Report(installer, ok, std::wstring(L"removed ") + argv[2]);
    }
    return Usage();
}

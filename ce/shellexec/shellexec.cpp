#include "shellexec.h"

#include <string>

#include "RuntimePool.h"

namespace {

// KESTREL_SHELLEXEC_LOG wins over HKLM\Software\KestrelDevice\ShellExec LogFile; the default
// is "\shellexec.log" on the device's drive.
std::wstring LogPath() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"KESTREL_SHELLEXEC_LOG", buffer, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        return buffer;
    }
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\KestrelDevice\\ShellExec", 0, KEY_READ,
                      &key) == ERROR_SUCCESS) {
        LONG result = RegQueryValueExW(key, L"LogFile", nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (result == ERROR_SUCCESS && type == REG_SZ) {
            buffer[size / sizeof(wchar_t)] = L'\0';
            if (buffer[0]) {
                return buffer;
            }
        }
    }
    return L"\\shellexec.log";
}

std::string Utf8(const wchar_t* text) {
    if (!text) {
        return std::string();
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) {
        return std::string();
    }
    std::string out(n - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    return out;
}

} // namespace

// Gives the runtime's exception pool back when the library is unloaded.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        RuntimePool::ReleaseOnUnload(reserved);
    }
    return TRUE;
}

extern "C" BOOL WINAPI KestrelShellExecuteExW(SHELLEXECUTEINFOW* info) {
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string line = Utf8(info->lpFile) + " " + Utf8(info->lpParameters) + "\r\n";
    HANDLE file = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return FALSE;
    }
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
    return TRUE;
}

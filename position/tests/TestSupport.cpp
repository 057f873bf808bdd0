#include "TestSupport.h"

namespace {

const wchar_t* const kNames[] = {
    L"CONNECTDELAYMS", L"FAILSTATUS", L"DISCONNECTAFTERMS", L"NEVERANSWER",     L"STATUSES",
    L"PROXYSERVER",    L"PROXYTYPE",  L"MAPURLRESULT",      L"ESTABLISHRESULT", L"LOGFILE"};

std::wstring Variable(const wchar_t* name) {
    return std::wstring(L"KESTREL_CONNMGR_") + name;
}

} // namespace

StandInSettings::StandInSettings() {
    std::wstring folder = TestFolder(L"kestrel_standin");
    connMgrLog = folder + L"connmgr.log";
    shellLog = folder + L"shellexec.log";
    DeleteFileW(connMgrLog.c_str());
    DeleteFileW(shellLog.c_str());
    Set(L"LOGFILE", connMgrLog.c_str());
    Set(L"CONNECTDELAYMS", L"0");
    SetEnvironmentVariableW(L"KESTREL_SHELLEXEC_LOG", shellLog.c_str());
}

StandInSettings::~StandInSettings() {
    for (const wchar_t* name : kNames) {
        SetEnvironmentVariableW(Variable(name).c_str(), nullptr);
    }
    SetEnvironmentVariableW(L"KESTREL_SHELLEXEC_LOG", nullptr);
}

void StandInSettings::Set(const wchar_t* name, const wchar_t* value) {
    SetEnvironmentVariableW(Variable(name).c_str(), value);
}

std::string StandInSettings::ConnMgrLog() const {
    return ReadFileBytes(connMgrLog);
}

std::string StandInSettings::ShellLog() const {
    return ReadFileBytes(shellLog);
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::string();
    }
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring TestFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

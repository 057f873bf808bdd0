#include "RilFileSubscriber.h"

#include <stdexcept>

#include "RadioInterface.h"

namespace {

void RequirePath(const std::wstring& path) {
    if (path.empty()) {
        throw std::invalid_argument("Invalid filename");
    }
}

// Releases the writer's lock however the scope is left.
class WriteHold {
public:
    explicit WriteHold(ReadWriteLock& lock) : lock(lock) { lock.AcquireWrite(); }
    ~WriteHold() { lock.ReleaseWrite(); }
    WriteHold(const WriteHold&) = delete;
    WriteHold& operator=(const WriteHold&) = delete;

private:
    ReadWriteLock& lock;
};

} // namespace

RilFileSubscriber::RilFileSubscriber(const std::wstring& path)
    : filePath(path), networkId(NO_NETWORK_ID) {
    RequirePath(path);
}

void RilFileSubscriber::OnCellInfo(CellInfo cell) {
    if (!enabled) {
        return;
    }
    WriteHold hold(lock);
    if (cell == lastCell && networkId == lastNetworkId) {
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    // A line that could not be written is tried again with the next cell result.
    if (Append(FormatCellLine(now, cell, networkId))) {
        lastCell = cell;
        lastNetworkId = networkId;
    }
}

void RilFileSubscriber::OnSignalQuality(int, int, int) {}

void RilFileSubscriber::OnNetworkId(std::wstring id) {
    WriteHold hold(lock);
    networkId = id;
}

void RilFileSubscriber::OnRadioOn() {}

void RilFileSubscriber::OnRadioOff() {}

void RilFileSubscriber::OnError(std::wstring text) {
    WriteHold hold(lock);
    // The line feed keeps the next cell line on a line of its own.
    Append(L"ERROR:: " + text + L"\n");
}

std::wstring RilFileSubscriber::GetFilePath() {
    return filePath;
}

void RilFileSubscriber::SetFilePath(const std::wstring& path) {
    WriteHold hold(lock);
    RequirePath(path);
    filePath = path;
}

bool RilFileSubscriber::IsEnabled() {
    return enabled;
}

void RilFileSubscriber::SetEnabled(bool flag) {
    WriteHold hold(lock);
    enabled = flag;
}

std::wstring RilFileSubscriber::FormatCellLine(const SYSTEMTIME& time, const CellInfo& cell,
                                               const std::wstring& networkId) {
    wchar_t line[1024];
    wsprintfW(line, L"%02u.%02u.%02u;%02u:%02u:%02u;%s;%s;%s;%s; \n", time.wDay, time.wMonth,
              time.wYear, time.wHour, time.wMinute, time.wSecond, cell.lac.c_str(),
              cell.cellId.c_str(), cell.bcch.c_str(), networkId.c_str());
    return line;
}

bool RilFileSubscriber::Append(const std::wstring& record) {
    HANDLE file = CreateFileW(filePath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool written = true;
    DWORD done = 0;
    if (GetLastError() == 0) {
        static const BYTE bom[2] = {0xFF, 0xFE};
        written = WriteFile(file, bom, sizeof(bom), &done, nullptr) && done == sizeof(bom);
    }
    DWORD size = static_cast<DWORD>(record.size() * sizeof(wchar_t));
    written = written && SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER &&
              WriteFile(file, record.data(), size, &done, nullptr) && done == size;
    CloseHandle(file);
    return written;
}

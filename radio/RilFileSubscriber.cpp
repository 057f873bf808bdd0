#include "RilFileSubscriber.h"

#include <stdexcept>
#include <string>

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
    // A record goes in whole or not at all: on a full disk a write can stop part way, and the
    // part left behind would glue the next record to a fragment. An empty file, new or left
    // empty by such a failure, begins with the byte-order mark.
    LARGE_INTEGER end = {};
    LARGE_INTEGER zero = {};
    bool written = SetFilePointerEx(file, zero, &end, FILE_END) != FALSE;
    if (written) {
        std::string bytes;
        if (end.QuadPart == 0) {
            bytes = "\xFF\xFE";
        }
        bytes.append(reinterpret_cast<const char*>(record.data()), record.size() * sizeof(wchar_t));
        DWORD done = 0;
        written = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                  done == bytes.size();
        if (!written) {
            SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
            SetEndOfFile(file);
        }
    }
    CloseHandle(file);
    return written;
}

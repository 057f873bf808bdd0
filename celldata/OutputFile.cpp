#include "OutputFile.h"

#include "DriveText.h"

namespace {

const size_t kBufferBytes = 1 << 20;

// The system's words for the last error, without the line end.
std::string LastErrorText() {
    const DWORD code = GetLastError();
    wchar_t text[256] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                   text, ARRAYSIZE(text), nullptr);
    std::string message = Utf8(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(code) : message;
}

} // namespace

OutputFile::OutputFile(const std::wstring& path) : path(path), partPath(path + L".part") {}

OutputFile::~OutputFile() {
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    if (!committed && !partPath.empty()) {
        DeleteFileW(partPath.c_str());
    }
}

bool OutputFile::Open() {
    file = CreateFileW(partPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        partPath.clear(); // nothing of ours to remove
        Fail("cannot write");
        return false;
    }
    buffer.reserve(kBufferBytes);
    return true;
}

void OutputFile::Write(const std::string& text) {
    buffer += text;
    if (buffer.size() >= kBufferBytes) {
        Flush();
    }
}

void OutputFile::Flush() {
    if (!failed && !buffer.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &written, nullptr) ||
            written != buffer.size()) {
            Fail("cannot write");
        }
    }
    buffer.clear();
}

bool OutputFile::Close() {
    Flush();
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && !failed) {
        Fail("cannot write");
    }
    file = INVALID_HANDLE_VALUE;
    return !failed;
}

bool OutputFile::Commit() {
    if (failed || file != INVALID_HANDLE_VALUE) {
        return false;
    }
    if (!MoveFileExW(partPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        Fail("cannot replace");
        return false;
    }
    committed = true;
    return true;
}

void OutputFile::Fail(const char* what) {
    if (!failed) {
        error = std::string(what) + " " + Utf8(path) + ": " + LastErrorText();
    }
    failed = true;
}

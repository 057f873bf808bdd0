#include "FileFaults.h"

namespace {

const wchar_t* const kNetworks[] = {L"23001", L"23002"};
const ULONGLONG kSmallVolumeBytes = 256ull * 1024 * 1024;
// What an emptied log folder has free at least.
const ULONGLONG kFreedBytes = 1024 * 1024;
// A download writes what arrives: a few hundred bytes at a time.
const size_t kDownloadChunk = 512;

std::string Narrow(const wchar_t* text) {
    std::string narrow;
    for (; *text; ++text) {
        narrow += static_cast<char>(*text);
    }
    return narrow;
}

} // namespace

FileFaults::FileFaults(std::wstring databaseFolder, std::wstring logFolder)
    : databaseFolder(std::move(databaseFolder)), logFolder(std::move(logFolder)) {
    CreateDirectoryW(this->databaseFolder.c_str(), nullptr);
    CreateDirectoryW(this->logFolder.c_str(), nullptr);
}

FileFaults::~FileFaults() {
    StopReplacing();
    EmptyLogFolder();
}

bool FileFaults::WriteFileBytes(const std::wstring& path, const std::string& bytes, size_t chunk) {
    // The item opens the database without sharing for a lookup: until it is done, the file
    // cannot be opened for writing, as on the phone.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < 200 && file == INVALID_HANDLE_VALUE; ++tries) {
        file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            Sleep(5);
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    for (size_t at = 0; ok && at < bytes.size(); at += chunk) {
        DWORD size = static_cast<DWORD>(bytes.size() - at < chunk ? bytes.size() - at : chunk);
        DWORD done = 0;
        ok = WriteFile(file, bytes.data() + at, size, &done, nullptr) && done == size;
    }
    CloseHandle(file);
    return ok;
}

bool FileFaults::WriteDatabases(SoakWorld::Database kind) {
    bool ok = true;
    for (const wchar_t* network : kNetworks) {
        ok = WriteFileBytes(databaseFolder + network + L".csv",
                            SoakWorld::BtsDatabase(Narrow(network), kind), 1 << 20) &&
             ok;
    }
    return ok;
}

DWORD WINAPI FileFaults::Replace(LPVOID parameter) {
    auto* self = static_cast<FileFaults*>(parameter);
    std::string databases[2];
    for (int i = 0; i < 2; ++i) {
        databases[i] = SoakWorld::BtsDatabase(Narrow(kNetworks[i]), SoakWorld::Database::Good);
    }
    for (int round = 0; self->replacing; ++round) {
        int i = round % 2;
        if (self->WriteFileBytes(self->databaseFolder + kNetworks[i] + L".csv", databases[i],
                                 kDownloadChunk)) {
            ++self->replacements;
        }
        Sleep(1);
    }
    return 0;
}

void FileFaults::StartReplacing() {
    if (replacer) {
        return;
    }
    replacing = true;
    replacer = CreateThread(nullptr, 0, Replace, this, 0, nullptr);
}

void FileFaults::StopReplacing() {
    if (!replacer) {
        return;
    }
    replacing = false;
    WaitForSingleObject(replacer, INFINITE);
    CloseHandle(replacer);
    replacer = nullptr;
    WriteDatabases(SoakWorld::Database::Good);
}

bool FileFaults::CanFillLogFolder() const {
    ULARGE_INTEGER available, total, free;
    return GetDiskFreeSpaceExW(logFolder.c_str(), &available, &total, &free) &&
           total.QuadPart > 0 && total.QuadPart <= kSmallVolumeBytes;
}

bool FileFaults::FillLogFolder() {
    if (!CanFillLogFolder()) {
        return false;
    }
    HANDLE file = CreateFileW((logFolder + L"filler.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::string block(64 * 1024, 'x');
    for (size_t size = block.size(); size > 0; size /= 2) {
        DWORD done = 0;
        while (WriteFile(file, block.data(), static_cast<DWORD>(size), &done, nullptr) &&
               done == size) {
        }
    }
    CloseHandle(file);
    return true;
}

void FileFaults::EmptyLogFolder() {
    DeleteFileW((logFolder + L"filler.bin").c_str());
    // Wine frees the file's blocks once its server lets go of the file, a moment after the
    // delete: the fault is over when the item can write again.
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(5)) {
        ULARGE_INTEGER available, total, free;
        if (!GetDiskFreeSpaceExW(logFolder.c_str(), &available, &total, &free) ||
            available.QuadPart >= kFreedBytes) {
            return;
        }
    }
}

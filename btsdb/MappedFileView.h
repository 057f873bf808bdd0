#pragma once

#include <windows.h>

#include <string>

// A database file opened for one lookup: read-only, not shared, mapped in full. The view,
// the mapping and the file are released by the destructor, also when an exception passes.
class MappedFileView {
public:
    explicit MappedFileView(const std::wstring& path);
    ~MappedFileView();
    MappedFileView(const MappedFileView&) = delete;
    MappedFileView& operator=(const MappedFileView&) = delete;

    // False when the file is missing, held by another writer, empty or cannot be mapped.
    bool IsOpen() const { return view != nullptr; }
    const char* GetData() const { return static_cast<const char*>(view); }
    size_t GetSize() const { return size; }

private:
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    const void* view = nullptr;
    size_t size = 0;
};

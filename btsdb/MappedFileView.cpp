#include "MappedFileView.h"

#include <climits>

MappedFileView::MappedFileView(const std::wstring& path) {
    file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    LARGE_INTEGER fileSize;
    // Lines and fields are measured in int by the code-page functions; a database of 2 GB
    // would not fit the device's address space anyway.
    if (!GetFileSizeEx(file, &fileSize) || fileSize.QuadPart <= 0 || fileSize.QuadPart > INT_MAX) {
        return;
    }
    mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (!mapping) {
        return;
    }
    view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view) {
        size = static_cast<size_t>(fileSize.QuadPart);
    }
}

MappedFileView::~MappedFileView() {
    if (view) {
        UnmapViewOfFile(view);
    }
    if (mapping) {
        CloseHandle(mapping);
    }
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
}

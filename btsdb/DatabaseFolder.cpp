#include "DatabaseFolder.h"

#include <windows.h>

#include "projects.h"

std::wstring GetDefaultDatabaseFolder() {
    WIN32_FIND_DATAW data = {};
    std::wstring card;
    HANDLE search = FindFirstFlashCard(&data);
    if (search != INVALID_HANDLE_VALUE) {
        card = data.cFileName;
        FindClose(search);
    }
    // Exactly one separator on each side of the card's name: "\" + "\GsmDB\" would be
    // "\\GsmDB\", which desktop Windows reads as a network share.
    while (!card.empty() && card.back() == L'\\') {
        card.pop_back();
    }
    if (!card.empty() && card.front() != L'\\') {
        card.insert(card.begin(), L'\\');
    }
    return card + L"\\GsmDB\\";
}

bool DirectoryExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolder(const std::wstring& path) {
    return CreateDirectoryW(path.c_str(), nullptr) != FALSE;
}

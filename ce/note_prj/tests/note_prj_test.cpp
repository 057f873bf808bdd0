// The storage-card query against folders the test makes in the root of the current drive.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "projects.h"

namespace {

TEST(FlashCardTest, ListedFoldersAreCardsWhateverTheirCaseAndFilesAreNot) {
    CreateDirectoryW(L"\\kestrel card a", nullptr);
    CreateDirectoryW(L"\\Kestrel Card B", nullptr);
    CloseHandle(
        CreateFileW(L"\\kestrel card file", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    SetEnvironmentVariableW(L"KESTREL_FLASHCARDS",
                            L"kestrel card B;;Kestrel Card A;kestrel card file;missing card");

    std::set<std::wstring> names;
    WIN32_FIND_DATAW data = {};
    HANDLE search = FindFirstFlashCard(&data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    do {
        EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        names.insert(data.cFileName);
    } while (FindNextFlashCard(search, &data));
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ((std::set<std::wstring>{L"kestrel card a", L"Kestrel Card B"}), names);

    SetEnvironmentVariableW(L"KESTREL_FLASHCARDS", nullptr);
    RemoveDirectoryW(L"\\kestrel card a");
    RemoveDirectoryW(L"\\Kestrel Card B");
    DeleteFileW(L"\\kestrel card file");
}

TEST(FlashCardTest, NoCardFolderFailsWithInvalidHandle) {
    SetEnvironmentVariableW(L"KESTREL_FLASHCARDS", L"missing card");
    WIN32_FIND_DATAW data = {};
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFlashCard(&data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFlashCard(nullptr));
    EXPECT_FALSE(FindNextFlashCard(INVALID_HANDLE_VALUE, &data));
    SetEnvironmentVariableW(L"KESTREL_FLASHCARDS", nullptr);
}

} // namespace

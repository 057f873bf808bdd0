// The database folder: its default from the storage-card query, and the folder helpers.

#include <gtest/gtest.h>

#include <windows.h>

#include "DatabaseFolder.h"

namespace {

class DatabaseFolderTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetEnvironmentVariableW(L"KESTREL_FLASHCARDS", nullptr);
        RemoveDirectoryW(L"\\kestrel folder card");
        RemoveDirectoryW(L"\\kestrel_folder_test\\GsmDB");
        RemoveDirectoryW(L"\\kestrel_folder_test");
    }
};

TEST_F(DatabaseFolderTest, DefaultIsGsmDBOnTheFirstCardOrInTheRoot) {
    SetEnvironmentVariableW(L"KESTREL_FLASHCARDS", L"kestrel folder card");
    EXPECT_EQ(L"\\GsmDB\\", GetDefaultDatabaseFolder());
    CreateDirectoryW(L"\\kestrel folder card", nullptr);
    EXPECT_EQ(L"\\kestrel folder card\\GsmDB\\", GetDefaultDatabaseFolder());
}

TEST_F(DatabaseFolderTest, CreateFolderMakesOneLevelAndDirectoryExistsSeesOnlyFolders) {
    EXPECT_FALSE(DirectoryExists(L"\\kestrel_folder_test\\GsmDB\\"));
    EXPECT_FALSE(CreateFolder(L"\\kestrel_folder_test\\GsmDB\\"));
    EXPECT_TRUE(CreateFolder(L"\\kestrel_folder_test"));
    EXPECT_TRUE(CreateFolder(L"\\kestrel_folder_test\\GsmDB\\"));
    EXPECT_TRUE(DirectoryExists(L"\\kestrel_folder_test\\GsmDB\\"));
    EXPECT_FALSE(CreateFolder(L"\\kestrel_folder_test\\GsmDB\\"));

    HANDLE file = CreateFileW(L"\\kestrel_folder_test\\file.csv", GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    EXPECT_FALSE(DirectoryExists(L"\\kestrel_folder_test\\file.csv"));
    DeleteFileW(L"\\kestrel_folder_test\\file.csv");
}

} // namespace

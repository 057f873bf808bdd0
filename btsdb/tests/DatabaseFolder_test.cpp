// The folder helpers of the database download (the default folder: the page's tests).

#include <gtest/gtest.h>

#include <windows.h>

#include "DatabaseFolder.h"

namespace {

class DatabaseFolderTest : public ::testing::Test {
protected:
    void TearDown() override {
        RemoveDirectoryW(L"\\kestrel_folder_test\\GsmDB");
        RemoveDirectoryW(L"\\kestrel_folder_test");
    }
};

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

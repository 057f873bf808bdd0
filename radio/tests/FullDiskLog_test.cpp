// The cell log on a full disk: a line goes into the file whole or not at all, and the line that
// could not be written comes with the next cell result once there is room again. A log that
// found no room at all still begins with its byte-order mark. The folder is a small tmpfs
// mounted around the test (tools/small_volume.sh); elsewhere the test is skipped.

#include <gtest/gtest.h>

#include <string>

#include "RilFileSubscriber.h"
#include "TestFiles.h"

namespace {

const wchar_t* const Folder = L"\\fullvolume\\";
const wchar_t* const Log = L"\\fullvolume\\gsminfo.txt";
const wchar_t* const Filler = L"\\fullvolume\\filler.bin";
// Date, time, "100;1xxx;10;23001; " and the line feed, in UTF-16.
const size_t LineBytes = 40 * 2;

bool SmallVolume() {
    ULARGE_INTEGER available, total, free;
    return GetDiskFreeSpaceExW(Folder, &available, &total, &free) &&
           total.QuadPart <= 64ull * 1024 * 1024;
}

// Takes every byte the volume has left.
void Fill() {
    HANDLE file = CreateFileW(Filler, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string block(65536, 'x');
    for (DWORD size = 65536; size > 0; size /= 2) {
        DWORD done = 0;
        while (WriteFile(file, block.data(), size, &done, nullptr) && done == size) {
        }
    }
    CloseHandle(file);
}

CellInfo Cell(int i) {
    return CellInfo(L"100", std::to_wstring(1000 + i), L"10");
}

LONGLONG Size(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        return -1;
    }
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The cell ids of the file's lines; "bad" for a line that is not a whole cell line.
std::wstring CellIds(const std::string& bytes) {
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    std::wstring ids;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? end : end - start);
        bool whole = end != std::wstring::npos && line.size() * 2 + 2 == LineBytes &&
                     line.compare(20, 4, L"100;") == 0 &&
                     line.compare(line.size() - 11, 11, L";10;23001; ") == 0;
        ids += whole ? line.substr(24, 4) + L" " : L"bad ";
        start = end == std::wstring::npos ? text.size() : end + 1;
    }
    return ids;
}

class FullDiskLog : public ::testing::Test {
protected:
    void SetUp() override {
        if (!SmallVolume()) {
            GTEST_SKIP() << "the folder is no small volume here (no tmpfs): nothing to fill";
        }
        DeleteFileW(Filler);
        DeleteFileW(Log);
        writer.SetEnabled(true);
        writer.OnNetworkId(L"23001");
    }
    void TearDown() override {
        DeleteFileW(Filler);
        DeleteFileW(Log);
    }

    RilFileSubscriber writer{Log};
};

} // namespace

TEST_F(FullDiskLog, LineCutShortIsTakenBackAndWrittenWithTheNextResult) {
    writer.OnCellInfo(Cell(0));
    ASSERT_EQ(static_cast<LONGLONG>(2 + LineBytes), Size(Log));
    Fill();
    // The log's last block still has room for some lines; the line that finds it full fails.
    int failed = 1;
    for (; failed < 200; ++failed) {
        LONGLONG before = Size(Log);
        writer.OnCellInfo(Cell(failed));
        if (Size(Log) != before + static_cast<LONGLONG>(LineBytes)) {
            break;
        }
    }
    ASSERT_LT(failed, 200) << "the volume never ran full";
    DeleteFileW(Filler);
    writer.OnCellInfo(Cell(failed));
    writer.OnCellInfo(Cell(failed + 1));

    std::wstring expected;
    for (int i = 0; i <= failed + 1; ++i) {
        expected += std::to_wstring(1000 + i) + L" ";
    }
    EXPECT_EQ(expected, CellIds(ReadFileBytes(Log)));
}

TEST_F(FullDiskLog, LogThatFoundNoRoomBeginsWithItsMarkOnceWritten) {
    Fill();
    writer.OnCellInfo(Cell(0));
    DeleteFileW(Filler);
    writer.OnCellInfo(Cell(0));

    std::string bytes = ReadFileBytes(Log);
    ASSERT_EQ(2 + LineBytes, bytes.size());
    EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
    EXPECT_EQ(L"1000 ", CellIds(bytes));
}

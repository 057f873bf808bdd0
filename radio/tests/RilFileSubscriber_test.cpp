#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "RilFileSubscriber.h"
#include "TestFiles.h"

namespace {

const wchar_t* const LOG = L"filesubscriber_log.txt";
const wchar_t* const OTHER_LOG = L"filesubscriber_other.txt";

// The file's text after its byte-order mark.
std::wstring ReadText(const wchar_t* path) {
    std::string bytes = ReadFileBytes(path);
    if (bytes.size() < 2) {
        return std::wstring();
    }
    std::wstring text((bytes.size() - 2) / 2, L'\0');
    memcpy(&text[0], bytes.data() + 2, text.size() * 2);
    return text;
}

// Date and time vary; the rest of each line is fixed.
std::wstring WithoutTimes(const std::wstring& text) {
    std::wstring result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        end = end == std::wstring::npos ? text.size() : end + 1;
        std::wstring line = text.substr(start, end - start);
        if (line.size() > 20 && line[2] == L'.' && line[5] == L'.' && line[10] == L';') {
            line = L"T;" + line.substr(20);
        }
        result += line;
        start = end;
    }
    return result;
}

class RilFileSubscriberTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteFileW(LOG);
        DeleteFileW(OTHER_LOG);
    }
    void TearDown() override {
        DeleteFileW(LOG);
        DeleteFileW(OTHER_LOG);
    }
    RilFileSubscriber writer{LOG};
    CellInfo cell{L"2051", L"13962", L"1"};
};

} // namespace

TEST(RilFileSubscriberFormat, LineOfNinthMarch2008) {
    SYSTEMTIME time = {};
    time.wYear = 2008;
    time.wMonth = 3;
    time.wDay = 9;
    time.wHour = 7;
    time.wMinute = 5;
    time.wSecond = 3;
    EXPECT_EQ(L"09.03.2008;07:05:03;2051;13962;1;23001; \n",
              RilFileSubscriber::FormatCellLine(time, CellInfo(L"2051", L"13962", L"1"), L"23001"));
}

TEST_F(RilFileSubscriberTest, EmptyPathIsRejectedAndOldPathStays) {
    EXPECT_THROW(RilFileSubscriber(L""), std::invalid_argument);
    try {
        writer.SetFilePath(L"");
        FAIL() << "no exception";
    } catch (const std::invalid_argument& error) {
        EXPECT_STREQ("Invalid filename", error.what());
    }
    EXPECT_EQ(LOG, writer.GetFilePath());
    // The lock was released as the exception left.
    writer.SetEnabled(true);
    writer.OnCellInfo(cell);
    EXPECT_EQ(L"T;2051;13962;1;-----; \n", WithoutTimes(ReadText(LOG)));
}

TEST_F(RilFileSubscriberTest, DisabledWritesOnlyErrorsEachOnItsOwnLine) {
    EXPECT_FALSE(writer.IsEnabled());
    writer.OnCellInfo(cell);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(LOG));
    writer.OnError(L"Nepodařilo se inicializovat knihovnu RIL");
    writer.SetEnabled(true);
    writer.OnCellInfo(cell);
    EXPECT_EQ(L"ERROR:: Nepodařilo se inicializovat knihovnu RIL\nT;2051;13962;1;-----; \n",
              WithoutTimes(ReadText(LOG)));
}

TEST_F(RilFileSubscriberTest, ByteOrderMarkOnlyOnNewFile) {
    writer.OnError(L"a");
    writer.OnError(L"b");
    std::string bytes = ReadFileBytes(LOG);
    ASSERT_EQ(2u + 2 * 20, bytes.size());
    EXPECT_EQ("\xFF\xFE", bytes.substr(0, 2));
    EXPECT_EQ(std::string::npos, bytes.find("\xFF\xFE", 2));
    EXPECT_EQ(L"ERROR:: a\nERROR:: b\n", ReadText(LOG));
}

TEST_F(RilFileSubscriberTest, WritesOnlyChangesOfCellOrNetwork) {
    writer.SetEnabled(true);
    writer.OnCellInfo(cell);
    writer.OnCellInfo(cell);
    writer.OnNetworkId(L"23001");
    writer.OnSignalQuality(-113, -51, -75);
    writer.OnRadioOn();
    writer.OnRadioOff();
    writer.OnCellInfo(cell);
    writer.OnCellInfo(CellInfo(L"2051", L"13962", L"-1"));
    writer.SetEnabled(false);
    writer.OnCellInfo(CellInfo(L"1", L"2", L"3"));
    // Re-enabling does not forget the last line written.
    writer.SetEnabled(true);
    writer.OnCellInfo(CellInfo(L"2051", L"13962", L"-1"));
    EXPECT_EQ(L"T;2051;13962;1;-----; \n"
              L"T;2051;13962;1;23001; \n"
              L"T;2051;13962;-1;23001; \n",
              WithoutTimes(ReadText(LOG)));
    std::wstring text = ReadText(LOG);
    ASSERT_GT(text.size(), 20u);
    EXPECT_EQ(L';', text[19]); // four-digit year
}

TEST_F(RilFileSubscriberTest, NewPathIsUsedForTheNextRecord) {
    writer.SetFilePath(OTHER_LOG);
    EXPECT_EQ(OTHER_LOG, writer.GetFilePath());
    writer.OnError(L"x");
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(LOG));
    EXPECT_EQ(L"ERROR:: x\n", ReadText(OTHER_LOG));
}

TEST_F(RilFileSubscriberTest, LineBlockedByAReaderIsWrittenWithTheNextResult) {
    writer.SetEnabled(true);
    writer.OnCellInfo(cell);
    HANDLE reader =
        CreateFileW(LOG, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    CellInfo next(L"2051", L"13963", L"1");
    writer.OnCellInfo(next);
    writer.OnError(L"lost");
    CloseHandle(reader);
    EXPECT_EQ(L"T;2051;13962;1;-----; \n", WithoutTimes(ReadText(LOG)));
    writer.OnCellInfo(next);
    writer.OnCellInfo(next);
    EXPECT_EQ(L"T;2051;13962;1;-----; \nT;2051;13963;1;-----; \n", WithoutTimes(ReadText(LOG)));
}

#include "CSVReader.h"
#include "BtsTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// Bytes placed so that the page after the last byte cannot be read: a read past the end
// of the text faults at once.
class GuardedBuffer {
public:
    explicit GuardedBuffer(const std::string& bytes) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t dataPages = (bytes.size() + page - 1) / page;
        base = static_cast<char*>(VirtualAlloc(nullptr, (dataPages + 1) * page,
                                               MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        DWORD old;
        VirtualProtect(base + dataPages * page, page, PAGE_NOACCESS, &old);
        data = base + dataPages * page - bytes.size();
        std::copy(bytes.begin(), bytes.end(), data);
    }
    ~GuardedBuffer() { VirtualFree(base, 0, MEM_RELEASE); }
    const char* Data() const { return data; }

private:
    char* base;
    char* data;
};

// The search written plainly, byte by byte, for comparison.
bool ReferenceSearch(std::string text, const std::string& lac, const std::string& cell,
                     std::vector<std::string>& fields) {
    text = text.substr(0, text.find('\0'));
    size_t position = 0;
    while (!cell.empty()) {
        const size_t hit = text.find(cell, position);
        if (hit == std::string::npos) {
            return false;
        }
        size_t lineEnd = text.find_first_of("\r\n", hit);
        if (lineEnd == std::string::npos) {
            lineEnd = text.size();
        }
        const size_t previousEnd =
            hit == 0 ? std::string::npos : text.find_last_of("\r\n", hit - 1);
        const size_t lineStart = previousEnd == std::string::npos ? 0 : previousEnd + 1;
        const std::string line = text.substr(lineStart, lineEnd - lineStart);
        std::vector<std::string> split;
        size_t start = 0;
        for (;;) {
            const size_t semicolon = line.find(';', start);
            split.push_back(line.substr(start, semicolon - start));
            if (semicolon == std::string::npos) {
                break;
            }
            start = semicolon + 1;
        }
        if (split.size() < 3) {
            return false;
        }
        if (split[2] == lac) {
            split.resize(std::min<size_t>(split.size(), 10));
            fields = split;
            return true;
        }
        if (lineEnd == text.size()) {
            return false;
        }
        position = lineEnd;
    }
    return false;
}

std::wstring Widen(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
}

std::string RandomDigits(std::mt19937& random, size_t length);

// Lines of short digit fields with every kind of line end, so that cell ids and LACs meet
// often; sometimes a NUL, a high byte or a stray character.
std::string RandomText(std::mt19937& random, size_t size) {
    static const char* const lineEnds[] = {"\r\n", "\n", "\r", "\r\n", ";\r\n"};
    std::uniform_int_distribution<int> fieldCount(0, 6);
    std::uniform_int_distribution<size_t> fieldLength(0, 3);
    std::uniform_int_distribution<int> lineEnd(0, 4);
    std::uniform_int_distribution<int> rare(0, 300);
    std::string text;
    while (text.size() < size) {
        for (int f = fieldCount(random); f > 0; --f) {
            text += RandomDigits(random, fieldLength(random));
            const int r = rare(random);
            text += r == 0 ? '\0' : r == 1 ? '\xE8' : r == 2 ? '.' : ';';
        }
        text += lineEnds[lineEnd(random)];
    }
    text.resize(size);
    return text;
}

std::string RandomDigits(std::mt19937& random, size_t length) {
    std::uniform_int_distribution<int> digit('0', '9');
    std::string digits(length, '0');
    for (char& c : digits) {
        c = static_cast<char>(digit(random));
    }
    return digits;
}

TEST(CSVReaderRobustnessTest, RandomTextsAgreeWithPlainSearchAndStayInsideTheText) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> smallSize(0, 300);
    std::uniform_int_distribution<size_t> idLength(1, 2);
    int found = 0;
    for (int round = 0; round < 20000; ++round) {
        const size_t size = round % 50 == 0 ? 4096 * (1 + round % 3) : smallSize(random);
        const std::string text = RandomText(random, size);
        const std::string lac = RandomDigits(random, idLength(random));
        const std::string cell = RandomDigits(random, idLength(random));
        GuardedBuffer buffer(text);

        std::vector<std::string> expected;
        std::vector<std::wstring> fields;
        const bool expectFound = ReferenceSearch(text, lac, cell, expected);
        ASSERT_EQ(expectFound, CSVReader::FindCellLine(buffer.Data(), text.size(), Widen(lac),
                                                       Widen(cell), fields))
            << "round " << round;
        if (expectFound) {
            ++found;
            ASSERT_EQ(expected.size(), fields.size()) << "round " << round;
            for (size_t i = 0; i < expected.size(); ++i) {
                if (expected[i].find('\xE8') == std::string::npos) {
                    ASSERT_EQ(Widen(expected[i]), fields[i]) << "round " << round;
                }
            }
        }
    }
    // The texts are dense enough that the comparison covers found lines too.
    EXPECT_GT(found, 300);
}

TEST(CSVReaderRobustnessTest, CellAtTheVeryEndOfATruncatedDatabaseOfWholePages) {
    const std::wstring folder = TestFolder(L"BtsDbRobust");
    std::string line = "Praha;BTS;100;1001;A;Praha-v\xFD"
                       "chod;C;50.1;14.5;x\r\n";
    std::string db;
    while (db.size() < 8192) {
        db += line;
    }
    // The last line, cut off right after the cell id, ends the file at a page boundary.
    const std::string tail = "\r\np;q;100;7777";
    db.resize(8192 - tail.size());
    db += tail;
    WriteBytes(folder + L"23001.csv", db);
    CSVReader reader(folder);
    BtsRecord record = reader.GetExtendedInformation(L"100", L"7777", L"23001");
    EXPECT_EQ(L"7777", record[4]);
    EXPECT_EQ(L"N/A", record[5]);

    // Every truncation of a database: no crash, and a line is found only if the cut left
    // its cell id whole.
    for (size_t length = 0; length <= 3 * line.size(); ++length) {
        WriteBytes(folder + L"23001.csv", db.substr(0, length));
        record = reader.GetExtendedInformation(L"100", L"1001", L"23001");
        if (length >= 18) {
            EXPECT_EQ(L"1001", record[4]) << length;
        } else {
            EXPECT_EQ(length == 0 ? L"N/A" : L"Data nenalezena", record[kBtsStatusKey]) << length;
        }
    }
    DeleteFileW((folder + L"23001.csv").c_str());
}

} // namespace

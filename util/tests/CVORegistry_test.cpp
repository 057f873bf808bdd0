#include <gtest/gtest.h>

#include <string>

#include "CVORegistry.h"

namespace {

// Each test works under a key of its own below this one, removed afterwards.
const wchar_t kTestRoot[] = L"\\Software\\KestrelTests";

class CVORegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info->name();
        path = std::wstring(kTestRoot) + L"\\" + std::wstring(name.begin(), name.end());
        CVORegistry::DeleteKeyTree(HKEY_LOCAL_MACHINE, path.c_str());
    }
    void TearDown() override { CVORegistry::DeleteKeyTree(HKEY_LOCAL_MACHINE, path.c_str()); }

    // Reads a value straight from the registry, bypassing the wrapper.
    bool RawQuery(const wchar_t* name, DWORD* type, std::wstring* text, DWORD* number) {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str() + 1, 0, KEY_READ, &key) !=
            ERROR_SUCCESS) {
            return false;
        }
        BYTE data[512] = {};
        DWORD size = sizeof(data) - 2;
        LONG result = RegQueryValueExW(key, name, nullptr, type, data, &size);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS) {
            return false;
        }
        if (text) {
            *text = reinterpret_cast<const wchar_t*>(data);
        }
        if (number) {
            *number = *reinterpret_cast<DWORD*>(data);
        }
        return true;
    }

    std::wstring path;
};

} // namespace

TEST_F(CVORegistryTest, CreatesKeyWithLeadingBackslash) {
    CVORegistry reg(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    ASSERT_NE(nullptr, reg.GetKey());
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), reg.GetDisposition());
    CVORegistry again(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), again.GetDisposition());
    EXPECT_EQ(1, reg.Close());
    EXPECT_EQ(0, reg.Close());
}

TEST_F(CVORegistryTest, MissingKeyWithoutCreateFailsSoftly) {
    CVORegistry reg(HKEY_LOCAL_MACHINE, path.c_str(), FALSE);
    EXPECT_EQ(nullptr, reg.GetKey());
    EXPECT_EQ(7u, reg.GetDWORDValue(L"X", 7));
    EXPECT_EQ(0, reg.SetDWORDValue(L"X", 1));
    EXPECT_STREQ(L"d", reg.GetStringValue(L"S", L"d").GetString());
    EXPECT_EQ(0, reg.SetStringValue(L"S", L"v"));
    CVOString name(L"stale");
    EXPECT_EQ(0, reg.EnumFirstSubKey(name));
    EXPECT_EQ(0u, name.GetLength());
    EXPECT_EQ(0, reg.SubKeyExists(L"A"));
    EXPECT_EQ(0, reg.DeleteSubKey(L"A"));
}

TEST_F(CVORegistryTest, DwordDefaultIsWrittenBackUnlessNoDefault) {
    CVORegistry reg(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    EXPECT_EQ(5u, reg.GetDWORDValue(L"X", 5));
    DWORD type = 0, number = 0;
    ASSERT_TRUE(RawQuery(L"X", &type, nullptr, &number));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(5u, number);
    EXPECT_EQ(5u, reg.GetDWORDValue(L"X", 9));

    EXPECT_EQ(NoDefaultDWORD, reg.GetDWORDValue(L"Y", NoDefaultDWORD));
    EXPECT_FALSE(RawQuery(L"Y", &type, nullptr, nullptr));

    EXPECT_EQ(1, reg.SetDWORDValue(L"Y", 0xFFFFFFFF));
    EXPECT_EQ(0xFFFFFFFFu, reg.GetDWORDValue(L"Y", 3));
}

TEST_F(CVORegistryTest, DwordOfLongerValueFallsBackToDefault) {
    CVORegistry reg(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    reg.SetStringValue(L"Long", L"more than four bytes");
    EXPECT_EQ(42u, reg.GetDWORDValue(L"Long", 42));
    DWORD type = 0, number = 0;
    ASSERT_TRUE(RawQuery(L"Long", &type, nullptr, &number));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(42u, number);
}

TEST_F(CVORegistryTest, StringDefaultIsStoredOnlyWhenGiven) {
    CVORegistry reg(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    EXPECT_STREQ(L"\\gsminfo.txt", reg.GetStringValue(L"LogFilePath", L"\\gsminfo.txt").c_str());
    DWORD type = 0;
    std::wstring text;
    ASSERT_TRUE(RawQuery(L"LogFilePath", &type, &text, nullptr));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(L"\\gsminfo.txt", text);

    CVOString none = reg.GetStringValue(L"Nothing", nullptr);
    EXPECT_EQ(0u, none.GetLength());
    EXPECT_FALSE(RawQuery(L"Nothing", &type, nullptr, nullptr));
}

TEST_F(CVORegistryTest, StringOfWrongTypeReturnsDefaultAndKeepsValue) {
    CVORegistry reg(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    reg.SetDWORDValue(L"N", 17);
    EXPECT_STREQ(L"def", reg.GetStringValue(L"N", L"def").c_str());
    EXPECT_EQ(0u, reg.GetStringValue(L"N", nullptr).GetLength());
    DWORD type = 0, number = 0;
    ASSERT_TRUE(RawQuery(L"N", &type, nullptr, &number));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(17u, number);
}

TEST_F(CVORegistryTest, StringRoundTripIncludingUnterminatedData) {
    CVORegistry reg(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    EXPECT_EQ(1, reg.SetStringValue(L"S", L"Příliš žluťoučký kůň"));
    EXPECT_STREQ(L"Příliš žluťoučký kůň", reg.GetStringValue(L"S", L"x").c_str());
    EXPECT_EQ(0, reg.SetStringValue(L"S", nullptr));

    // Data written without its terminator must still read back bounded.
    const wchar_t raw[] = {L'a', L'b', L'c'};
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(reg.GetKey(), L"Raw", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(raw), sizeof(raw)));
    EXPECT_STREQ(L"abc", reg.GetStringValue(L"Raw", nullptr).c_str());
}

TEST_F(CVORegistryTest, EnumeratesSubKeysAndEndsEmpty) {
    CVORegistry reg(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    {
        CVORegistry a(HKEY_LOCAL_MACHINE, (path + L"\\23001").c_str(), TRUE);
        CVORegistry b(HKEY_LOCAL_MACHINE, (path + L"\\23002").c_str(), TRUE);
    }
    CVOString name;
    ASSERT_EQ(1, reg.EnumFirstSubKey(name));
    std::wstring first = name.c_str();
    ASSERT_EQ(1, reg.EnumNextSubKey(name));
    std::wstring second = name.c_str();
    EXPECT_NE(first, second);
    EXPECT_TRUE((first == L"23001" && second == L"23002") ||
                (first == L"23002" && second == L"23001"));
    EXPECT_EQ(0, reg.EnumNextSubKey(name));
    EXPECT_EQ(0u, name.GetLength());
    EXPECT_EQ(1, reg.EnumFirstSubKey(name));

    EXPECT_EQ(1, reg.SubKeyExists(L"23001"));
    EXPECT_EQ(0, reg.SubKeyExists(L"23003"));
}

TEST_F(CVORegistryTest, DeleteKeyTreeRemovesNestedKeys) {
    {
        CVORegistry deep(HKEY_LOCAL_MACHINE, (path + L"\\A\\B\\C").c_str(), TRUE);
        deep.SetDWORDValue(L"v", 1);
        CVORegistry side(HKEY_LOCAL_MACHINE, (path + L"\\A\\B2").c_str(), TRUE);
    }
    CVORegistry reg(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    EXPECT_EQ(1, reg.DeleteSubKey(L"A"));
    EXPECT_EQ(0, reg.SubKeyExists(L"A"));
    EXPECT_EQ(0, reg.DeleteSubKey(L"A"));
    EXPECT_EQ(0, CVORegistry::DeleteKeyTree(reg.GetKey(), nullptr));
    EXPECT_EQ(0, CVORegistry::DeleteKeyTree(HKEY_LOCAL_MACHINE, L"\\Software\\KestrelNoSuchKey"));
}

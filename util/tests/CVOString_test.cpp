#include <gtest/gtest.h>

#include "CVOString.h"

TEST(CVOString, AssignKeepsTerminatorAndGrowsWithSlack) {
    CVOString s(L"abc");
    EXPECT_STREQ(L"abc", s.GetString());
    EXPECT_EQ(3u, s.GetLength());
    EXPECT_EQ(3u + 16u, s.GetCapacity());

    s.Assign(L"a longer text than before");
    EXPECT_STREQ(L"a longer text than before", s.GetString());
    EXPECT_EQ(25u, s.GetLength());
    EXPECT_LT(s.GetLength(), s.GetCapacity());

    s.Assign(L"");
    EXPECT_STREQ(L"", s.GetString());
    EXPECT_EQ(0u, s.GetLength());
}

TEST(CVOString, AssignNullDropsBufferAndStillEqualsEmpty) {
    CVOString s(L"x");
    s.Assign(static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(nullptr, s.GetString());
    EXPECT_EQ(0u, s.GetLength());
    EXPECT_EQ(1, s.EqualsNoCase(L""));
    EXPECT_EQ(1, s.EqualsNoCase(nullptr));
    EXPECT_EQ(0, s.EqualsNoCase(L"x"));
    EXPECT_STREQ(L"", s.c_str());
}

TEST(CVOString, CopiesAreIndependent) {
    CVOString a(L"Kestrel");
    CVOString b(a);
    b.Assign(L"other");
    EXPECT_STREQ(L"Kestrel", a.GetString());
    CVOString empty;
    CVOString c(empty);
    EXPECT_EQ(0u, c.GetLength());
    a = a;
    EXPECT_STREQ(L"Kestrel", a.GetString());
    a.Assign(a.GetString());
    EXPECT_STREQ(L"Kestrel", a.GetString());
}

TEST(CVOString, EqualsNoCaseIgnoresCase) {
    CVOString s(L"GsmDb");
    EXPECT_EQ(1, s.EqualsNoCase(L"GSMDB"));
    EXPECT_EQ(0, s.EqualsNoCase(L"GSMDB2"));
}

TEST(CVOString, GetBufferKeepsContentAndLength) {
    CVOString s(L"abc");
    wchar_t* small = s.GetBuffer(4);
    EXPECT_STREQ(L"abc", small);
    wchar_t* big = s.GetBuffer(100);
    EXPECT_STREQ(L"abc", big);
    EXPECT_EQ(117u, s.GetCapacity());
    EXPECT_EQ(3u, s.GetLength());
    EXPECT_EQ(0, big[116]);
}

TEST(CVOString, ReleaseBufferFindsTerminatorOrClamps) {
    CVOString s;
    EXPECT_EQ(0u, s.ReleaseBuffer(5));

    wchar_t* buf = s.GetBuffer(10);
    wcscpy(buf, L"hello");
    EXPECT_EQ(5u, s.ReleaseBuffer(static_cast<DWORD>(-1)));
    EXPECT_STREQ(L"hello", s.GetString());

    EXPECT_EQ(2u, s.ReleaseBuffer(2));
    EXPECT_STREQ(L"he", s.GetString());

    // A length past the end is clamped so the terminator stays inside the buffer.
    DWORD clamped = s.ReleaseBuffer(10000);
    EXPECT_EQ(s.GetCapacity() - 1, clamped);
    EXPECT_EQ(0, s.GetString()[clamped]);
}

TEST(CVOString, ReleaseBufferOnUnterminatedContentStaysInside) {
    CVOString s;
    wchar_t* buf = s.GetBuffer(4);
    DWORD cap = s.GetCapacity();
    for (DWORD i = 0; i < cap; ++i) {
        buf[i] = L'x';
    }
    DWORD len = s.ReleaseBuffer(static_cast<DWORD>(-1));
    EXPECT_EQ(cap - 1, len);
    EXPECT_EQ(0, s.GetString()[len]);
}

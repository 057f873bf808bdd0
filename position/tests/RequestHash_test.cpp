#include <gtest/gtest.h>

#include <stdexcept>

#include "RefService.h"
#include "RequestHash.h"
#include "WcfGpsPositionService.h"

TEST(RequestHash, Md5OfTheUtf8ConcatenationInBase64Url) {
    EXPECT_EQ(L"kAFQmDzST7DWlj99KOF_cg", WcfGpsPositionService::RequestHash(L"ab", L"c"));
    EXPECT_EQ(L"DMF1ucDxtqgxw5niaXcmYQ", WcfGpsPositionService::RequestHash(L"a", L""));
    // Czech access codes hash as UTF-8, as the service computes them.
    std::wstring hash = WcfGpsPositionService::RequestHash(L"Příliš žluťoučký", L"1001");
    EXPECT_EQ(RefService::ExpectedHash("Příliš žluťoučký", "1001"),
              std::string(hash.begin(), hash.end()));
}

TEST(RequestHash, EncodingReplacesPlusAndSlashAndDropsPadding) {
    EXPECT_EQ("----____", EncodeBase64Url("\xFB\xEF\xBE\xFF\xFF\xFF"));
    std::string digest(16, '\xFF');
    EXPECT_EQ("_____________________w", EncodeBase64Url(digest));
}

TEST(RequestHash, LengthLimitIsOnUtf8Bytes) {
    EXPECT_EQ(16u, HashText(std::wstring(999, L'x')).size());
    EXPECT_THROW(HashText(std::wstring(1000, L'x')), std::range_error);
    // 500 two-byte characters are 1000 UTF-8 bytes.
    EXPECT_THROW(HashText(std::wstring(500, L'\x010C')), std::range_error);
    EXPECT_EQ(16u, HashText(std::wstring(499, L'\x010C') + L"x").size());
    EXPECT_EQ("", HashText(L""));
    // No digest, no request: the hash of nothing is not made up.
    EXPECT_THROW(WcfGpsPositionService::RequestHash(L"", L""), std::runtime_error);
}

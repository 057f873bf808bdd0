#include <gtest/gtest.h>

#include "CVORegistry.h"
#include "GpsSettings.h"

namespace {

const wchar_t kKey[] = L"\\Software\\KestrelTest\\GpsSettings";

class GpsSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { CVORegistry::DeleteKeyTree(HKEY_LOCAL_MACHINE, kKey + 1); }
    void TearDown() override { CVORegistry::DeleteKeyTree(HKEY_LOCAL_MACHINE, kKey + 1); }
};

} // namespace

TEST_F(GpsSettingsTest, DefaultsAreWrittenBack) {
    GpsSettings settings(kKey);
    EXPECT_EQ(L"", settings.GetAppEmail());
    EXPECT_FALSE(settings.GetAutoMapAfterStart());
    CVORegistry registry(HKEY_LOCAL_MACHINE, kKey, FALSE);
    EXPECT_EQ(0u, registry.GetDWORDValue(L"AutoMapAfterStart", NoDefaultDWORD));
    EXPECT_STREQ(L"", registry.GetStringValue(L"WSUrl", L"missing").c_str());
}

TEST_F(GpsSettingsTest, ReadOnceUntilInvalidated) {
    {
        CVORegistry registry(HKEY_LOCAL_MACHINE, kKey, TRUE);
        registry.SetStringValue(L"AppEmail", L"user@example");
        registry.SetStringValue(L"AppKey", L"KEY");
        registry.SetStringValue(L"WSUrl", L"http://ws/{HASH}");
        registry.SetStringValue(L"MapUrl", L"http://map/{LAT}/{LON}");
        registry.SetDWORDValue(L"AutoMapAfterStart", 1);
    }
    GpsSettings settings(kKey);
    EXPECT_EQ(L"user@example", settings.GetAppEmail());
    EXPECT_EQ(L"KEY", settings.GetAppKey());
    EXPECT_EQ(L"http://ws/{HASH}", settings.GetServiceUrl());
    EXPECT_EQ(L"http://map/{LAT}/{LON}", settings.GetMapUrl());
    EXPECT_TRUE(settings.GetAutoMapAfterStart());
    {
        CVORegistry registry(HKEY_LOCAL_MACHINE, kKey, TRUE);
        registry.SetStringValue(L"AppEmail", L"other@example");
        registry.SetDWORDValue(L"AutoMapAfterStart", 0);
    }
    EXPECT_EQ(L"user@example", settings.GetAppEmail());
    settings.Invalidate();
    EXPECT_FALSE(settings.GetAutoMapAfterStart());
    EXPECT_EQ(L"other@example", settings.GetAppEmail());
}

TEST_F(GpsSettingsTest, ErrorMessages) {
    GpsSettings settings(kKey);
    std::wstring message;
    ASSERT_TRUE(settings.GetErrorMessage(3, message));
    EXPECT_EQ(L"Překročen maximální počet požadavků na službu za den", message);
    ASSERT_TRUE(settings.GetErrorMessage(-1000, message));
    EXPECT_EQ(L"Klient - chyba při odesílání / zpracování", message);
    ASSERT_TRUE(settings.GetErrorMessage(1001, message));
    EXPECT_EQ(L"Informace o buňce nenalezeny", message);
    EXPECT_FALSE(settings.GetErrorMessage(5, message));
}

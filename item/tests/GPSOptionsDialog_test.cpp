#include <gtest/gtest.h>

#include <windows.h>
#include <prsht.h>

#include <string>

#include "DialogDriver.h"
#include "GpsSettings.h"
#include "SettingsPageTest.h"
#include "OptionPages.h"
#include "PageDriver.h"
#include "resource.h"

using namespace page_driver;

namespace {

// The web-service and map page (dialog 129) with its sheet procedure, over a real item.
class GpsPageTest : public SettingsPageTest {
protected:
    GpsPageTest() : SettingsPageTest(IDD_GPS_OPTIONS, GpsOptionsPageProc, IDC_GPS_AUTOMAP) {}

    static void Fill(HWND page, const wchar_t* email, const wchar_t* key, const wchar_t* service,
                     const wchar_t* map, bool autoMap) {
        SetDlgItemTextW(page, IDC_GPS_EMAIL, email);
        SetDlgItemTextW(page, IDC_GPS_KEY, key);
        SetDlgItemTextW(page, IDC_GPS_SERVICE, service);
        SetDlgItemTextW(page, IDC_GPS_MAP, map);
        SendDlgItemMessageW(page, IDC_GPS_AUTOMAP, BM_SETCHECK,
                            autoMap ? BST_CHECKED : BST_UNCHECKED, 0);
    }

    static std::wstring Stored(const wchar_t* name) {
        std::wstring text = L"<missing>";
        ReadString(name, text);
        return text;
    }
};

TEST_F(GpsPageTest, FreshRegistryCreatesEmptyValuesAndAnUncheckedBox) {
    StartWithoutSettings();
    std::wstring texts;
    LRESULT check = -1;
    Run([&](HWND page) {
        texts = Text(page, IDC_GPS_EMAIL) + Text(page, IDC_GPS_KEY) + Text(page, IDC_GPS_SERVICE) +
                Text(page, IDC_GPS_MAP);
        check = SendDlgItemMessageW(page, IDC_GPS_AUTOMAP, BM_GETCHECK, 0, 0);
        SendMessageW(page, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(L"", texts);
    EXPECT_EQ(BST_UNCHECKED, check);
    for (const wchar_t* name : {L"AppEmail", L"AppKey", L"WSUrl", L"MapUrl"})
        EXPECT_EQ(L"", Stored(name));
    DWORD autoMap = 7;
    ASSERT_TRUE(ReadDWORD(L"AutoMapAfterStart", autoMap));
    EXPECT_EQ(0u, autoMap);
}

TEST_F(GpsPageTest, OkStoresTheTextsAsTypedAndTheCheckBoxAsOneOrZero) {
    const wchar_t* service =
        L"http://127.0.0.1:8080/svc?keyName={APPNAME}&hash={HASH}&lac={LAC}&cellId={CELLID}";
    // The web-service settings are cached until the item reloads its settings.
    EXPECT_EQ(L"", GpsSettings::Instance().GetAppEmail());
    Run([&](HWND page) {
        Fill(page, L" uzivatel@example.cz ", L"klíč s mezerou", service, L"mapa {LAT},{LON}", true);
        SendMessageW(page, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(L" uzivatel@example.cz ", Stored(L"AppEmail"));
    EXPECT_EQ(L"klíč s mezerou", Stored(L"AppKey"));
    EXPECT_EQ(service, Stored(L"WSUrl"));
    EXPECT_EQ(L"mapa {LAT},{LON}", Stored(L"MapUrl"));
    DWORD autoMap = 7;
    ASSERT_TRUE(ReadDWORD(L"AutoMapAfterStart", autoMap));
    EXPECT_EQ(1u, autoMap);
    EXPECT_EQ(L" uzivatel@example.cz ", GpsSettings::Instance().GetAppEmail());
    EXPECT_TRUE(GpsSettings::Instance().GetAutoMapAfterStart());

    // The next showing loads them back; unchecking stores 0.
    std::wstring email;
    LRESULT check = -1;
    Run([&](HWND page) {
        email = Text(page, IDC_GPS_EMAIL);
        check = SendDlgItemMessageW(page, IDC_GPS_AUTOMAP, BM_GETCHECK, 0, 0);
        SendDlgItemMessageW(page, IDC_GPS_AUTOMAP, BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageW(page, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(L" uzivatel@example.cz ", email);
    EXPECT_EQ(BST_CHECKED, check);
    ASSERT_TRUE(ReadDWORD(L"AutoMapAfterStart", autoMap));
    EXPECT_EQ(0u, autoMap);
}

TEST_F(GpsPageTest, LeavingThePageStoresAndLetsItGoOtherNotificationsStoreNothing) {
    LRESULT killResult = -1, applyResult = -1;
    std::wstring afterApply, afterKill;
    Run([&](HWND page) {
        Fill(page, L"a@b.cz", L"k", L"u", L"m", true);
        NMHDR header = {page, 0, static_cast<UINT>(PSN_APPLY)};
        applyResult = SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
        afterApply = Stored(L"AppEmail");

        header.code = static_cast<UINT>(PSN_KILLACTIVE);
        // What the sheet sees: the message result, FALSE lets the user leave the page.
        killResult = SendMessageW(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
        afterKill = Stored(L"AppEmail");
        SendMessageW(page, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(0, applyResult);
    EXPECT_EQ(L"", afterApply);
    EXPECT_EQ(FALSE, killResult);
    EXPECT_EQ(L"a@b.cz", afterKill);
    DWORD autoMap = 7;
    ASSERT_TRUE(ReadDWORD(L"AutoMapAfterStart", autoMap));
    EXPECT_EQ(1u, autoMap);
}

} // namespace

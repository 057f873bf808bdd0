// The sources page: loading from the registry, editing the list, storing it back.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "CVORegistry.h"
#include "SourcesPageHarness.h"
#include "aygshell.h"
#include "resource.h"

namespace {

using Row = std::pair<std::wstring, std::wstring>;
using Rows_ = std::vector<Row>;

const wchar_t* const CardName = L"kestrel page card";

class SourcesPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteSourcesKey();
        reloadCount = 0;
        reloadedItem = nullptr;
        // No storage card unless a test makes one.
        SetEnvironmentVariableW(L"KESTREL_FLASHCARDS", CardName);
    }
    void TearDown() override {
        DeleteSourcesKey();
        SetEnvironmentVariableW(L"KESTREL_FLASHCARDS", nullptr);
        RemoveDirectoryW((std::wstring(L"\\") + CardName).c_str());
    }

    // Tap and hold on a row (or anywhere in the list) as the device's list view reports it.
    void TapAndHold(HWND page, POINT client) {
        HWND list = GetDlgItem(page, IDC_BTSDB_SOURCES);
        struct {
            NMHDR hdr;
            POINT ptAction;
            DWORD dwItemSpec;
        } info = {};
        info.hdr.hwndFrom = list;
        info.hdr.idFrom = IDC_BTSDB_SOURCES;
        info.hdr.code = GN_CONTEXTMENU;
        info.ptAction = client;
        ClientToScreen(list, &info.ptAction);
        SendMessageW(page, WM_NOTIFY, IDC_BTSDB_SOURCES, reinterpret_cast<LPARAM>(&info));
        DeliverPosted();
    }
    POINT RowPoint(HWND page, int row) {
        RECT rect = {};
        rect.left = LVIR_LABEL;
        SendMessageW(GetDlgItem(page, IDC_BTSDB_SOURCES), LVM_GETITEMRECT, row,
                     reinterpret_cast<LPARAM>(&rect));
        return {rect.left + 2, (rect.top + rect.bottom) / 2};
    }
    // Chooses "Upravit" (0) or "Smazat" (1) from the row's menu.
    bool ChooseFromMenu(HWND page, int row, int index) {
        MenuChooser chooser(index);
        TapAndHold(page, RowPoint(page, row));
        return chooser.Chose();
    }

    CTodayWindow item;
};

TEST_F(SourcesPageTest, FreshInstallationShowsAndStoresTheDefaultFolder) {
    TestPage page(&item);
    HWND window = page.Open();
    ASSERT_TRUE(window);
    EXPECT_EQ(L"\\GsmDB\\", ControlText(window, IDC_BTSDB_FOLDER));
    EXPECT_EQ(L"\\GsmDB\\", StoredFolder());
    EXPECT_TRUE(Rows(window).empty());
    EXPECT_FALSE(Visible(window, IDC_BTSDB_PROGRESS));
    EXPECT_FALSE(Visible(window, IDC_BTSDB_LOG));
}

TEST_F(SourcesPageTest, DefaultFolderIsOnTheStorageCardWhenThereIsOne) {
    CreateDirectoryW((std::wstring(L"\\") + CardName).c_str(), nullptr);
    TestPage page(&item);
    HWND window = page.Open();
    std::wstring expected = std::wstring(L"\\") + CardName + L"\\GsmDB\\";
    EXPECT_EQ(expected, ControlText(window, IDC_BTSDB_FOLDER));
    EXPECT_EQ(expected, StoredFolder());
}

TEST_F(SourcesPageTest, SourcesWithUrlsAreListedInDescendingOrder) {
    StoreSource(L"23001", L"http://a.example/23001.csv");
    StoreSource(L"23002", L"http://a.example/23002.csv");
    StoreSource(L"23003", nullptr);
    {
        CVORegistry key(HKEY_LOCAL_MACHINE, SourcesKeyPath, FALSE);
        key.SetStringValue(L"GSMDirectory", L"\\Storage\\GsmDB\\");
    }
    TestPage page(&item);
    HWND window = page.Open();
    Rows_ expected = {{L"23002", L"http://a.example/23002.csv"},
                      {L"23001", L"http://a.example/23001.csv"}};
    EXPECT_EQ(expected, Rows(window));
    EXPECT_EQ(L"\\Storage\\GsmDB\\", ControlText(window, IDC_BTSDB_FOLDER));
    // Columns of a quarter and three quarters of the list's width.
    HWND list = GetDlgItem(window, IDC_BTSDB_SOURCES);
    RECT client = {};
    GetClientRect(list, &client);
    EXPECT_EQ(client.right / 4, SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0));
    EXPECT_EQ(client.right * 3 / 4, SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0));
}

TEST_F(SourcesPageTest, AddReplacesTheUrlOfAListedNetIdOrAddsInSortedPosition) {
    StoreSource(L"23001", L"http://old.example/23001.csv");
    TestPage page(&item);
    HWND window = page.Open();

    SetControlText(window, IDC_BTSDB_NETID, L"23001");
    SetControlText(window, IDC_BTSDB_URL, L"http://new.example/23001.csv");
    page.Command(IDC_BTSDB_ADD);
    EXPECT_EQ((Rows_{{L"23001", L"http://new.example/23001.csv"}}), Rows(window));
    EXPECT_EQ(L"", ControlText(window, IDC_BTSDB_NETID));
    EXPECT_EQ(L"", ControlText(window, IDC_BTSDB_URL));

    SetControlText(window, IDC_BTSDB_NETID, L"23005");
    SetControlText(window, IDC_BTSDB_URL, L"http://a.example/5");
    page.Command(IDC_BTSDB_ADD);
    SetControlText(window, IDC_BTSDB_NETID, L"23000");
    SetControlText(window, IDC_BTSDB_URL, L"http://a.example/0");
    page.Command(IDC_BTSDB_ADD);
    Rows_ expected = {{L"23005", L"http://a.example/5"},
                      {L"23001", L"http://new.example/23001.csv"},
                      {L"23000", L"http://a.example/0"}};
    EXPECT_EQ(expected, Rows(window));
    // Nothing reaches the registry before the page stores its values.
    EXPECT_EQ(1u, StoredSources().size());
}

TEST_F(SourcesPageTest, AddWithAnEmptyFieldSaysSoAndAddsNothing) {
    TestPage page(&item);
    HWND window = page.Open();
    SetControlText(window, IDC_BTSDB_NETID, L"23009");
    BoxAnswerer noUrl({IDOK});
    page.Command(IDC_BTSDB_ADD);
    SetControlText(window, IDC_BTSDB_NETID, L"");
    SetControlText(window, IDC_BTSDB_URL, L"http://a.example/9");
    BoxAnswerer noNetId({IDOK});
    page.Command(IDC_BTSDB_ADD);
    for (auto& seen : {noUrl.Seen(), noNetId.Seen()}) {
        ASSERT_EQ(1u, seen.size());
        EXPECT_TRUE(seen[0].found);
        EXPECT_EQ(L"Kestrel", seen[0].caption);
        EXPECT_EQ(L"Nelze přidat položku, protože není vyplněné Net Id nebo url", seen[0].text);
    }
    EXPECT_TRUE(Rows(window).empty());
    EXPECT_EQ(L"http://a.example/9", ControlText(window, IDC_BTSDB_URL));
}

TEST_F(SourcesPageTest, MenuOfARowEditsOrDeletesItAfterConfirmation) {
    StoreSource(L"23001", L"http://a.example/1");
    StoreSource(L"23002", L"http://a.example/2");
    TestPage page(&item);
    HWND window = page.Open();

    ASSERT_TRUE(ChooseFromMenu(window, 1, 0));
    EXPECT_EQ(L"23001", ControlText(window, IDC_BTSDB_NETID));
    EXPECT_EQ(L"http://a.example/1", ControlText(window, IDC_BTSDB_URL));

    // A desktop list view's right click opens the same menu.
    SetControlText(window, IDC_BTSDB_NETID, L"");
    {
        MenuChooser chooser(0);
        NMITEMACTIVATE click = {};
        click.hdr.hwndFrom = GetDlgItem(window, IDC_BTSDB_SOURCES);
        click.hdr.idFrom = IDC_BTSDB_SOURCES;
        click.hdr.code = static_cast<UINT>(NM_RCLICK);
        click.ptAction = RowPoint(window, 0);
        SendMessageW(window, WM_NOTIFY, IDC_BTSDB_SOURCES, reinterpret_cast<LPARAM>(&click));
        DeliverPosted();
        ASSERT_TRUE(chooser.Chose());
    }
    EXPECT_EQ(L"23002", ControlText(window, IDC_BTSDB_NETID));

    {
        BoxAnswerer cancel({IDCANCEL});
        ASSERT_TRUE(ChooseFromMenu(window, 0, 1));
        auto seen = cancel.Seen();
        ASSERT_TRUE(seen[0].found);
        EXPECT_EQ(L"Opravdu smazat položku?", seen[0].text);
        EXPECT_EQ(L"Kestrel", seen[0].caption);
    }
    EXPECT_EQ(2u, Rows(window).size());

    {
        BoxAnswerer confirm({IDOK});
        ASSERT_TRUE(ChooseFromMenu(window, 0, 1));
        EXPECT_TRUE(confirm.Seen()[0].found);
    }
    EXPECT_EQ((Rows_{{L"23001", L"http://a.example/1"}}), Rows(window));

    // A tap and hold below the rows opens no menu; the commands then have no row to act on.
    TapAndHold(window, {5, 200});
    EXPECT_FALSE(FindWindowW(L"#32768", nullptr) &&
                 IsWindowVisible(FindWindowW(L"#32768", nullptr)));
    page.Command(IDM_BTSDB_DELETE);
    EXPECT_EQ(1u, Rows(window).size());
}

TEST_F(SourcesPageTest, StoringWritesExactlyTheListedSourcesAndReloadsTheItem) {
    StoreSource(L"23001", L"http://a.example/1");
    StoreSource(L"23002", L"http://a.example/2");
    StoreSource(L"23003", L"http://a.example/3");
    TestPage page(&item);
    HWND window = page.Open();
    HWND list = GetDlgItem(window, IDC_BTSDB_SOURCES);

    SendMessageW(list, LVM_DELETEITEM, 1, 0);
    SetControlText(window, IDC_BTSDB_FOLDER, L"\\Storage Card\\Db\\");
    page.Command(IDOK);
    std::map<std::wstring, std::wstring> expected = {{L"23001", L"http://a.example/1"},
                                                     {L"23003", L"http://a.example/3"}};
    EXPECT_EQ(expected, StoredSources());
    EXPECT_EQ(L"\\Storage Card\\Db\\", StoredFolder());
    EXPECT_EQ(1, reloadCount);
    EXPECT_EQ(&item, reloadedItem);
    // OK only stores: the page stays.
    EXPECT_TRUE(IsWindow(window));

    // Leaving the page stores as well; an emptied list removes every source, and an empty
    // folder edit stores the default folder.
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    SetControlText(window, IDC_BTSDB_FOLDER, L"");
    NMHDR leave = {window, 0, static_cast<UINT>(PSN_KILLACTIVE)};
    SendMessageW(window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&leave));
    EXPECT_TRUE(StoredSources().empty());
    EXPECT_EQ(L"\\GsmDB\\", StoredFolder());
    EXPECT_EQ(2, reloadCount);
}

} // namespace

// "Stáhnout vše": every source downloaded from a local HTTP server into the database folder.

#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "CSVReader.h"
#include "DatabaseFolder.h"
#include "RecordingHttpServer.h"
#include "RefService.h"
#include "SourcesPageHarness.h"
#include "TestSupport.h"
#include "resource.h"

namespace {

const wchar_t* const Folder = L"\\kestrel_download\\GsmDB\\";

const char* const Database23001 = "230;01;100;1001;Praha 1;50.08;14.42;33\r\n";
const char* const Database23003 = "230;03;200;2001;Brno;49.19;16.60;61\r\n";

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteSourcesKey();
        served = TestFolder(L"kestrel_served_databases");
        WriteFileBytes(served + L"23001.csv", Database23001);
        WriteFileBytes(served + L"23003.csv", Database23003);
        service.SetFilesFolder(served);
        ASSERT_TRUE(server.Start(0));
        ClearFolder();
        CreateDirectoryW(L"\\kestrel_download", nullptr);
    }
    void TearDown() override {
        server.Stop();
        ClearFolder();
        RemoveDirectoryW(L"\\kestrel_download");
        DeleteSourcesKey();
    }
    void ClearFolder() {
        for (const wchar_t* name : {L"23001.csv", L"23002.csv", L"23003.csv", L"23001.csv.part",
                                    L"23002.csv.part", L"23003.csv.part"}) {
            DeleteFileW((std::wstring(Folder) + name).c_str());
        }
        RemoveDirectoryW(Folder);
    }
    std::wstring Url(const char* path) {
        std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + path;
        return std::wstring(url.begin(), url.end());
    }
    void OpenPageWithFolder(const wchar_t* folder) {
        // After SetUp: the page opens its registry key when it is made.
        page = std::make_unique<TestPage>(&item);
        window = page->Open();
        ASSERT_TRUE(window);
        SetControlText(window, IDC_BTSDB_FOLDER, folder);
    }
    void ExpectEditingView() {
        EXPECT_TRUE(Visible(window, IDC_BTSDB_SOURCES));
        EXPECT_TRUE(Visible(window, IDC_BTSDB_DOWNLOAD));
        EXPECT_TRUE(Visible(window, IDC_BTSDB_FOLDER));
        EXPECT_FALSE(Visible(window, IDC_BTSDB_PROGRESS));
        EXPECT_FALSE(Visible(window, IDC_BTSDB_LOG));
        EXPECT_TRUE(LogLines(window).empty());
    }
    std::vector<dialog_driver::MessageBoxSeen> DownloadAnswering(size_t boxes) {
        BoxAnswerer answerer(std::vector<int>(boxes, IDOK));
        page->Command(IDC_BTSDB_DOWNLOAD);
        return answerer.Seen();
    }

    StandInSettings standIns;
    std::wstring served;
    RefService service;
    RecordingHttpServer server{service};
    CTodayWindow item;
    std::unique_ptr<TestPage> page;
    HWND window = nullptr;
};

TEST_F(DownloadTest, EverySourceLandsAsItsNetIdAndAFailedOneKeepsThePreviousCopy) {
    StoreSource(L"23001", Url("/files/23001.csv").c_str());
    StoreSource(L"23002", Url("/files/missing.csv?net=23002").c_str());
    StoreSource(L"23003", Url("/files/23003.csv").c_str());
    OpenPageWithFolder(Folder);
    CreateDirectoryW(Folder, nullptr);
    WriteFileBytes(std::wstring(Folder) + L"23002.csv", "previous copy");

    auto seen = DownloadAnswering(1);
    EXPECT_TRUE(seen[0].found);
    EXPECT_EQ(L"Kestrel", seen[0].caption);
    EXPECT_EQ(L"Chyba při stahování souboru " + Url("/files/missing.csv?net=23002"), seen[0].text);

    EXPECT_EQ(Database23001, ReadFileBytes(std::wstring(Folder) + L"23001.csv"));
    EXPECT_EQ(Database23003, ReadFileBytes(std::wstring(Folder) + L"23003.csv"));
    EXPECT_EQ("previous copy", ReadFileBytes(std::wstring(Folder) + L"23002.csv"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesW((std::wstring(Folder) + L"23002.csv.part").c_str()));

    // The last row (23001) first; each request with its own cache-busting parameter.
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_TRUE(std::regex_match(requests[0], std::regex("/files/23001\\.csv\\?dummy=\\d+")))
        << requests[0];
    EXPECT_TRUE(
        std::regex_match(requests[1], std::regex("/files/missing\\.csv\\?net=23002&dummy=\\d+")))
        << requests[1];
    EXPECT_TRUE(std::regex_match(requests[2], std::regex("/files/23003\\.csv\\?dummy=\\d+")))
        << requests[2];

    // Progress reached the bar while the download view was shown; by the last file the log
    // held a block for each file, newest on top.
    ASSERT_FALSE(page->progress.empty());
    bool barFilled = false;
    for (const ProgressSeen& report : page->progress) {
        EXPECT_FALSE(report.editingViewShown);
        barFilled = barFilled || (report.progressMax > 0 &&
                                  report.barMaximum == static_cast<int>(report.progressMax) &&
                                  report.barPosition == static_cast<int>(report.progress));
    }
    EXPECT_TRUE(barFilled);
    std::vector<std::wstring> log = page->progress.back().log;
    std::vector<std::wstring> expected = {
        L"Stahování...", L"23003.csv", L"-------------", L"!!!Chyba!!!",
        L"Stahování...", L"23002.csv", L"-------------", L"Stahování dokončeno.",
        L"Stahování...", L"23001.csv"};
    EXPECT_EQ(expected, log);
    ExpectEditingView();
}

TEST_F(DownloadTest, NetIdThatIsNoPlainFileNameIsNotDownloaded) {
    StoreSource(L"23001", Url("/files/23001.csv").c_str());
    StoreSource(L"../23003", Url("/files/23003.csv").c_str());
    OpenPageWithFolder(Folder);
    auto seen = DownloadAnswering(1);
    ASSERT_TRUE(seen[0].found);
    EXPECT_EQ(L"Chyba při stahování souboru " + Url("/files/23003.csv"), seen[0].text);
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_EQ(0u, server.Requests()[0].find("/files/23001.csv?dummy="));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"\\kestrel_download\\23003.csv"));
    EXPECT_EQ(Database23001, ReadFileBytes(std::wstring(Folder) + L"23001.csv"));
}

TEST_F(DownloadTest, NoConnectionRequestsNothing) {
    standIns.Set(L"FAILSTATUS", L"0x21");
    StoreSource(L"23001", Url("/files/23001.csv").c_str());
    OpenPageWithFolder(Folder);
    auto seen = DownloadAnswering(1);
    ASSERT_TRUE(seen[0].found);
    EXPECT_EQ(L"Kestrel", seen[0].caption);
    EXPECT_EQ(L"Nelze se připojit k internetu!", seen[0].text);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES,
              GetFileAttributesW((std::wstring(Folder) + L"23001.csv").c_str()));
    ExpectEditingView();
}

TEST_F(DownloadTest, FolderMustBeGivenAndCreatable) {
    StoreSource(L"23001", Url("/files/23001.csv").c_str());
    OpenPageWithFolder(L"");
    auto empty = DownloadAnswering(1);
    ASSERT_TRUE(empty[0].found);
    EXPECT_EQ(L"Není zadána složka, do které mají být ukládány soubory!", empty[0].text);

    SetControlText(window, IDC_BTSDB_FOLDER, L"\\kestrel_no_parent\\GsmDB\\");
    auto uncreatable = DownloadAnswering(1);
    ASSERT_TRUE(uncreatable[0].found);
    EXPECT_EQ(L"Kestrel", uncreatable[0].caption);
    EXPECT_EQ(L"Nepodařilo se vytvořit složku, do které mají být ukládány soubory!",
              uncreatable[0].text);
    EXPECT_TRUE(server.Requests().empty());
    ExpectEditingView();
}

TEST_F(DownloadTest, MissingFolderIsCreatedAndAnEmptyListDownloadsNothing) {
    OpenPageWithFolder(Folder);
    page->Command(IDC_BTSDB_DOWNLOAD);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(DirectoryExists(Folder));

    SetControlText(window, IDC_BTSDB_NETID, L"23001");
    SetControlText(window, IDC_BTSDB_URL, Url("/files/23001.csv").c_str());
    page->Command(IDC_BTSDB_ADD);
    page->Command(IDC_BTSDB_DOWNLOAD);
    EXPECT_EQ(Database23001, ReadFileBytes(std::wstring(Folder) + L"23001.csv"));
    ExpectEditingView();
}

// The reference service writes each network's database from its cells; the page downloads it
// like any other source and the reader finds the cells in it, also the one whose id occurs in
// the other line.
TEST_F(DownloadTest, ConvertedDatabaseFromTheReferenceService) {
    service.Cells().AddCsv("GSM,230,1,100,1234,0,14.4312,50.0812,900,3,1,0,1600000000,0\n"
                           "GSM,230,1,100,12,0,14.4212,50.0874,800,12,1,0,1600000000,0\n"
                           "LTE,230,3,200,26283273,0,16.6,49.2,1000,4,1,0,1600000000,0\n");
    StoreSource(L"23001", Url("/gsmdb/23001.csv").c_str());
    StoreSource(L"23003", Url("/gsmdb/23003.csv").c_str());
    OpenPageWithFolder(Folder);
    page->Command(IDC_BTSDB_DOWNLOAD);
    ExpectEditingView();
    EXPECT_EQ(service.Handle("/gsmdb/23001.csv").body,
              ReadFileBytes(std::wstring(Folder) + L"23001.csv"));
    CSVReader reader(Folder);
    BtsRecord twelve = reader.GetExtendedInformation(L"100", L"12", L"23001");
    EXPECT_EQ(L"12", twelve[1]);
    EXPECT_EQ(L"50.0874", twelve[8]);
    EXPECT_EQ(L"1234", reader.GetExtendedInformation(L"100", L"1234", L"23001")[1]);
    EXPECT_EQ(L"LTE eNB 102669/9", reader.GetExtendedInformation(L"200", L"26283273", L"23003")[5]);
}

} // namespace

#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <string>

#include "RecordingHttpServer.h"
#include "RefService.h"

namespace {

class RefServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        service.Cells().AddCsv("radio,mcc,net,area,cell,unit,lon,lat,range\n"
                               "GSM,230,1,100,1001,0,14.421254,50.087465,800\r\n"
                               "GSM,230,1,oops,1002,0,14.4,50.0,800\n"
                               "UMTS,230,3,200,2001,0,16.607960,49.195060,1500,11,1\n");
        service.AddKey("user@example", "SECRET");
        service.AddKey("once@example", "ONCE", 1);
    }
    std::string Ask(const std::string& key, const std::string& code, const std::string& nc,
                    const std::string& lac, const std::string& cell) {
        return service
            .Handle("/KestrelService.Svc/GSMTEST/GsmQuery?keyName=" + key +
                    "&hash=" + RefService::ExpectedHash(code, cell) + "&networkCode=" + nc +
                    "&lac=" + lac + "&cellId=" + cell)
            .body;
    }
    static std::string Code(const std::string& xml) {
        size_t at = xml.find("<ErrorCode>");
        return xml.substr(at + 11, xml.find("</ErrorCode>") - at - 11);
    }
    RefService service;
};

} // namespace

TEST_F(RefServiceTest, HashIsBase64UrlOfMd5) {
    EXPECT_EQ("kAFQmDzST7DWlj99KOF_cg", RefService::ExpectedHash("ab", "c"));
    EXPECT_EQ(22u, RefService::ExpectedHash("", "").size());
}

TEST_F(RefServiceTest, CsvInOpenCellIdLayout) {
    EXPECT_EQ(2u, service.Cells().Size());
    CellDatabase::Position position;
    ASSERT_TRUE(service.Cells().Find("23003", 200, 2001, position));
    EXPECT_EQ("49.195060", position.lat);
    EXPECT_EQ("16.607960", position.lon);
    EXPECT_FALSE(service.Cells().Find("23001", 100, 1002, position));
}

TEST_F(RefServiceTest, ServiceCodes) {
    std::string found = Ask("user@example", "SECRET", "23001", "100", "1001");
    EXPECT_EQ("0", Code(found));
    EXPECT_NE(std::string::npos, found.find("<a:LAT>50.087465</a:LAT><a:LON>14.421254</a:LON>"));
    EXPECT_NE(std::string::npos,
              found.find("xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\""));
    EXPECT_EQ("1", Code(Ask("user@example", "WRONG", "23001", "100", "1001")));
    EXPECT_EQ("1", Code(Ask("nobody@example", "SECRET", "23001", "100", "1001")));
    EXPECT_EQ("2", Code(Ask("user@example", "SECRET", "23001", "x", "1001")));
    EXPECT_EQ("2", Code(Ask("user@example", "SECRET", "230", "100", "1001")));
    EXPECT_EQ("2", Code(service.Handle("/a/GsmQuery?keyName=user@example").body));
    EXPECT_EQ("1001", Code(Ask("user@example", "SECRET", "23001", "100", "9999")));
    EXPECT_EQ("1001", Code(Ask("once@example", "ONCE", "23001", "100", "9999")));
    EXPECT_EQ("3", Code(Ask("once@example", "ONCE", "23001", "100", "1001")));
}

// LTE, UMTS and NR cells answer as GSM cells do, with their area and cell id; NR ids take
// 36 bits.
TEST_F(RefServiceTest, EveryRadioAnswersByAreaAndCellId) {
    service.Cells().AddCsv("LTE,230,1,300,268435455,0,14.5,50.1,100,1,1,0,0,0\n"
                           "NR,230,1,16777215,68719476735,0,14.6,50.2,100,1,1,0,0,0\n");
    EXPECT_EQ("0", Code(Ask("user@example", "SECRET", "23003", "200", "2001")));
    std::string lte = Ask("user@example", "SECRET", "23001", "300", "268435455");
    EXPECT_NE(std::string::npos, lte.find("<a:LAT>50.1</a:LAT><a:LON>14.5</a:LON>")) << lte;
    std::string nr = Ask("user@example", "SECRET", "23001", "16777215", "68719476735");
    EXPECT_NE(std::string::npos, nr.find("<a:LAT>50.2</a:LAT>")) << nr;
    EXPECT_EQ("1001", Code(Ask("user@example", "SECRET", "23001", "300", "4294967295")));
}

// Each network's BTS database, written from the loaded cells.
TEST_F(RefServiceTest, BtsDatabasePerNetwork) {
    HttpReply database = service.Handle("/gsmdb/23001.csv?dummy=17");
    EXPECT_EQ(200, database.status);
    EXPECT_EQ("text/csv", database.contentType);
    EXPECT_EQ("1001;GSM;100;;GSM 1001;;\xB1"
              "800\xA0m;50.08746;14.42125\r\n",
              database.body);
    EXPECT_EQ(0u, service.Handle("/gsmdb/23003.csv").body.find("2001;UMTS;200;"));
    EXPECT_EQ(404, service.Handle("/gsmdb/23002.csv").status);
    EXPECT_EQ(404, service.Handle("/gsmdb/230001.csv").status);
    EXPECT_EQ(404, service.Handle("/gsmdb/../23001.csv").status);
}

TEST_F(RefServiceTest, AbsoluteTargetFilesAndMap) {
    EXPECT_EQ("0", Code(service
                            .Handle("http://cells.example/S/GsmQuery?keyName=user@example&hash=" +
                                    RefService::ExpectedHash("SECRET", "1001") +
                                    "&networkCode=23001&lac=100&cellId=1001")
                            .body));
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    service.SetFilesFolder(folder);
    std::wstring path = std::wstring(folder) + L"refservice_test.csv";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, "a;b\r\n", 5, &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ("a;b\r\n", service.Handle("/files/refservice_test.csv").body);
    EXPECT_EQ(404, service.Handle("/files/../refservice_test.csv").status);
    EXPECT_EQ(404, service.Handle("/files/missing.csv").status);
    DeleteFileW(path.c_str());

    HttpReply map = service.Handle("/map?lat=50.087465&lon=14.421254");
    EXPECT_EQ("image/png", map.contentType);
    EXPECT_EQ(0u, map.body.find("\x89PNG\r\n\x1a\n"));
}

// A name Windows takes as a device would open it (COM1 is a serial port under Wine, and
// reading it blocks): only plain files inside the folder are served.
TEST_F(RefServiceTest, FilesAreOnlyPlainFilesInsideTheFolder) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"refservice_files";
    CreateDirectoryW(folder.c_str(), nullptr);
    CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
    const std::wstring file = folder + L"\\sub\\23001.csv";
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(handle, "a;b\r\n", 5, &written, nullptr);
    CloseHandle(handle);
    service.SetFilesFolder(folder);

    EXPECT_EQ("a;b\r\n", service.Handle("/files/sub/23001.csv").body);
    for (const char* name : {"NUL",
                             "nul.csv",
                             "COM1",
                             "com9.txt",
                             "LPT1",
                             "AUX",
                             "CON",
                             "PRN.csv",
                             "CONOUT$",
                             "COM%C2%B9",
                             "sub/COM1",
                             "NUL%20.csv",
                             "sub",
                             "sub/",
                             "sub//23001.csv",
                             "sub/23001.csv.",
                             "sub/23001.csv%20",
                             "sub/./23001.csv",
                             "sub/%2e%2e/sub/23001.csv",
                             "sub%5C23001.csv",
                             "C%3A%5Cwindows%5Cwin.ini",
                             "sub/2300%2A.csv",
                             "%FF"}) {
        EXPECT_EQ(404, service.Handle(std::string("/files/") + name).status) << name;
    }
    DeleteFileW(file.c_str());
    RemoveDirectoryW((folder + L"\\sub").c_str());
    RemoveDirectoryW(folder.c_str());
}

// Written once for the loaded cells, and again when cells are added.
TEST_F(RefServiceTest, BtsDatabaseIsWrittenOncePerLoadedData) {
    HttpReply first = service.Answer("/gsmdb/23001.csv");
    ASSERT_TRUE(first.sharedBody);
    EXPECT_EQ(first.sharedBody, service.Answer("/gsmdb/23001.csv").sharedBody);
    EXPECT_EQ(*first.sharedBody, service.Handle("/gsmdb/23001.csv").body);
    service.Cells().AddCsv("GSM,230,1,100,1009,0,14.5,50.1,800\n");
    HttpReply after = service.Answer("/gsmdb/23001.csv");
    EXPECT_NE(std::string::npos, after.Body().find("1009;GSM;100;"));
    EXPECT_NE(std::string::npos, after.Body().find("1001;GSM;100;"));
}

TEST_F(RefServiceTest, AnswersOverHttp) {
    RecordingHttpServer server(service);
    ASSERT_TRUE(server.Start(0));
    HINTERNET internet = InternetOpenW(L"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(server.Port()) +
                       L"/S/GsmQuery?keyName=user@example&hash=" + std::wstring(L"x") +
                       L"&networkCode=23001&lac=100&cellId=1001";
    HINTERNET request =
        InternetOpenUrlW(internet, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
    ASSERT_NE(nullptr, request);
    char buffer[4096];
    DWORD read = 0;
    std::string body;
    while (InternetReadFile(request, buffer, sizeof(buffer), &read) && read > 0) {
        body.append(buffer, read);
    }
    InternetCloseHandle(request);
    InternetCloseHandle(internet);
    EXPECT_EQ("1", Code(body));
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_EQ(0u, server.Requests()[0].find("/S/GsmQuery?keyName=user@example"));
    server.Stop();
}

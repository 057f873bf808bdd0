#include <gtest/gtest.h>

#include <stdexcept>

#include "RecordingHttpServer.h"
#include "InternetRestProtocolImplementor.h"
#include "TestSupport.h"

#include <wininet.h>

namespace {

class RestTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = TestFolder(L"kestrel_rest");
        service.SetFilesFolder(folder);
        ASSERT_TRUE(server.Start(0));
        base = L"http://127.0.0.1:" + std::to_wstring(server.Port());
    }
    std::string Get(const std::wstring& url) {
        InternetRestProtocolImplementor rest;
        return rest.GetResource(url);
    }

    StandInSettings standIn;
    RefService service;
    RecordingHttpServer server{service};
    std::wstring folder;
    std::wstring base;
};

// Asks for the download to stop at the first progress report.
class AbortingCallback : public IBindStatusCallback {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return E_ABORT; }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
};

} // namespace

TEST_F(RestTest, LargeAndEmptyBodiesComeWhole) {
    std::string large;
    for (int i = 0; i < 10000; ++i) {
        large += static_cast<char>('A' + i % 26);
        if (i % 1000 == 0) {
            large += std::to_string(i);
        }
    }
    WriteFileBytes(folder + L"large.txt", large);
    WriteFileBytes(folder + L"empty.txt", "");
    EXPECT_EQ(large, Get(base + L"/files/large.txt"));
    EXPECT_EQ("", Get(base + L"/files/empty.txt"));
}

TEST_F(RestTest, SecondGetSeesChangedContent) {
    WriteFileBytes(folder + L"changing.txt", "first");
    EXPECT_EQ("first", Get(base + L"/files/changing.txt"));
    WriteFileBytes(folder + L"changing.txt", "second");
    EXPECT_EQ("second", Get(base + L"/files/changing.txt"));
    EXPECT_EQ(2u, server.Requests().size());
    EXPECT_EQ("GSM .Kestrel", server.UserAgents()[1]);
}

TEST_F(RestTest, NoCacheEntryStays) {
    WriteFileBytes(folder + L"cached.txt", "body");
    std::wstring url = base + L"/files/cached.txt";
    EXPECT_EQ("body", Get(url));
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(RestTest, FailuresRaiseTheDownloadError) {
    standIn.Set(L"FAILSTATUS", L"0x21");
    try {
        Get(base + L"/files/x.txt");
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ("Download form url error", error.what());
    }
    EXPECT_TRUE(server.Requests().empty());

    standIn.Set(L"FAILSTATUS", nullptr);
    HttpServer closed(service);
    ASSERT_TRUE(closed.Start(0));
    std::wstring nobody = L"http://127.0.0.1:" + std::to_wstring(closed.Port()) + L"/files/x";
    closed.Stop();
    EXPECT_THROW(Get(nobody), std::runtime_error);
}

TEST_F(RestTest, ProxyFromTheConnectionIsUsed) {
    WriteFileBytes(folder + L"via.txt", "through the proxy");
    standIn.Set(L"PROXYSERVER", (L"127.0.0.1:" + std::to_wstring(server.Port())).c_str());
    EXPECT_EQ("through the proxy", Get(L"http://cells.kestrel.invalid/files/via.txt"));
    ASSERT_EQ(1u, server.Requests().size());
    // The proxy got the absolute URL (WinInet may add the default port).
    EXPECT_EQ(0u, server.Requests()[0].find("http://cells.kestrel.invalid"));
    EXPECT_NE(std::string::npos, server.Requests()[0].find("/files/via.txt"));

    // A provider answer of another type means no proxy: the request goes out directly.
    standIn.Set(L"PROXYTYPE", L"2");
    EXPECT_EQ("through the proxy", Get(base + L"/files/via.txt"));
    EXPECT_EQ("/files/via.txt", server.Requests()[1]);
}

TEST_F(RestTest, DownloadToFileTrueOnlyOnSuccess) {
    WriteFileBytes(folder + L"db.csv", "1;2;3\r\n");
    std::wstring target = TestFolder(L"kestrel_download") + L"db.csv";
    DeleteFileW(target.c_str());
    InternetAccessComponent access;
    EXPECT_TRUE(access.DownloadToFile(base + L"/files/db.csv", target, nullptr));
    EXPECT_EQ("1;2;3\r\n", ReadFileBytes(target));
    HttpServer closed(service);
    ASSERT_TRUE(closed.Start(0));
    std::wstring nobody = L"http://127.0.0.1:" + std::to_wstring(closed.Port()) + L"/files/db.csv";
    closed.Stop();
    EXPECT_FALSE(access.DownloadToFile(nobody, target + L"2", nullptr));
    AbortingCallback abort;
    EXPECT_FALSE(access.DownloadToFile(base + L"/files/db.csv", target + L"3", &abort));
}

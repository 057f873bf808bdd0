// The download's bind status callback: COM identity and what it hands to its receiver.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "StatusCallbackImpl.h"

namespace {

class RecordingReceiver : public IStatusReceiver {
public:
    void OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                    const wchar_t* statusText) override {
        calls.push_back(std::to_wstring(progress) + L"/" + std::to_wstring(progressMax) + L" " +
                        std::to_wstring(statusCode) + L" " + (statusText ? statusText : L"-"));
    }
    std::vector<std::wstring> calls;
};

TEST(StatusCallbackImplTest, AnswersForItsInterfacesOnly) {
    StatusCallbackImpl callback(nullptr);
    void* out = &callback;
    EXPECT_EQ(E_NOINTERFACE, callback.QueryInterface(IID_IStream, &out));
    EXPECT_EQ(nullptr, out);
    ULONG before = callback.GetReferenceCount();
    EXPECT_EQ(S_OK, callback.QueryInterface(IID_IBindStatusCallback, &out));
    EXPECT_EQ(static_cast<IBindStatusCallback*>(&callback), out);
    EXPECT_EQ(S_OK, callback.QueryInterface(IID_IUnknown, &out));
    EXPECT_EQ(S_OK, callback.QueryInterface(IID_IHttpNegotiate, &out));
    EXPECT_EQ(static_cast<IHttpNegotiate*>(&callback), out);
    EXPECT_EQ(before + 3, callback.GetReferenceCount());
    EXPECT_EQ(before + 4, callback.AddRef());
    EXPECT_EQ(before + 3, callback.Release());
    EXPECT_EQ(E_NOTIMPL, callback.GetPriority(nullptr));
    EXPECT_EQ(S_OK, callback.GetBindInfo(nullptr, nullptr));
    // No receiver: progress is taken and dropped.
    EXPECT_EQ(S_OK, callback.OnProgress(1, 2, BINDSTATUS_DOWNLOADINGDATA, L"x"));
}

TEST(StatusCallbackImplTest, ProgressReachesTheReceiverUnchanged) {
    RecordingReceiver receiver;
    StatusCallbackImpl callback(&receiver);
    EXPECT_EQ(S_OK, callback.OnProgress(0, 0, BINDSTATUS_CONNECTING, nullptr));
    EXPECT_EQ(S_OK, callback.OnProgress(4096, 10000, BINDSTATUS_DOWNLOADINGDATA, L"http://h/f"));
    std::vector<std::wstring> expected = {L"0/0 2 -", L"4096/10000 5 http://h/f"};
    EXPECT_EQ(expected, receiver.calls);
}

TEST(StatusCallbackImplTest, OnlyASuccessfulHttpResponseDeliversTheResource) {
    StatusCallbackImpl callback(nullptr);
    EXPECT_TRUE(callback.ResponseDeliveredResource());
    LPWSTR headers = reinterpret_cast<LPWSTR>(&callback);
    EXPECT_EQ(S_OK, callback.BeginningTransaction(L"http://h/f", L"", 0, &headers));
    EXPECT_EQ(nullptr, headers);
    for (DWORD code : {200u, 204u}) {
        callback.OnResponse(code, L"", nullptr, nullptr);
        EXPECT_TRUE(callback.ResponseDeliveredResource()) << code;
    }
    for (DWORD code : {404u, 500u, 304u}) {
        callback.OnResponse(code, L"", nullptr, nullptr);
        EXPECT_FALSE(callback.ResponseDeliveredResource()) << code;
    }
}

} // namespace

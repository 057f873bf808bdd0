#pragma once

#include <windows.h>
#include <urlmon.h>

#include "IStatusReceiver.h"

// The bind status callback of one file's download: hands the progress to a receiver. It lives
// on the stack of the download loop, so reference counting never frees it.
// It also takes the HTTP response code (IHttpNegotiate): the platform download reports an
// error page, such as a 404, as a successful download of that page.
class StatusCallbackImpl : public IBindStatusCallback, public IHttpNegotiate {
public:
    // The receiver is not owned and may be null.
    explicit StatusCallbackImpl(IStatusReceiver* receiver);
    virtual ~StatusCallbackImpl() = default;

    StatusCallbackImpl(const StatusCallbackImpl&) = delete;
    StatusCallbackImpl& operator=(const StatusCallbackImpl&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
    HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                         LPCWSTR statusText) override;
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                              STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID iid, IUnknown* object) override;

    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved,
                                                   LPWSTR* additionalHeaders) override;
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD responseCode, LPCWSTR responseHeaders,
                                         LPCWSTR requestHeaders,
                                         LPWSTR* additionalRequestHeaders) override;

    ULONG GetReferenceCount() const { return referenceCount; }
    // The last HTTP response code, 0 when none came (not an HTTP transfer).
    DWORD GetResponseCode() const { return responseCode; }
    // True unless an HTTP response said the transfer did not deliver the resource.
    bool ResponseDeliveredResource() const;

private:
    IStatusReceiver* receiver;
    ULONG referenceCount = 1;
    DWORD responseCode = 0;
};

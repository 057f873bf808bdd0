#include "StatusCallbackImpl.h"

StatusCallbackImpl::StatusCallbackImpl(IStatusReceiver* receiver) : receiver(receiver) {}

HRESULT StatusCallbackImpl::QueryInterface(REFIID iid, void** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback)) {
        *out = static_cast<IBindStatusCallback*>(this);
        AddRef();
        return S_OK;
    }
    if (IsEqualIID(iid, IID_IHttpNegotiate)) {
        *out = static_cast<IHttpNegotiate*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG StatusCallbackImpl::AddRef() {
    return ++referenceCount;
}

// The object belongs to the stack frame of the download loop.
ULONG StatusCallbackImpl::Release() {
    return --referenceCount;
}

HRESULT StatusCallbackImpl::OnStartBinding(DWORD, IBinding*) {
    return S_OK;
}

HRESULT StatusCallbackImpl::GetPriority(LONG*) {
    return E_NOTIMPL;
}

HRESULT StatusCallbackImpl::OnLowResource(DWORD) {
    return S_OK;
}

HRESULT StatusCallbackImpl::OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                                       LPCWSTR statusText) {
    if (receiver) {
        receiver->OnProgress(progress, progressMax, statusCode, statusText);
    }
    return S_OK;
}

HRESULT StatusCallbackImpl::OnStopBinding(HRESULT, LPCWSTR) {
    return S_OK;
}

HRESULT StatusCallbackImpl::GetBindInfo(DWORD*, BINDINFO*) {
    return S_OK;
}

HRESULT StatusCallbackImpl::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
    return S_OK;
}

HRESULT StatusCallbackImpl::OnObjectAvailable(REFIID, IUnknown*) {
    return S_OK;
}

HRESULT StatusCallbackImpl::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD,
                                                 LPWSTR* additionalHeaders) {
    if (additionalHeaders) {
        *additionalHeaders = nullptr;
    }
    return S_OK;
}

HRESULT StatusCallbackImpl::OnResponse(DWORD code, LPCWSTR, LPCWSTR,
                                       LPWSTR* additionalRequestHeaders) {
    responseCode = code;
    if (additionalRequestHeaders) {
        *additionalRequestHeaders = nullptr;
    }
    return S_OK;
}

bool StatusCallbackImpl::ResponseDeliveredResource() const {
    return responseCode == 0 || (responseCode >= 200 && responseCode < 300);
}

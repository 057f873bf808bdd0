#pragma once

#include <windows.h>

// Receives the progress of a download as IBindStatusCallback::OnProgress gets it.
class IStatusReceiver {
public:
    virtual void OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                            const wchar_t* statusText) = 0;
    virtual ~IStatusReceiver() = default;
};

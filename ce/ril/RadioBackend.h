#pragma once

#include <windows.h>

#include "ResultDelivery.h"
#include "Scenario.h"
#include "ril.h"

// One open radio instance behind an HRIL: the scenario player or a modem. Each query returns
// a command id at once and answers it later through the result callback, on the instance's
// own delivery thread.
class RadioBackend {
public:
    RadioBackend(RILRESULTCALLBACK callback, DWORD parameter);
    virtual ~RadioBackend() = default;
    virtual HRESULT Query(RilQuery query) = 0;

    // Deletes the instance: at once, or, when called from one of its result callbacks, once
    // that callback has returned.
    static void Close(RadioBackend* instance);

protected:
    // Unique across instances and backends, so an id left pending by a closed instance
    // matches nothing.
    static HRESULT NewCommandId();

    ResultDelivery delivery;
};

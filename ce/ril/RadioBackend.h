#pragma once

#include <windows.h>

#include "Scenario.h"

// One open radio instance behind an HRIL: the scenario player or a modem. Each query returns
// a command id at once and answers it later through the result callback, on the instance's
// own thread.
class RadioBackend {
public:
    virtual ~RadioBackend() = default;
    virtual HRESULT Query(RilQuery query) = 0;

protected:
    // Unique across instances and backends, so an id left pending by a closed instance
    // matches nothing.
    static HRESULT NewCommandId();
};

#pragma once

#include <string>

#include "CellInfo.h"

// Receiver of radio data. RadioInterface calls every operation on the radio layer's thread
// and passes each receiver its own copy of the argument.
class RilSubscriber {
public:
    virtual ~RilSubscriber() = default;
    virtual void OnCellInfo(CellInfo cell) = 0;
    virtual void OnSignalQuality(int minimum, int maximum, int current) = 0;
    virtual void OnNetworkId(std::wstring networkId) = 0;
    virtual void OnRadioOn() = 0;
    virtual void OnRadioOff() = 0;
    virtual void OnError(std::wstring text) = 0;
};

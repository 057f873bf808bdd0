#pragma once

#include <string>

#include "ModemSource.h"

// ModemManager's view of a modem spoken as the 27.007 AT modem that ril.dll's modem backend
// reads: one command line in, its answer out. The serving cell's channel, which 27.007 has no
// command for, comes from "AT+MMCELL?" (ril.dll's dialect "modemmanager", chosen by +CGMI).
class AtFace {
public:
    explicit AtFace(ModemSource& source) : source(source) {}
    // The answer to one command line (without its line end), final result included; false
    // when the modem is gone and the connection should end.
    bool Answer(const std::string& line, std::string& answer);

private:
    std::string Registration(const char* name, const ModemSnapshot& modem) const;
    std::string Signal(bool extended, const ModemSnapshot& modem) const;

    ModemSource& source;
};

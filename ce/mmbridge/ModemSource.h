#pragma once

#include <cmath>
#include <cstdint>
#include <string>

// What ModemManager knows of one modem, in its own terms (its enums, dBm, hex strings). A
// value the daemon does not give stays at its "not known" default.
struct ModemSnapshot {
    std::string manufacturer;
    std::string model;
    std::string operatorCode;  // Modem3gpp.OperatorCode, e.g. "23001"; empty: none
    uint32_t accessTech = 0;   // Modem.AccessTechnologies, MM_MODEM_ACCESS_TECHNOLOGY_* bits
    uint32_t registration = 0; // Modem3gpp.RegistrationState (27.007 <stat> values)
    std::string location;      // Location's 3GPP source: "MCC,MNC,LAC,CI,TAC"; empty: none
    int32_t state = 0;         // Modem.State
    uint32_t power = 0;        // Modem.PowerState
    // Modem.Signal; NaN: not known.
    double gsmRssi = NAN;
    double umtsRssi = NAN;
    double lteRsrp = NAN;
    double nrRsrp = NAN;
    // The serving cell from Modem.GetCellInfo.
    uint32_t cellType = 0; // MM_CELL_TYPE_*; 0: no serving cell given
    std::string cellArea;  // "lac" or "tac", hex
    std::string cellId;    // "ci", hex
    bool hasChannel = false;
    uint32_t channel = 0; // arfcn, uarfcn, earfcn or nrarfcn
};

// The parts of a snapshot that one AT command needs, read when the command comes.
enum class ModemPart { Identity, Operator, Equipment, Signal, Registration, ServingCell };

// Where the AT face reads the modem from. Read answers false when the modem is gone (the
// daemon left the bus, the modem was removed): the face then ends the connection.
class ModemSource {
public:
    virtual ~ModemSource() = default;
    virtual bool Read(ModemPart part, ModemSnapshot& snapshot) = 0;
};

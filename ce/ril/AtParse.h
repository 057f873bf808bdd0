#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ril.h"

// Reading 3GPP 27.007 response lines. Every function takes one line as the modem sent it
// (prefix included) and never trusts it: missing, empty, placeholder or malformed fields give
// "not known" rather than a number.
namespace AtParse {

// The fields after "+NAME:", split at commas outside quotes, blanks trimmed; quotes are kept,
// so callers can tell "0803" (a quoted hex code) from 0803.
std::vector<std::string> Fields(const std::string& line);
std::string Unquote(const std::string& field);
// Unquoted or quoted; hex allows an optional 0x; false for empty, "-" and overflow.
bool Hex(const std::string& field, DWORD& value);
bool Decimal(const std::string& field, long& value);
// The leading number of a field such as "79 EGSM 900".
bool LeadingDecimal(const std::string& field, long& value);
bool StartsWith(const std::string& line, const char* prefix);

// The widest cell identity the radio layer reports: 28 bits, as LTE's.
const DWORD MAX_CELL_ID = 0x0FFFFFFF;

// The registration read responses +CREG?, +CGREG?, +CEREG? and +C5GREG?.
struct Registration {
    // <n>: 2 and above report the location.
    long reports = 0;
    bool registered = false;
    bool hasArea = false;
    bool hasCell = false;
    DWORD area = 0;
    DWORD cellId = 0;
};
// A read response begins with <n> and then <stat>; an unsolicited report begins with <stat>
// and, when it carries a location, has the code in its second field. This tells them apart,
// also for modems that send the hex codes unquoted.
bool IsRegistrationRead(const std::string& line);
bool ParseRegistration(const std::string& line, Registration& registration);

// +COPS? into the RIL's operator names.
bool ParseOperator(const std::string& line, RILOPERATORNAMES& names, int& format);
// The modem's name from +CGMI or +CGMM information text: the last line (noise may come before
// it) without a "+CGMI: " style prefix and quotes; "?" when there is none.
std::string Identity(const std::vector<std::string>& lines);
// +CSQ: rssi 0..31 is -113 + 2 rssi dBm; 99 (and the vendors' other codes) is not known.
bool ParseCsq(const std::string& line, RILSIGNALQUALITY& signal);
// +CESQ: the level of the serving radio (NR SS-RSRP, else LTE RSRP, else UMTS RSCP, else GSM
// RXLEV).
bool ParseCesq(const std::string& line, RILSIGNALQUALITY& signal);
// +CFUN? into the RIL's equipment state.
bool ParseCfun(const std::string& line, RILEQUIPMENTSTATE& state);

} // namespace AtParse

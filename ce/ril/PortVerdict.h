#pragma once

#include <windows.h>

#include <string>

// What a serial port turned out to be when it was asked "AT". A USB modem shows several ports:
// only the AT port answers; its GPS port streams NMEA sentences, its diagnostic port binary
// data, and any port at a wrong speed gives garbage.
struct PortVerdict {
    enum Kind {
        AtPort,     // answered AT with a final result code
        Nmea,       // NMEA sentences ("$GPGGA,...")
        Binary,     // bytes that are mostly not text
        NoLineEnds, // text that never ends a line
        OtherText,  // lines, none of them an answer
        Silent,     // nothing at all
        PortFailed, // the port failed while being asked
        Stopped     // the caller asked to stop
    };
    Kind kind = Silent;
    // Bytes the port sent while it was asked.
    size_t bytesHeard = 0;
    // From AT+CGMI and AT+CGMM, when asked for (PortProbe::Identify); "?" when not known.
    std::string manufacturer = "?";
    std::string model = "?";

    // Why the port is no AT port, as the error messages say it; empty for an AT port.
    std::wstring Reason() const;
    // The kind of what a port sent without ever answering AT (its first bytes, at most a few KB).
    static Kind Classify(const std::string& sample);
};

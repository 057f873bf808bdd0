#pragma once

#include <windows.h>

#include <atomic>

#include "AtLineReader.h"
#include "ModemPort.h"
#include "PortVerdict.h"

// Finds out whether a port is a modem's AT port: sends "AT" a few times and listens, bounded in
// time (tries of tryMs) and in bytes (SAMPLE_BYTES, so a port that streams is told at once), and
// ends at a stop request. What the port sent without answering says what it is instead.
//
//     PortProbe probe(*port, stopping);
//     PortVerdict verdict = probe.Run();
//     if (verdict.kind == PortVerdict::AtPort) probe.Identify(verdict, 1000);
//     AtChannel channel(*port, stopping, probe.Reader());   // to go on with commands
class PortProbe {
public:
    static const size_t SAMPLE_BYTES = 4096;
    static const int TRIES = 3;
    static const DWORD TRY_MS = 1000;

    PortProbe(ModemPort& port, const std::atomic<bool>& stopping);

    PortVerdict Run(int tries = TRIES, DWORD tryMs = TRY_MS);
    // Asks an AT port AT+CGMI and AT+CGMM (each within timeoutMs) into the verdict.
    void Identify(PortVerdict& verdict, DWORD timeoutMs);
    // Where the probe stopped reading: an AtChannel on the port goes on from here.
    const AtLineReader& Reader() const { return reader; }

private:
    ModemPort& port;
    const std::atomic<bool>& stopping;
    AtLineReader reader;
};

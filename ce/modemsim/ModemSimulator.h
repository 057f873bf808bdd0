#pragma once

#include <winsock2.h>

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Scenario.h"

// How the simulated modem misbehaves, on request.
struct SimFaults {
    // What a port that is no AT port (or no longer one) sends without pause.
    enum Stream { NoStream, Nmea, Binary, NoLineEnds, ShortLines };

    DWORD slowMs = 0;         // every answer waits this long
    bool echo = false;        // echo stays on whatever ATE says
    bool noise = false;       // unsolicited result codes before, inside and after answers
    bool garbage = false;     // stray bytes and an over-long line before answers
    bool split = false;       // answers go out in pieces cut inside lines
    DWORD dropAfter = 0;      // the connection is closed after this many commands (0: never)
    bool errorOnce = false;   // each command is answered ERROR the first time in a session
    Stream stream = NoStream; // sent without pause, instead of answers
    DWORD streamAfter = 0;    // commands answered (over all sessions) before the stream starts

    // "nmea", "binary", "noeol", "lines"; false when unknown.
    bool SetStream(const std::string& name);
};

// An AT modem on a TCP port of 127.0.0.1 that walks through the cells of a scenario: in cycle
// mode each "AT+COPS?" (the first query of a polling cycle) moves on to the next step, in time
// mode the step follows the time since the first connection. Each connection is a session of its
// own; the scenario's "noanswer" and "fail" lines make the commands of that query go unanswered or
// fail, "init fail" makes the modem silent.
class ModemSimulator {
public:
    ModemSimulator(const Scenario& scenario, const std::string& dialect, const std::string& rat,
                   const SimFaults& faults);
    ~ModemSimulator();

    // Port 0 takes a free one. False when the port cannot be had or the dialect is unknown.
    bool Start(unsigned short port);
    void Stop();
    unsigned short Port() const { return port; }

    // Silent: nothing is answered. Offline: the connection is dropped, and new ones are closed
    // at once, as a modem that was unplugged.
    void SetSilent(bool silent);
    void SetOnline(bool online);
    // From now on every connection streams instead of answering.
    void SetStream(SimFaults::Stream stream);
    // Every session starts afresh (echo on, no location reports, ...) and announces "RDY".
    void Restart();

    DWORD Connections() const { return connections; }
    DWORD Commands() const { return commands; }
    DWORD RestartsAnnounced() const { return announced; }
    // Waits until count connections have been accepted in all; false after the time-out.
    bool WaitForConnections(DWORD count, DWORD timeoutMs);

private:
    void Listen();
    void Serve(SOCKET client);
    void Handle(SOCKET client, class SimModem& modem, const std::string& command, bool& drop);
    const ScenarioStep& StepFor(const std::string& command);
    bool Send(SOCKET client, const std::string& bytes);
    bool Streaming() const;
    // One piece of the stream, once the connection can take it; false when it is closed.
    bool SendStream(SOCKET client, unsigned& seed);
    void Pause(DWORD ms);

    Scenario scenario;
    std::string dialect;
    std::string rat;
    SimFaults faults;
    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    DWORD started = 0;
    std::atomic<bool> stopping{false};
    std::atomic<bool> silent{false};
    std::atomic<bool> online{true};
    std::atomic<int> stream;
    std::atomic<DWORD> streamAfter;
    std::atomic<DWORD> connections{0};
    std::atomic<DWORD> commands{0};
    std::atomic<DWORD> noise{0};
    std::atomic<DWORD> restarts{0};
    std::atomic<DWORD> announced{0};
    std::mutex mutex;
    std::condition_variable changed;
    DWORD cycles = 0;
    std::vector<SOCKET> clients;
    std::vector<std::thread> sessions;
    std::thread listenThread;
};

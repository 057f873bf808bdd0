#pragma once

#include <winsock2.h>

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "RefService.h"

// The reference service on 127.0.0.1 behind a server that can fail as a web service on the
// phone's network does. Each connection is served on a thread of its own, so a connection
// that is never answered does not hold up the next one.
class FaultServer {
public:
    enum class Mode {
        Normal,      // the service's own answer
        Silent,      // accepts, reads the request and never answers
        Trickle,     // the service's answer, one byte a second
        Huge,        // a 10 MB answer: the reply padded with blanks
        CutOff,      // the head and half of the body, then the connection is closed
        ServerError, // HTTP 500
        Malformed,   // HTTP 200 with XML that does not parse
        Absent       // nobody listens on the port
    };
    static const size_t HugeBytes = 10 * 1024 * 1024;

    explicit FaultServer(RefService& service) : service(service) {}
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    // port 0 picks a free one; Port() tells which. Starts in Normal mode.
    bool Start(unsigned short port);
    // Ends every connection, also held and trickling ones, and waits for their threads.
    void Stop();
    unsigned short Port() const { return port; }

    // Leaving Silent or Trickle closes their connections where they are; Absent closes the
    // listener and leaving it listens on the same port again (false if that port could not
    // be had).
    bool SetMode(Mode mode);
    Mode GetMode() const { return mode.load(); }
    // Trickle's pace: one byte every so many milliseconds (1000 unless set).
    void SetTrickleMs(DWORD milliseconds) { trickleMs = milliseconds; }
    // Requests read so far, whatever the mode did with them.
    unsigned long Requests() const { return requests.load(); }

    static const char* ModeName(Mode mode);
    static bool ParseMode(const std::string& name, Mode& mode);

private:
    struct Connection {
        SOCKET socket;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    bool Listen(unsigned short wantedPort);
    void CloseListener();
    void AcceptLoop(SOCKET socket);
    void Serve(Connection* connection);
    // letGo: set when the connection's mode is left or the server stops.
    void Answer(SOCKET client, Mode modeAtRequest, const std::string& target, HANDLE letGo);
    void JoinFinished();

    RefService& service;
    std::mutex lock;
    SOCKET listener = INVALID_SOCKET;
    std::thread acceptor;
    unsigned short port = 0;
    bool started = false;
    std::atomic<Mode> mode{Mode::Normal};
    std::atomic<unsigned long> requests{0};
    std::atomic<DWORD> trickleMs{1000};
    // Set when the connections of the current mode are to let go (the mode is left, or the
    // server stops); a new one for every mode.
    HANDLE release = nullptr;
    std::list<Connection> connections;
};

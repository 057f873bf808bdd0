#pragma once

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RefService.h"

// A small HTTP/1.1 server on 127.0.0.1: GET only, one request per connection, answered on
// the server's thread in the order they come.
class HttpServer {
public:
    explicit HttpServer(RefService& service) : service(service) {}
    ~HttpServer();

    // port 0 picks a free one; Port() tells which.
    bool Start(unsigned short port);
    void Stop();
    unsigned short Port() const { return port; }
    // Tests: every answer waits until the event is set (at most a minute), as a slow service
    // would; null answers at once again. The event stays the caller's.
    void SetHold(HANDLE release) { hold = release; }
    // Every request target received, in order, and the User-Agent each came with.
    std::vector<std::string> Requests();
    std::vector<std::string> UserAgents();

private:
    void Serve();
    void Answer(SOCKET client);

    RefService& service;
    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    std::thread thread;
    std::atomic<HANDLE> hold{nullptr};
    std::mutex lock;
    std::vector<std::string> requests;
    std::vector<std::string> userAgents;
};

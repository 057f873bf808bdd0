#pragma once

// winsock2.h (through HttpServer.h) must come before windows.h.
#include "HttpServer.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

// The service's HTTP server as the tests watch it: keeps every request target and the
// User-Agent it came with, and can hold each answer until an event is set, as a slow service
// would.
class RecordingHttpServer : public HttpServer, private HttpServer::Observer {
public:
    explicit RecordingHttpServer(RefService& service, const Limits& limits = kDefaultLimits);
    ~RecordingHttpServer();

    // Every request target received, in order, and the User-Agent each came with.
    std::vector<std::string> Requests();
    std::vector<std::string> UserAgents();
    // Every answer waits until the event is set (at most a minute); null answers at once
    // again. The event stays the caller's.
    void SetHold(HANDLE release) { hold = release; }

private:
    void OnRequest(const std::string& target, const std::string& userAgent) override;

    std::atomic<HANDLE> hold{nullptr};
    std::mutex lock;
    std::vector<std::string> requests;
    std::vector<std::string> userAgents;
};

#pragma once

#include <winsock2.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// A tiny HTTP/1.0 server on 127.0.0.1 that answers each path with a fixed reply.
class LocalHttpServer {
public:
    struct Reply {
        int status = 200;
        std::string contentType;
        std::string body;
    };

    LocalHttpServer();
    ~LocalHttpServer();

    bool Start();
    void SetReply(const std::string& path, const Reply& reply);
    std::wstring Url(const std::string& path) const;
    int RequestCount() const;

private:
    void Serve();
    void Answer(SOCKET client);

    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;
    mutable std::mutex mutex;
    std::map<std::string, Reply> replies;
    int requests = 0;
};

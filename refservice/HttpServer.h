#pragma once

#include <winsock2.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RefService.h"

// A small HTTP/1.1 server on 127.0.0.1: GET only, one request per connection. Connections are
// answered at once, each by a thread of a pool that grows to the cap of open connections; a
// connection beyond the cap is answered 503. A client gets a deadline for its request head
// and a time-out for taking the answer, so a slow one holds nothing but its own connection.
class HttpServer {
public:
    struct Limits {
        DWORD headMs;       // the whole request head within this, or 408
        DWORD sendIdleMs;   // the client takes some of the answer within each such time
        size_t connections; // open at once
    };
    // Told of every request on the thread that answers it, before the answer, which waits
    // until it returns.
    class Observer {
    public:
        virtual void OnRequest(const std::string& target, const std::string& userAgent) = 0;

    protected:
        ~Observer() = default;
    };
    static const Limits kDefaultLimits;

    explicit HttpServer(RefService& service, const Limits& limits = kDefaultLimits)
        : service(service), limits(limits) {}
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Before Start; the observer outlives the server's running.
    void SetObserver(Observer* requestObserver) { observer = requestObserver; }
    // port 0 picks a free one; Port() tells which.
    bool Start(unsigned short port);
    // Ends the connections being answered where they are, and waits for the pool's threads.
    void Stop();
    unsigned short Port() const { return port; }

private:
    void Accept();
    void Work();
    void Answer(SOCKET client);
    void Refuse(SOCKET client);

    RefService& service;
    const Limits limits;
    Observer* observer = nullptr;
    SOCKET listener = INVALID_SOCKET;
    unsigned short port = 0;
    std::thread acceptor;
    std::mutex lock;
    std::condition_variable queued;
    bool stopping = false;
    // Accepted and not yet taken by a thread of the pool.
    std::deque<SOCKET> waiting;
    // Being answered: Stop ends them where they are.
    std::vector<SOCKET> answering;
    size_t idle = 0;
    std::vector<std::thread> pool;
};

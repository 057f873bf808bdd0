#include "HttpServer.h"

#include <algorithm>

#include "HttpWire.h"

namespace {

// A body up to this size goes out with the head in one send.
const size_t kJoinedBodyBytes = 65536;

} // namespace

const HttpServer::Limits HttpServer::kDefaultLimits = {http_wire::kHeadDeadlineMs,
                                                       http_wire::kSendIdleMs, 128};

HttpServer::~HttpServer() {
    Stop();
}

bool HttpServer::Start(unsigned short wantedPort) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return false;
    }
    listener = http_wire::ListenOnLoopback(wantedPort, false, port);
    if (listener == INVALID_SOCKET) {
        WSACleanup();
        return false;
    }
    stopping = false;
    acceptor = std::thread(&HttpServer::Accept, this);
    return true;
}

void HttpServer::Stop() {
    if (listener == INVALID_SOCKET) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    // Closing the listener ends the accept loop.
    closesocket(listener);
    listener = INVALID_SOCKET;
    acceptor.join();
    {
        std::lock_guard<std::mutex> guard(lock);
        for (SOCKET client : waiting) {
            closesocket(client);
        }
        waiting.clear();
        // Wakes threads waiting for a request head or for the client to take the answer;
        // each closes its own socket.
        for (SOCKET client : answering) {
            shutdown(client, SD_BOTH);
        }
    }
    queued.notify_all();
    for (std::thread& thread : pool) {
        thread.join();
    }
    pool.clear();
    idle = 0;
    WSACleanup();
}

void HttpServer::Accept() {
    for (;;) {
        SOCKET client = accept(listener, nullptr, nullptr);
        const int error = client == INVALID_SOCKET ? WSAGetLastError() : 0;
        std::unique_lock<std::mutex> guard(lock);
        if (stopping) {
            if (client != INVALID_SOCKET) {
                closesocket(client);
            }
            return;
        }
        if (client == INVALID_SOCKET) {
            // A client that reset its connection before it was taken goes on at once; out of
            // sockets, the others' ending is waited for.
            guard.unlock();
            if (error != WSAECONNRESET) {
                Sleep(10);
            }
            continue;
        }
        if (waiting.size() + answering.size() >= limits.connections) {
            guard.unlock();
            Refuse(client);
            continue;
        }
        waiting.push_back(client);
        if (waiting.size() > idle && pool.size() < limits.connections) {
            pool.emplace_back(&HttpServer::Work, this);
        }
        queued.notify_one();
    }
}

void HttpServer::Work() {
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        ++idle;
        queued.wait(guard, [this] { return stopping || !waiting.empty(); });
        --idle;
        if (stopping) {
            return;
        }
        SOCKET client = waiting.front();
        waiting.pop_front();
        answering.push_back(client);
        guard.unlock();
        Answer(client);
        guard.lock();
        answering.erase(std::find(answering.begin(), answering.end(), client));
        // Under the lock, so that Stop never shuts down a socket number already given again.
        closesocket(client);
    }
}

void HttpServer::Answer(SOCKET client) {
    std::string request;
    switch (http_wire::ReadRequestHead(client, request, limits.headMs)) {
    case http_wire::Head::Closed:
        return;
    case http_wire::Head::TimedOut: {
        const std::string body =
            "request head not complete within " + std::to_string(limits.headMs) + " ms\n";
        const std::string all = http_wire::AnswerHead(408, "text/plain", body.size()) + body;
        http_wire::SendAll(client, all.data(), all.size(), limits.sendIdleMs);
        shutdown(client, SD_SEND);
        return;
    }
    case http_wire::Head::Complete:
        break;
    }
    HttpReply reply;
    std::string target = http_wire::GetTarget(request);
    if (target.empty()) {
        reply.status = 400;
        reply.body = "bad request\n";
    } else {
        if (observer) {
            observer->OnRequest(target, http_wire::HeaderValue(request, "User-Agent"));
        }
        reply = service.Answer(target);
    }
    const std::string& body = reply.Body();
    std::string head = http_wire::AnswerHead(reply.status, reply.contentType, body.size());
    bool sent;
    if (body.size() <= kJoinedBodyBytes) {
        head += body;
        sent = http_wire::SendAll(client, head.data(), head.size(), limits.sendIdleMs);
    } else {
        sent = http_wire::SendAll(client, head.data(), head.size(), limits.sendIdleMs) &&
               http_wire::SendAll(client, body.data(), body.size(), limits.sendIdleMs);
    }
    if (sent) {
        shutdown(client, SD_SEND);
    }
}

void HttpServer::Refuse(SOCKET client) {
    // Not to wait for a client on the accepting thread: a fresh connection's buffer takes the
    // short answer whole, or the client is not worth it.
    u_long nonBlocking = 1;
    ioctlsocket(client, FIONBIO, &nonBlocking);
    const std::string body = "too many connections: " + std::to_string(limits.connections) +
                             " are open, try again later\n";
    const std::string all = http_wire::AnswerHead(503, "text/plain", body.size()) + body;
    send(client, all.data(), static_cast<int>(all.size()), 0);
    shutdown(client, SD_SEND);
    // What the request sent so far is read, so that closing does not reset the connection
    // before the client has read the answer.
    char buffer[4096];
    for (int i = 0; i < 4 && recv(client, buffer, sizeof(buffer), 0) > 0; ++i) {
    }
    closesocket(client);
}

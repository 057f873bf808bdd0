#include "HttpServer.h"

#include "HttpWire.h"

namespace {

// The value of a header line, or empty. Names compare as written by the usual clients.
std::string Header(const std::string& request, const std::string& name) {
    size_t at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos) {
        return std::string();
    }
    at += name.size() + 4;
    return request.substr(at, request.find("\r\n", at) - at);
}

} // namespace

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
    thread = std::thread(&HttpServer::Serve, this);
    return true;
}

void HttpServer::Stop() {
    if (listener == INVALID_SOCKET) {
        return;
    }
    // Closing the listener ends the accept loop.
    closesocket(listener);
    listener = INVALID_SOCKET;
    if (thread.joinable()) {
        thread.join();
    }
    WSACleanup();
}

std::vector<std::string> HttpServer::Requests() {
    std::lock_guard<std::mutex> guard(lock);
    return requests;
}

std::vector<std::string> HttpServer::UserAgents() {
    std::lock_guard<std::mutex> guard(lock);
    return userAgents;
}

void HttpServer::Serve() {
    for (;;) {
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            return;
        }
        Answer(client);
        closesocket(client);
    }
}

void HttpServer::Answer(SOCKET client) {
    std::string request;
    if (!http_wire::ReadRequestHead(client, request)) {
        return;
    }
    HttpReply reply;
    std::string target = http_wire::GetTarget(request);
    if (target.empty()) {
        reply.status = 400;
        reply.body = "bad request\n";
    } else {
        {
            std::lock_guard<std::mutex> guard(lock);
            requests.push_back(target);
            userAgents.push_back(Header(request, "User-Agent"));
        }
        reply = service.Handle(target);
    }
    if (HANDLE release = hold.load()) {
        WaitForSingleObject(release, 60000);
    }
    std::string all =
        http_wire::AnswerHead(reply.status, reply.contentType, reply.body.size()) + reply.body;
    http_wire::SendAll(client, all.data(), all.size());
    shutdown(client, SD_SEND);
}

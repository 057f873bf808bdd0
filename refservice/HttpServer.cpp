#include "HttpServer.h"

#include <ws2tcpip.h>

namespace {

const size_t kMaxRequestBytes = 16384;

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    default:
        return "Error";
    }
}

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
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        WSACleanup();
        return false;
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(wantedPort);
    int length = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        listener = INVALID_SOCKET;
        WSACleanup();
        return false;
    }
    port = ntohs(address.sin_port);
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
    DWORD timeout = 5000;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes) {
        int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            return;
        }
        request.append(buffer, n);
    }
    HttpReply reply;
    size_t lineEnd = request.find("\r\n");
    std::string line = request.substr(0, lineEnd);
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.compare(0, first, "GET") != 0) {
        reply.status = 400;
        reply.body = "bad request\n";
    } else {
        std::string target = line.substr(first + 1, second - first - 1);
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
    std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + Reason(reply.status) +
                       "\r\nContent-Type: " + reply.contentType +
                       "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                       "\r\nConnection: close\r\n\r\n";
    std::string all = head + reply.body;
    size_t sent = 0;
    while (sent < all.size()) {
        int n = send(client, all.data() + sent, static_cast<int>(all.size() - sent), 0);
        if (n <= 0) {
            break;
        }
        sent += n;
    }
    shutdown(client, SD_SEND);
}

#include "LocalHttpServer.h"

#include <ws2tcpip.h>

LocalHttpServer::LocalHttpServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
}

LocalHttpServer::~LocalHttpServer() {
    if (thread.joinable()) {
        // A connection of our own wakes the accept loop, which then sees the stop flag.
        stopping = true;
        SOCKET wake = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        thread.join();
        closesocket(wake);
    }
    if (listener != INVALID_SOCKET)
        closesocket(listener);
    WSACleanup();
}

bool LocalHttpServer::Start() {
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    port = ntohs(address.sin_port);
    thread = std::thread(&LocalHttpServer::Serve, this);
    return true;
}

void LocalHttpServer::SetReply(const std::string& path, const Reply& reply) {
    std::lock_guard<std::mutex> lock(mutex);
    replies[path] = reply;
}

std::wstring LocalHttpServer::Url(const std::string& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(port) + std::wstring(path.begin(), path.end());
}

int LocalHttpServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
}

void LocalHttpServer::Serve() {
    for (;;) {
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            return;
        if (stopping) {
            closesocket(client);
            return;
        }
        Answer(client);
        closesocket(client);
    }
}

void LocalHttpServer::Answer(SOCKET client) {
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
        int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0)
            return;
        request.append(buffer, size_t(n));
    }
    size_t start = request.find(' ');
    size_t end = start == std::string::npos ? start : request.find(' ', start + 1);
    std::string path = end == std::string::npos ? "/" : request.substr(start + 1, end - start - 1);
    Reply reply;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++requests;
        auto it = replies.find(path);
        if (it != replies.end())
            reply = it->second;
        else
            reply = {404, "text/plain", "not found"};
    }
    std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " X\r\n";
    if (!reply.contentType.empty())
        head += "Content-Type: " + reply.contentType + "\r\n";
    head +=
        "Content-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
    std::string all = head + reply.body;
    size_t sent = 0;
    while (sent < all.size()) {
        int n = send(client, all.data() + sent, int(all.size() - sent), 0);
        if (n <= 0)
            return;
        sent += size_t(n);
    }
    shutdown(client, SD_SEND);
}

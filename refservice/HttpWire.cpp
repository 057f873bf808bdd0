#include "HttpWire.h"

#include <ws2tcpip.h>

namespace {

const size_t kMaxRequestBytes = 16384;
const DWORD kReadTimeoutMs = 5000;

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Error";
    }
}

} // namespace

namespace http_wire {

SOCKET ListenOnLoopback(unsigned short wanted, bool reuseAddress, unsigned short& port) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET) {
        return INVALID_SOCKET;
    }
    if (reuseAddress) {
        BOOL reuse = TRUE;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
                   sizeof(reuse));
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(wanted);
    int length = sizeof(address);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, SOMAXCONN) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return listener;
}

bool ReadRequestHead(SOCKET client, std::string& request) {
    DWORD timeout = kReadTimeoutMs;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes) {
        int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            return false;
        }
        request.append(buffer, n);
    }
    return true;
}

std::string GetTarget(const std::string& request) {
    std::string line = request.substr(0, request.find("\r\n"));
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.compare(0, first, "GET") != 0) {
        return std::string();
    }
    return line.substr(first + 1, second - first - 1);
}

std::string AnswerHead(int status, const std::string& contentType, size_t length) {
    return "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
           "\r\nContent-Type: " + contentType + "\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: close\r\n\r\n";
}

bool SendAll(SOCKET client, const char* data, size_t size) {
    while (size > 0) {
        int chunk = size > 65536 ? 65536 : static_cast<int>(size);
        int n = send(client, data, chunk, 0);
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace http_wire

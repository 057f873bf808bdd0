#include "HttpWire.h"

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
    case 408:
        return "Request Timeout";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

// Where the blank line that ends a head ends, searched from `from`; npos while there is none.
size_t HeadEnd(const std::string& text, size_t from) {
    for (size_t at = text.find('\n', from); at != std::string::npos; at = text.find('\n', at + 1)) {
        size_t next = at + 1;
        if (next < text.size() && text[next] == '\r') {
            ++next;
        }
        if (next < text.size() && text[next] == '\n') {
            return next + 1;
        }
    }
    return std::string::npos;
}

// Waits until the socket can be read (forRead) or written, or has failed; false when
// milliseconds pass first.
bool WaitFor(SOCKET socket, bool forRead, DWORD milliseconds) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval wait;
    wait.tv_sec = static_cast<long>(milliseconds / 1000);
    wait.tv_usec = static_cast<long>(milliseconds % 1000) * 1000;
    return select(0, forRead ? &ready : nullptr, forRead ? nullptr : &ready, &failed, &wait) > 0;
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

Head ReadRequestHead(SOCKET client, std::string& request, DWORD deadlineMs) {
    const ULONGLONG deadline = GetTickCount64() + deadlineMs;
    char buffer[2048];
    size_t scanned = 0;
    while (HeadEnd(request, scanned) == std::string::npos && request.size() < kMaxRequestBytes) {
        // The blank line may begin in what came before.
        scanned = request.size() > 2 ? request.size() - 2 : 0;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline || !WaitFor(client, true, static_cast<DWORD>(deadline - now))) {
            return Head::TimedOut;
        }
        int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            return Head::Closed;
        }
        request.append(buffer, n);
    }
    return Head::Complete;
}

std::string GetTarget(const std::string& request) {
    std::string line = request.substr(0, request.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.compare(0, first, "GET") != 0) {
        return std::string();
    }
    return line.substr(first + 1, second - first - 1);
}

std::string HeaderValue(const std::string& request, const std::string& name) {
    const size_t end = HeadEnd(request, 0);
    for (size_t line = request.find('\n'); line != std::string::npos && line + 1 < end;
         line = request.find('\n', line + 1)) {
        const size_t begin = line + 1;
        const size_t colon = begin + name.size();
        if (colon >= request.size() || request[colon] != ':' ||
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, request.data() + begin,
                           static_cast<int>(name.size()), name.data(),
                           static_cast<int>(name.size())) != CSTR_EQUAL) {
            continue;
        }
        size_t from = request.find_first_not_of(" \t", colon + 1);
        size_t to = request.find('\n', colon);
        if (from == std::string::npos || from > to) {
            return std::string();
        }
        to = request.find_last_not_of(" \t\r", to - 1);
        return to < from ? std::string() : request.substr(from, to - from + 1);
    }
    return std::string();
}

std::string AnswerHead(int status, const std::string& contentType, size_t length) {
    return "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
           "\r\nContent-Type: " + contentType + "\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: close\r\n\r\n";
}

bool SendAll(SOCKET client, const char* data, size_t size, DWORD idleMs) {
    // Without blocking, so that a client that takes nothing more is given up after idleMs.
    u_long nonBlocking = 1;
    ioctlsocket(client, FIONBIO, &nonBlocking);
    bool sent = true;
    while (size > 0) {
        int chunk = size > 65536 ? 65536 : static_cast<int>(size);
        int n = send(client, data, chunk, 0);
        if (n > 0) {
            data += n;
            size -= n;
        } else if (n == 0 || WSAGetLastError() != WSAEWOULDBLOCK ||
                   !WaitFor(client, false, idleMs)) {
            sent = false;
            break;
        }
    }
    nonBlocking = 0;
    ioctlsocket(client, FIONBIO, &nonBlocking);
    return sent;
}

} // namespace http_wire

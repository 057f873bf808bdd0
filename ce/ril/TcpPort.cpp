#include "TcpPort.h"

#include <ws2tcpip.h>

#include "NameLookup.h"

namespace {

const DWORD CONNECT_TIMEOUT_MS = 3000;
const DWORD LOOKUP_TIMEOUT_MS = 5000;
const DWORD SLICE_MS = 50;

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

} // namespace

TcpPort::~TcpPort() {
    if (socket_ != INVALID_SOCKET) {
        closesocket(socket_);
    }
    if (started) {
        WSACleanup();
    }
}

bool TcpPort::Open(const std::string& host, const std::string& port,
                   const std::atomic<bool>& stopping, std::wstring& error) {
    std::wstring name = L"tcp:" + Widen(host) + L":" + Widen(port);
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        error = name + L": no network";
        return false;
    }
    started = true;
    int reason = 0;
    addrinfo* found = NameLookup::Resolve(host, port, LOOKUP_TIMEOUT_MS, stopping, reason);
    if (!found) {
        error = name + (reason == WSAETIMEDOUT ? L": the host name was not resolved in time"
                                               : L": unknown host or port");
        return false;
    }
    for (addrinfo* at = found; at && socket_ == INVALID_SOCKET && !stopping; at = at->ai_next) {
        SOCKET s = socket(at->ai_family, at->ai_socktype, at->ai_protocol);
        if (s == INVALID_SOCKET) {
            continue;
        }
        // Connect without blocking, so that an address that never answers costs a bounded wait.
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        connect(s, at->ai_addr, static_cast<int>(at->ai_addrlen));
        // In slices, so that a stop request ends the wait.
        int ready = 0;
        fd_set writable, failed;
        for (DWORD waited = 0; ready == 0 && waited < CONNECT_TIMEOUT_MS && !stopping;
             waited += SLICE_MS) {
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval wait = {0, static_cast<long>(SLICE_MS * 1000)};
            ready = select(0, nullptr, &writable, &failed, &wait);
        }
        int soError = 0;
        int length = sizeof(soError);
        if (ready == 1) {
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
        }
        if (ready == 1 && FD_ISSET(s, &writable) && soError == 0) {
            nonBlocking = 0;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            BOOL noDelay = TRUE;
            setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                       sizeof(noDelay));
            socket_ = s;
        } else {
            reason = soError ? soError : WSAETIMEDOUT;
            closesocket(s);
        }
    }
    freeaddrinfo(found);
    if (socket_ == INVALID_SOCKET) {
        error = name + L": cannot connect (error " + std::to_wstring(reason) + L")";
        return false;
    }
    return true;
}

bool TcpPort::Write(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        int done = send(socket_, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
        if (done <= 0) {
            return false;
        }
        sent += done;
    }
    return true;
}

int TcpPort::Read(char* buffer, int size, DWORD timeoutMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket_, &readable);
    timeval wait = {static_cast<long>(timeoutMs / 1000),
                    static_cast<long>(timeoutMs % 1000) * 1000};
    int ready = select(0, &readable, nullptr, nullptr, &wait);
    if (ready == 0) {
        return 0;
    }
    // A closed connection reads as ready with no bytes.
    int got = ready > 0 ? recv(socket_, buffer, size, 0) : -1;
    return got > 0 ? got : -1;
}

#include "FaultServer.h"

#include <ws2tcpip.h>

namespace {

const size_t kMaxRequestBytes = 16384;
const DWORD kRequestReadMs = 5000;

const char kMalformedXml[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                             "<GpsPositionResult><ErrorCode>0</ErrorCode><GpsPosition>"
                             "<a:LAT>50.08</a:LON><a:LON 14.42</GpsPosition";

const struct {
    FaultServer::Mode mode;
    const char* name;
} kModeNames[] = {
    {FaultServer::Mode::Normal, "normal"},     {FaultServer::Mode::Silent, "silent"},
    {FaultServer::Mode::Trickle, "trickle"},   {FaultServer::Mode::Huge, "huge"},
    {FaultServer::Mode::CutOff, "cutoff"},     {FaultServer::Mode::ServerError, "error500"},
    {FaultServer::Mode::Malformed, "malformed"}, {FaultServer::Mode::Absent, "absent"},
};

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

std::string Head(int status, const std::string& contentType, size_t length) {
    const char* reason = status == 200 ? " OK" : status == 500 ? " Internal Server Error" : " Error";
    return "HTTP/1.1 " + std::to_string(status) + reason +
           "\r\nContent-Type: " + contentType + "\r\nContent-Length: " + std::to_string(length) +
           "\r\nConnection: close\r\n\r\n";
}

// The request target of a GET request, or empty when the request is not one.
std::string Target(const std::string& request) {
    std::string line = request.substr(0, request.find("\r\n"));
    size_t first = line.find(' ');
    size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos || line.compare(0, first, "GET") != 0) {
        return std::string();
    }
    return line.substr(first + 1, second - first - 1);
}

} // namespace

FaultServer::~FaultServer() {
    Stop();
}

const char* FaultServer::ModeName(Mode mode) {
    for (const auto& each : kModeNames) {
        if (each.mode == mode) {
            return each.name;
        }
    }
    return "?";
}

bool FaultServer::ParseMode(const std::string& name, Mode& mode) {
    for (const auto& each : kModeNames) {
        if (name == each.name) {
            mode = each.mode;
            return true;
        }
    }
    return false;
}

bool FaultServer::Start(unsigned short wantedPort) {
    if (started) {
        return false;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return false;
    }
    release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    mode = Mode::Normal;
    if (!release || !Listen(wantedPort)) {
        if (release) {
            CloseHandle(release);
        }
        release = nullptr;
        WSACleanup();
        return false;
    }
    started = true;
    return true;
}

void FaultServer::Stop() {
    if (!started) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(lock);
        SetEvent(release);
    }
    CloseListener();
    {
        // Wakes connections blocked in a read or a write; each closes its own socket.
        std::lock_guard<std::mutex> hold(lock);
        for (auto& connection : connections) {
            if (connection.socket != INVALID_SOCKET) {
                shutdown(connection.socket, SD_BOTH);
            }
        }
    }
    for (auto& connection : connections) {
        connection.thread.join();
    }
    connections.clear();
    CloseHandle(release);
    release = nullptr;
    started = false;
    WSACleanup();
}

bool FaultServer::SetMode(Mode newMode) {
    Mode old = mode.load();
    if (!started || newMode == old) {
        return started;
    }
    if (newMode == Mode::Absent) {
        CloseListener();
    }
    {
        // The connections of the mode left let go; those of the new one wait on an event of
        // their own.
        std::lock_guard<std::mutex> hold(lock);
        SetEvent(release);
        CloseHandle(release);
        release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        mode = newMode;
    }
    return old != Mode::Absent || Listen(port);
}

bool FaultServer::Listen(unsigned short wantedPort) {
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) {
        return false;
    }
    // The port comes back after Absent while connections to it may still linger.
    BOOL reuse = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse),
               sizeof(reuse));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(wantedPort);
    int length = sizeof(address);
    if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(socket, SOMAXCONN) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(socket);
        return false;
    }
    port = ntohs(address.sin_port);
    listener = socket;
    acceptor = std::thread(&FaultServer::AcceptLoop, this, socket);
    return true;
}

void FaultServer::CloseListener() {
    if (listener == INVALID_SOCKET) {
        return;
    }
    // Closing the socket ends the accept loop.
    closesocket(listener);
    listener = INVALID_SOCKET;
    acceptor.join();
}

void FaultServer::JoinFinished() {
    for (auto it = connections.begin(); it != connections.end();) {
        if (it->finished) {
            it->thread.join();
            it = connections.erase(it);
        } else {
            ++it;
        }
    }
}

void FaultServer::AcceptLoop(SOCKET socket) {
    for (;;) {
        SOCKET client = accept(socket, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            return;
        }
        std::lock_guard<std::mutex> hold(lock);
        JoinFinished();
        connections.emplace_back();
        Connection& connection = connections.back();
        connection.socket = client;
        connection.thread = std::thread(&FaultServer::Serve, this, &connection);
    }
}

void FaultServer::Serve(Connection* connection) {
    SOCKET client = connection->socket;
    DWORD timeout = kRequestReadMs;
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof(timeout));
    std::string request;
    char buffer[2048];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes) {
        int n = recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            break;
        }
        request.append(buffer, n);
    }
    if (request.find("\r\n\r\n") != std::string::npos) {
        ++requests;
        Mode current;
        HANDLE letGo = nullptr;
        {
            std::lock_guard<std::mutex> hold(lock);
            current = mode.load();
            DuplicateHandle(GetCurrentProcess(), release, GetCurrentProcess(), &letGo, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
        }
        Answer(client, current, Target(request), letGo);
        CloseHandle(letGo);
    }
    std::lock_guard<std::mutex> hold(lock);
    closesocket(client);
    connection->socket = INVALID_SOCKET;
    connection->finished = true;
}

void FaultServer::Answer(SOCKET client, Mode modeAtRequest, const std::string& target,
                         HANDLE letGo) {
    if (modeAtRequest == Mode::Silent) {
        WaitForSingleObject(letGo, INFINITE);
        return;
    }
    HttpReply reply;
    if (target.empty()) {
        reply.status = 400;
        reply.body = "bad request\n";
    } else {
        reply = service.Handle(target);
    }
    switch (modeAtRequest) {
    case Mode::Trickle: {
        std::string all = Head(reply.status, reply.contentType, reply.body.size()) + reply.body;
        for (char byte : all) {
            if (send(client, &byte, 1, 0) != 1 ||
                WaitForSingleObject(letGo, trickleMs.load()) == WAIT_OBJECT_0) {
                return;
            }
        }
        break;
    }
    case Mode::Huge: {
        std::string body = reply.body;
        if (body.size() < HugeBytes) {
            body.append(HugeBytes - body.size(), ' ');
        }
        std::string head = Head(reply.status, reply.contentType, body.size());
        if (SendAll(client, head.data(), head.size())) {
            SendAll(client, body.data(), body.size());
        }
        break;
    }
    case Mode::CutOff: {
        std::string head = Head(reply.status, reply.contentType, reply.body.size());
        if (SendAll(client, head.data(), head.size())) {
            SendAll(client, reply.body.data(), reply.body.size() / 2);
        }
        return;
    }
    case Mode::ServerError: {
        const std::string body = "Internal Server Error\n";
        std::string all = Head(500, "text/plain", body.size()) + body;
        SendAll(client, all.data(), all.size());
        break;
    }
    case Mode::Malformed: {
        std::string all = Head(200, "text/xml; charset=utf-8", sizeof(kMalformedXml) - 1) +
                          kMalformedXml;
        SendAll(client, all.data(), all.size());
        break;
    }
    default: {
        std::string all = Head(reply.status, reply.contentType, reply.body.size()) + reply.body;
        SendAll(client, all.data(), all.size());
        break;
    }
    }
    shutdown(client, SD_SEND);
}

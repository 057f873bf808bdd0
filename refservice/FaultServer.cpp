#include "FaultServer.h"

#include "HttpWire.h"

namespace {

const char kMalformedXml[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                             "<GpsPositionResult><ErrorCode>0</ErrorCode><GpsPosition>"
                             "<a:LAT>50.08</a:LON><a:LON 14.42</GpsPosition";

const struct {
    FaultServer::Mode mode;
    const char* name;
} kModeNames[] = {
    {FaultServer::Mode::Normal, "normal"},       {FaultServer::Mode::Silent, "silent"},
    {FaultServer::Mode::Trickle, "trickle"},     {FaultServer::Mode::Huge, "huge"},
    {FaultServer::Mode::CutOff, "cutoff"},       {FaultServer::Mode::ServerError, "error500"},
    {FaultServer::Mode::Malformed, "malformed"}, {FaultServer::Mode::Absent, "absent"},
};

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
    // The port comes back after Absent while connections to it may still linger.
    SOCKET socket = http_wire::ListenOnLoopback(wantedPort, true, port);
    if (socket == INVALID_SOCKET) {
        return false;
    }
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
    std::string request;
    if (http_wire::ReadRequestHead(client, request) == http_wire::Head::Complete) {
        ++requests;
        Mode current;
        HANDLE letGo = nullptr;
        {
            std::lock_guard<std::mutex> hold(lock);
            current = mode.load();
            DuplicateHandle(GetCurrentProcess(), release, GetCurrentProcess(), &letGo, 0, FALSE,
                            DUPLICATE_SAME_ACCESS);
        }
        Answer(client, current, http_wire::GetTarget(request), letGo);
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
        reply = service.Answer(target);
    }
    const std::string& body = reply.Body();
    switch (modeAtRequest) {
    case Mode::Trickle: {
        std::string all =
            http_wire::AnswerHead(reply.status, reply.contentType, body.size()) + body;
        for (char byte : all) {
            if (send(client, &byte, 1, 0) != 1 ||
                WaitForSingleObject(letGo, trickleMs.load()) == WAIT_OBJECT_0) {
                return;
            }
        }
        break;
    }
    case Mode::Huge: {
        std::string padded = body;
        if (padded.size() < HugeBytes) {
            padded.append(HugeBytes - padded.size(), ' ');
        }
        std::string head = http_wire::AnswerHead(reply.status, reply.contentType, padded.size());
        if (http_wire::SendAll(client, head.data(), head.size())) {
            http_wire::SendAll(client, padded.data(), padded.size());
        }
        break;
    }
    case Mode::CutOff: {
        std::string head = http_wire::AnswerHead(reply.status, reply.contentType, body.size());
        if (http_wire::SendAll(client, head.data(), head.size())) {
            http_wire::SendAll(client, body.data(), body.size() / 2);
        }
        return;
    }
    case Mode::ServerError: {
        const std::string text = "Internal Server Error\n";
        std::string all = http_wire::AnswerHead(500, "text/plain", text.size()) + text;
        http_wire::SendAll(client, all.data(), all.size());
        break;
    }
    case Mode::Malformed: {
        std::string all =
            http_wire::AnswerHead(200, "text/xml; charset=utf-8", sizeof(kMalformedXml) - 1) +
            kMalformedXml;
        http_wire::SendAll(client, all.data(), all.size());
        break;
    }
    default: {
        std::string all =
            http_wire::AnswerHead(reply.status, reply.contentType, body.size()) + body;
        http_wire::SendAll(client, all.data(), all.size());
        break;
    }
    }
    shutdown(client, SD_SEND);
}

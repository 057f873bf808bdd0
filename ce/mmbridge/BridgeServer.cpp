#include "BridgeServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// As ril.dll's line reader: a longer line is garbage, thrown away whole.
const size_t MAX_LINE = 512;
// A stop request is seen within this.
const int POLL_MS = 200;

bool SendAll(int socket, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t n = send(socket, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

BridgeServer::~BridgeServer() {
    Close();
    if (listener >= 0) {
        close(listener);
    }
}

bool BridgeServer::Listen(uint16_t wanted, std::string& why) {
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(wanted);
    socklen_t size = sizeof(address);
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 4) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        why = std::string("cannot listen on 127.0.0.1:") + std::to_string(wanted) + ": " +
              std::strerror(errno);
        return false;
    }
    port = ntohs(address.sin_port);
    return true;
}

void BridgeServer::Run(const std::atomic<bool>& stop, unsigned seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!stop && (seconds == 0 || std::chrono::steady_clock::now() < end)) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {client, POLLIN, 0}};
        int ready = poll(fds, client >= 0 ? 2 : 1, POLL_MS);
        if (ready <= 0) {
            continue;
        }
        if (fds[0].revents & POLLIN) {
            Accept();
        } else if (client >= 0 && fds[1].revents) {
            Receive();
        }
    }
}

void BridgeServer::Accept() {
    int accepted = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (accepted < 0) {
        return;
    }
    Close();
    std::string why;
    if (!modem.Find(why)) {
        // Said once per reason, not at every reconnect of the backend.
        if (why != lastWhy) {
            std::fprintf(stderr, "mmbridge: no modem to read (%s)\n", why.c_str());
            lastWhy = why;
        }
        close(accepted);
        return;
    }
    lastWhy.clear();
    client = accepted;
}

void BridgeServer::Receive() {
    char buffer[4096];
    ssize_t n = recv(client, buffer, sizeof(buffer), 0);
    if (n <= 0) {
        Close();
        return;
    }
    for (ssize_t i = 0; i < n && client >= 0; ++i) {
        char c = buffer[i];
        if (c != '\r' && c != '\n') {
            if (line.size() < MAX_LINE) {
                line += c >= 0x20 && c < 0x7F ? c : '\0';
            } else {
                overlong = true;
            }
            continue;
        }
        std::string command;
        for (char kept : line) {
            if (kept) {
                command += kept;
            }
        }
        bool skip = overlong || command.empty();
        line.clear();
        overlong = false;
        if (skip) {
            continue;
        }
        std::string answer;
        if (!face.Answer(command, answer)) {
            std::fprintf(stderr, "mmbridge: the modem is gone, closing the connection\n");
            Close();
        } else if (!SendAll(client, answer)) {
            Close();
        }
    }
}

void BridgeServer::Close() {
    if (client >= 0) {
        close(client);
        client = -1;
    }
    line.clear();
    overlong = false;
}

#include "NameLookup.h"

#include <new>

#include "LibraryThread.h"

namespace {

const DWORD SLICE_MS = 50;

} // namespace

// Shared by the caller and the lookup thread; the last of the two to let go deletes it.
struct NameLookup::Lookup {
    std::string host;
    std::string port;
    HANDLE done = nullptr;
    LONG references = 2;
    addrinfo* found = nullptr;
    int error = 0;

    Lookup(const std::string& host, const std::string& port)
        : host(host), port(port), done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Lookup() {
        if (found) {
            freeaddrinfo(found);
        }
        if (done) {
            CloseHandle(done);
        }
    }
};

addrinfo* NameLookup::Resolve(const std::string& host, const std::string& port, DWORD timeoutMs,
                              const std::atomic<bool>& stopping, int& error) {
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    // An address needs no resolver.
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) == 0 && found) {
        return found;
    }
    Lookup* lookup = new (std::nothrow) Lookup(host, port);
    HANDLE thread = lookup && lookup->done ? LibraryThread::Start(Run, lookup) : nullptr;
    if (!thread) {
        delete lookup;
        error = WSAENOBUFS;
        return nullptr;
    }
    CloseHandle(thread);
    error = WSAETIMEDOUT;
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        if (stopping) {
            error = WSAEINTR;
            break;
        }
        if (WaitForSingleObject(lookup->done, SLICE_MS) == WAIT_OBJECT_0) {
            found = lookup->found;
            lookup->found = nullptr;
            error = lookup->error;
            break;
        }
    }
    Release(lookup);
    return found;
}

DWORD WINAPI NameLookup::Run(void* parameter) {
    Lookup* lookup = static_cast<Lookup*>(parameter);
    // Its own hold on winsock: the port that asked may have closed its own meanwhile.
    WSADATA data;
    bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    int result = getaddrinfo(lookup->host.c_str(), lookup->port.c_str(), &hints, &lookup->found);
    lookup->error = result != 0 ? result : lookup->found ? 0 : WSAHOST_NOT_FOUND;
    SetEvent(lookup->done);
    Release(lookup);
    if (started) {
        WSACleanup();
    }
    return 0;
}

void NameLookup::Release(Lookup* lookup) {
    if (InterlockedDecrement(&lookup->references) == 0) {
        delete lookup;
    }
}

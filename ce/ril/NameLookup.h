#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <string>

// Resolves a host name on a thread of its own, so that waiting for it is bounded and ends at a
// stop request (the system's resolver has no time limit of its own). A lookup given up on ends
// by itself and frees what it holds.
class NameLookup {
public:
    // The addresses (free them with freeaddrinfo), or null with a winsock error in error
    // (WSAETIMEDOUT when the time ran out, WSAEINTR at a stop request).
    static addrinfo* Resolve(const std::string& host, const std::string& port, DWORD timeoutMs,
                             const std::atomic<bool>& stopping, int& error);

private:
    struct Lookup;
    static DWORD WINAPI Run(void* lookup);
    static void Release(Lookup* lookup);
};

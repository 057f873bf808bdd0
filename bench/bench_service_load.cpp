// The reference service under load from clients that do not behave: position requests over
// loopback while 50 slow clients hold connections (a request head one byte every 4 s, opened
// again whenever the server closes it) and the largest network's BTS database downloads over
// and over; then the process's memory after 1,000 and after 100,000 requests.
// Usage: bench_service_load EXPORT [requests] [memory-requests]

// winsock2.h (through HttpServer.h) must come before windows.h.
#include "HttpServer.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "CellExportReader.h"
#include "RefService.h"

namespace {

const int kSlowClients = 50;
const DWORD kSlowPaceMs = 4000;
const DWORD kRequestTimeoutMs = 2000;
// The baseline server answers nobody while a slow client holds it: give up after so many.
const int kFailuresInARow = 10;

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// Wine leaves PrivateUsage at 0; its PagefileUsage is the committed private memory.
double PrivateMegabytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    const SIZE_T bytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    return double(bytes) / (1 << 20);
}

double WorkingSetMegabytes() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return double(counters.WorkingSetSize) / (1 << 20);
}

SOCKET Connect(unsigned short port, DWORD timeoutMs) {
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof(timeoutMs));
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof(timeoutMs));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(client);
        return INVALID_SOCKET;
    }
    return client;
}

// One GET on a fresh connection, as the item's requests come; the whole reply, or empty when
// none came within the time-out.
std::string Get(unsigned short port, const std::string& target, DWORD timeoutMs) {
    SOCKET client = Connect(port, timeoutMs);
    std::string reply;
    if (client == INVALID_SOCKET) {
        return reply;
    }
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(client, request.data(), static_cast<int>(request.size()), 0) > 0) {
        char buffer[65536];
        int got;
        while ((got = recv(client, buffer, sizeof buffer, 0)) > 0) {
            reply.append(buffer, got);
        }
        if (got < 0) {
            reply.clear();
        }
    }
    closesocket(client);
    return reply;
}

// Connections that send a request head one byte at a time and never finish it.
class SlowClients {
public:
    SlowClients(unsigned short port) : port(port) {
        stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread = std::thread(&SlowClients::Run, this);
    }
    ~SlowClients() {
        SetEvent(stop);
        thread.join();
        CloseHandle(stop);
    }
    // Connections opened, also those opened again after the server closed one.
    long Opened() const { return opened.load(); }

private:
    void Run() {
        std::vector<SOCKET> sockets(kSlowClients, INVALID_SOCKET);
        do {
            for (SOCKET& socket : sockets) {
                if (socket != INVALID_SOCKET && !StillOpen(socket)) {
                    closesocket(socket);
                    socket = INVALID_SOCKET;
                }
                if (socket == INVALID_SOCKET) {
                    socket = Connect(port, 1000);
                    if (socket == INVALID_SOCKET) {
                        continue;
                    }
                    u_long nonBlocking = 1;
                    ioctlsocket(socket, FIONBIO, &nonBlocking);
                    ++opened;
                    const char start[] = "GET /files/slow.csv HTTP/1.1\r\nX-Slow: ";
                    send(socket, start, sizeof start - 1, 0);
                } else {
                    send(socket, "a", 1, 0);
                }
            }
        } while (WaitForSingleObject(stop, kSlowPaceMs) == WAIT_TIMEOUT);
        for (SOCKET socket : sockets) {
            if (socket != INVALID_SOCKET) {
                closesocket(socket);
            }
        }
    }
    // False once the server has closed the connection (or answered it).
    static bool StillOpen(SOCKET socket) {
        char buffer[512];
        const int got = recv(socket, buffer, sizeof buffer, 0);
        return got < 0 && WSAGetLastError() == WSAEWOULDBLOCK;
    }

    unsigned short port;
    HANDLE stop;
    std::atomic<long> opened{0};
    std::thread thread;
};

// Downloads one target over and over at full speed.
class Downloader {
public:
    Downloader(unsigned short port, const std::string& target) : port(port), target(target) {
        thread = std::thread(&Downloader::Run, this);
    }
    ~Downloader() { Stop(); }
    void Stop() {
        stopping = true;
        if (thread.joinable()) {
            thread.join();
        }
    }
    // After Stop.
    void Report() const {
        std::printf("  meanwhile: %d downloads of %s (%.1f MB each), the first in %.2f s, "
                    "%d not complete\n",
                    done, target.c_str(), double(size) / 1e6, first, failed);
    }

private:
    void Run() {
        while (!stopping) {
            const double start = Now();
            const std::string reply = Get(port, target, 30000);
            if (reply.compare(0, 12, "HTTP/1.1 200") != 0) {
                ++failed;
                continue;
            }
            if (done++ == 0) {
                first = Now() - start;
            }
            size = reply.size();
        }
    }

    unsigned short port;
    std::string target;
    std::atomic<bool> stopping{false};
    int done = 0;
    int failed = 0;
    double first = 0;
    size_t size = 0;
    std::thread thread;
};

// Sequential position requests; prints the median and the 99th percentile of those answered.
void Measure(const char* label, unsigned short port, const std::vector<std::string>& targets,
             int count) {
    std::vector<double> times;
    int failures = 0, inARow = 0, positions = 0;
    for (int i = 0; i < count && inARow < kFailuresInARow; ++i) {
        const double start = Now();
        const std::string reply = Get(port, targets[i % targets.size()], kRequestTimeoutMs);
        if (reply.find("<ErrorCode>0</ErrorCode>") == std::string::npos) {
            ++failures;
            ++inARow;
            continue;
        }
        inARow = 0;
        ++positions;
        times.push_back(Now() - start);
    }
    if (times.empty()) {
        std::printf("position requests %s: none answered within %lu ms (%d tried)\n", label,
                    kRequestTimeoutMs, failures);
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf("position requests %s: median %.2f ms, 99th percentile %.2f ms, worst %.2f ms "
                "(%d answered, %d not within %lu ms)\n",
                label, times[times.size() / 2] * 1e3, times[times.size() * 99 / 100] * 1e3,
                times.back() * 1e3, positions, failures, kRequestTimeoutMs);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_service_load EXPORT [requests] [memory-requests]\n");
        return 2;
    }
    // Each figure as it comes: the run takes minutes.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int requests = argc > 2 ? std::max(1, _wtoi(argv[2])) : 2000;
    const int memoryRequests = argc > 3 ? std::max(1000, _wtoi(argv[3])) : 100000;
    RefService service;
    service.AddKey("bench@kestrel.example", "BENCH");
    if (!service.Cells().Load(argv[1])) {
        std::fprintf(stderr, "%s\n", service.Cells().Error().c_str());
        return 1;
    }
    // Cells to ask for (every 50th line) and the network with the most cells.
    CellExportReader reader;
    reader.Open(argv[1]);
    CellRecord cell;
    std::map<std::string, size_t> perNetwork;
    std::vector<std::string> targets;
    for (size_t i = 0; reader.Next(cell); ++i) {
        const std::string network = NetworkId(cell.mcc, cell.net);
        ++perNetwork[network];
        if (i % 50 == 0 && targets.size() < 20000) {
            const std::string id = std::to_string(cell.cell);
            targets.push_back(
                "/KestrelService.Svc/GSMTEST/GsmQuery?keyName=bench@kestrel.example&hash=" +
                RefService::ExpectedHash("BENCH", id) + "&networkCode=" + network +
                "&lac=" + std::to_string(cell.area) + "&cellId=" + id);
        }
    }
    auto largest =
        std::max_element(perNetwork.begin(), perNetwork.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    std::printf("data: %zu cells of %zu networks, the largest %s with %zu lines\n",
                service.Cells().Size(), service.Cells().Networks(), largest->first.c_str(),
                largest->second);

    HttpServer server(service);
    if (!server.Start(0)) {
        std::fprintf(stderr, "cannot listen\n");
        return 1;
    }
    Measure("alone", server.Port(), targets, requests / 10);
    {
        SlowClients slow(server.Port());
        Downloader download(server.Port(), "/gsmdb/" + largest->first + ".csv");
        // The slow clients' first bytes are out before the first request.
        Sleep(500);
        Measure("under load", server.Port(), targets, requests);
        download.Stop();
        std::printf("  meanwhile: %d slow clients, %ld connections opened by them\n", kSlowClients,
                    slow.Opened());
        download.Report();
    }

    int done = 0;
    auto run = [&](int until) {
        for (; done < until; ++done) {
            Get(server.Port(), targets[done % targets.size()], kRequestTimeoutMs);
        }
    };
    run(1000);
    const double privateAt1000 = PrivateMegabytes(), workingAt1000 = WorkingSetMegabytes();
    const double start = Now();
    run(memoryRequests);
    const double seconds = Now() - start;
    std::printf("memory after 1,000 requests: private %.1f MB, working set %.1f MB\n",
                privateAt1000, workingAt1000);
    std::printf("memory after %d requests: private %.1f MB, working set %.1f MB (%.0f requests/s "
                "between)\n",
                memoryRequests, PrivateMegabytes(), WorkingSetMegabytes(),
                (memoryRequests - 1000) / seconds);
    server.Stop();
    return 0;
}

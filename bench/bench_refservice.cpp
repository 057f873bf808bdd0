// The reference service on a large export: load time and memory, a lookup inside the process,
// a position request over HTTP, and the largest network's BTS database written on request.
// Usage: bench_refservice EXPORT [requests]

// winsock2.h (through HttpServer.h) must come before windows.h.
#include "HttpServer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "CellExportReader.h"
#include "ProcessMemory.h"
#include "RefService.h"

namespace {

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

// One GET on a fresh connection, as the item's requests come; the reply's body.
std::string Get(unsigned short port, const std::string& target) {
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::string reply;
    if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        send(client, request.data(), static_cast<int>(request.size()), 0);
        char buffer[4096];
        int got;
        while ((got = recv(client, buffer, sizeof buffer, 0)) > 0) {
            reply.append(buffer, got);
        }
    }
    closesocket(client);
    return reply.substr(std::min(reply.size(), reply.find("\r\n\r\n") + 4));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_refservice EXPORT [requests]\n");
        return 2;
    }
    const int requests = argc > 2 ? std::max(1, _wtoi(argv[2])) : 2000;
    RefService service;
    service.AddKey("bench@kestrel.example", "BENCH");
    const double loadStart = Now();
    if (!service.Cells().Load(argv[1])) {
        std::fprintf(stderr, "%s\n", service.Cells().Error().c_str());
        return 1;
    }
    const double loadSeconds = Now() - loadStart;
    std::printf("load: %zu cells of %zu networks in %.1f s, memory %.0f MB (peak %.0f MB)\n",
                service.Cells().Size(), service.Cells().Networks(), loadSeconds,
                double(CurrentMemoryBytes()) / (1 << 20), double(PeakMemoryBytes()) / (1 << 20));

    // Cells to ask for: every 50th of the export's first million lines, in random order.
    std::vector<CellRecord> asked;
    CellExportReader reader;
    reader.Open(argv[1]);
    CellRecord cell;
    for (int i = 0; i < 1000000 && reader.Next(cell); ++i) {
        if (i % 50 == 0) {
            asked.push_back(cell);
        }
    }
    std::shuffle(asked.begin(), asked.end(), std::mt19937(16));
    std::vector<std::string> codes;
    for (const CellRecord& c : asked) {
        codes.push_back(NetworkId(c.mcc, c.net));
    }

    CellDatabase::Position position;
    size_t found = 0;
    const int rounds = 50;
    const double findStart = Now();
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < asked.size(); ++i) {
            found += service.Cells().Find(codes[i], asked[i].area, asked[i].cell, position);
        }
    }
    const double findSeconds = Now() - findStart;
    std::printf("lookup in the process: %.0f ns (%zu of %zu found)\n",
                findSeconds / (rounds * asked.size()) * 1e9, found / rounds, asked.size());

    // The whole answer inside the process: query parsed, key and hash checked, cell found,
    // reply written.
    std::vector<std::string> targets;
    for (size_t i = 0; i < asked.size() && i < size_t(requests); ++i) {
        const std::string id = std::to_string(asked[i].cell);
        targets.push_back(
            "/KestrelService.Svc/GSMTEST/GsmQuery?keyName=bench@kestrel.example&hash=" +
            RefService::ExpectedHash("BENCH", id) + "&networkCode=" + codes[i] +
            "&lac=" + std::to_string(asked[i].area) + "&cellId=" + id);
    }
    const double handleStart = Now();
    size_t answered = 0;
    for (const std::string& target : targets) {
        answered +=
            service.Handle(target).body.find("<ErrorCode>0</ErrorCode>") != std::string::npos;
    }
    std::printf("position request answered in the process: %.3f ms (%zu of %zu with a position)\n",
                (Now() - handleStart) / targets.size() * 1e3, answered, targets.size());

    HttpServer server(service);
    if (!server.Start(0)) {
        std::fprintf(stderr, "cannot listen\n");
        return 1;
    }
    std::vector<double> times;
    answered = 0;
    for (int i = 0; i < requests; ++i) {
        const double start = Now();
        const std::string body = Get(server.Port(), targets[i % targets.size()]);
        times.push_back(Now() - start);
        answered += body.find("<ErrorCode>0</ErrorCode>") != std::string::npos;
    }
    std::sort(times.begin(), times.end());
    std::printf("position request over HTTP: median %.2f ms, 99th percentile %.2f ms (%zu of %d "
                "answered with a position)\n",
                times[times.size() / 2] * 1e3, times[times.size() * 99 / 100] * 1e3, answered,
                requests);

    // The largest of the asked networks' databases, as the sources page downloads it.
    std::string largest;
    size_t largestSize = 0;
    for (const std::string& id : std::set<std::string>(codes.begin(), codes.end())) {
        std::string bytes;
        if (service.Cells().BtsDatabase(id, bytes) && bytes.size() > largestSize) {
            largest = id;
            largestSize = bytes.size();
        }
    }
    const double dbStart = Now();
    const std::string database = Get(server.Port(), "/gsmdb/" + largest + ".csv");
    std::printf("/gsmdb/%s.csv over HTTP: %.1f MB in %.2f s\n", largest.c_str(),
                double(database.size()) / 1e6, Now() - dbStart);
    server.Stop();
    return 0;
}

#include "ModemSimulator.h"

#include <ws2tcpip.h>

#include <algorithm>

#include "SimModem.h"

namespace {

const DWORD SLICE_MS = 50;
const size_t MAX_COMMAND = 256;

// Unsolicited result codes as modems send them; the +CREG ones name a cell that is never the
// scenario's, so a host that takes them for an answer shows it.
const char* const NOISE[] = {
    "RING",
    "+CREG: 1,\"7FFF\",\"7FFF\",0",
    "+CMTI: \"SM\",3",
    "+CREG: 2,8BE3,2BAF",
    "^RSSI: 9",
    "+CGREG: 1,\"7FFF\",\"00007FFF\",3,\"00\"",
    "^HCSQ:\"WCDMA\",36,26,45",
    "+CEREG: 1,\"7FFF\",\"00007FFF\",7",
};

const char* const NMEA = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
                         "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n"
                         "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
                         "$GPGSV,2,1,08,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45*75\r\n";
const size_t STREAM_PIECE = 512;

} // namespace

bool SimFaults::SetStream(const std::string& name) {
    const struct {
        const char* name;
        Stream stream;
    } streams[] = {
        {"nmea", Nmea}, {"binary", Binary}, {"noeol", NoLineEnds}, {"lines", ShortLines}};
    for (const auto& known : streams) {
        if (name == known.name) {
            stream = known.stream;
            return true;
        }
    }
    return false;
}

ModemSimulator::ModemSimulator(const Scenario& scenario, const std::string& dialect,
                               const std::string& rat, const SimFaults& faults)
    : scenario(scenario), dialect(dialect), rat(rat), faults(faults), stream(faults.stream),
      streamAfter(faults.streamAfter) {}

ModemSimulator::~ModemSimulator() {
    Stop();
}

bool ModemSimulator::Start(unsigned short wanted) {
    SimModem check;
    WSADATA data;
    if (!check.Configure(dialect, rat) || WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return false;
    }
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(wanted);
    int length = sizeof(address);
    if (listener == INVALID_SOCKET ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener, 8) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener != INVALID_SOCKET) {
            closesocket(listener);
        }
        listener = INVALID_SOCKET;
        WSACleanup();
        return false;
    }
    port = ntohs(address.sin_port);
    listenThread = std::thread(&ModemSimulator::Listen, this);
    return true;
}

void ModemSimulator::Stop() {
    if (!listenThread.joinable()) {
        return;
    }
    stopping = true;
    listenThread.join();
    for (std::thread& session : sessions) {
        session.join();
    }
    sessions.clear();
    closesocket(listener);
    listener = INVALID_SOCKET;
    WSACleanup();
}

void ModemSimulator::SetSilent(bool value) {
    silent = value;
}

void ModemSimulator::SetStream(SimFaults::Stream kind) {
    streamAfter = 0;
    stream = kind;
}

void ModemSimulator::SetOnline(bool value) {
    online = value;
    if (!value) {
        std::lock_guard<std::mutex> hold(mutex);
        // The sessions notice and end; their reads fail at once.
        for (SOCKET client : clients) {
            shutdown(client, SD_BOTH);
        }
    }
}

bool ModemSimulator::WaitForConnections(DWORD count, DWORD timeoutMs) {
    std::unique_lock<std::mutex> hold(mutex);
    return changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                            [&] { return connections >= count; });
}

void ModemSimulator::Listen() {
    while (!stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener, &readable);
        timeval wait = {0, static_cast<long>(SLICE_MS * 1000)};
        if (select(0, &readable, nullptr, nullptr, &wait) != 1) {
            continue;
        }
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            continue;
        }
        if (!online) {
            closesocket(client);
            continue;
        }
        BOOL noDelay = TRUE;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                   sizeof(noDelay));
        std::lock_guard<std::mutex> hold(mutex);
        clients.push_back(client);
        // In time mode the walk starts when the first host connects.
        if (connections == 0) {
            started = GetTickCount();
        }
        ++connections;
        changed.notify_all();
        sessions.emplace_back(&ModemSimulator::Serve, this, client);
    }
}

void ModemSimulator::Restart() {
    ++restarts;
}

void ModemSimulator::Serve(SOCKET client) {
    SimModem modem;
    modem.Configure(dialect, rat);
    DWORD restarted = restarts;
    std::string line;
    bool drop = false;
    char buffer[512];
    unsigned seed = 12345;
    std::vector<std::string> answered;
    while (!stopping && online && !drop) {
        if (restarted != restarts) {
            restarted = restarts;
            modem = SimModem();
            modem.Configure(dialect, rat);
            line.clear();
            Send(client, "\r\nRDY\r\n");
            ++announced;
        }
        if (Streaming() && !SendStream(client, seed)) {
            break;
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        // While streaming, commands are read and go unanswered.
        timeval wait = {0, Streaming() ? 0 : static_cast<long>(SLICE_MS * 1000)};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == 0) {
            continue;
        }
        int got = ready > 0 ? recv(client, buffer, sizeof(buffer), 0) : -1;
        if (got <= 0) {
            break;
        }
        for (int i = 0; i < got && !drop; ++i) {
            char c = buffer[i];
            if (c == '\r' || c == '\n') {
                if (!line.empty() && !Streaming()) {
                    bool first =
                        std::find(answered.begin(), answered.end(), line) == answered.end();
                    if (first && faults.errorOnce) {
                        answered.push_back(line);
                        ++commands;
                        drop = !Send(client, "\r\nERROR\r\n");
                    } else {
                        Handle(client, modem, line, drop);
                    }
                }
                line.clear();
            } else if (line.size() < MAX_COMMAND) {
                line += c;
            }
        }
    }
    std::lock_guard<std::mutex> hold(mutex);
    clients.erase(std::find(clients.begin(), clients.end(), client));
    closesocket(client);
}

const ScenarioStep& ModemSimulator::StepFor(const std::string& command) {
    std::lock_guard<std::mutex> hold(mutex);
    if (scenario.timed) {
        return scenario.StepForTime(GetTickCount() - started);
    }
    bool opensCycle = _stricmp(command.c_str(), "AT+COPS?") == 0;
    if (opensCycle) {
        ++cycles;
    }
    return scenario.StepForCycle(cycles > 0 ? cycles - 1 : 0);
}

void ModemSimulator::Handle(SOCKET client, SimModem& modem, const std::string& command,
                            bool& drop) {
    DWORD count = ++commands;
    const ScenarioStep& step = StepFor(command);
    RilQuery query = modem.QueryOf(command);
    Answer answer =
        query == RilQuery::Count ? Answer::Result : step.answers[static_cast<int>(query)];
    if (silent || scenario.initFailures != 0 || answer == Answer::Never) {
        return;
    }
    std::string bytes;
    if (modem.echo || faults.echo) {
        bytes += command + "\r";
    }
    if (faults.garbage) {
        bytes +=
            std::string("\r\n\x01\xff\xfe\x1b[0m~~\x80 \r\n", 14) + std::string(700, 'x') + "\r\n";
    }
    std::vector<std::string> lines;
    std::string final;
    if (answer == Answer::Failure) {
        final = modem.ErrorCode();
    } else {
        modem.Answer(command, step, lines, final);
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        bytes += "\r\n" + lines[i] + "\r\n";
        if (faults.noise) {
            bytes += std::string("\r\n") + NOISE[noise++ % 8] + "\r\n";
        }
    }
    if (faults.noise) {
        bytes = std::string("\r\n") + NOISE[noise++ % 8] + "\r\n" + bytes;
    }
    bytes += "\r\n" + final + "\r\n";
    if (faults.noise) {
        bytes += std::string("\r\n") + NOISE[noise++ % 8] + "\r\n";
    }
    Pause(faults.slowMs);
    if (!Send(client, bytes) || (faults.dropAfter && count % faults.dropAfter == 0)) {
        drop = true;
    }
}

bool ModemSimulator::Send(SOCKET client, const std::string& bytes) {
    // Split: cut inside the first line, in the middle, and inside the final result code, with
    // a pause at each cut so that the host reads the pieces apart.
    std::vector<size_t> cuts = {0};
    if (faults.split && bytes.size() > 8) {
        cuts.insert(cuts.end(), {3, bytes.size() / 2, bytes.size() - 3});
    }
    cuts.push_back(bytes.size());
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
        if (i > 0) {
            Sleep(5);
        }
        int size = static_cast<int>(cuts[i + 1] - cuts[i]);
        if (send(client, bytes.data() + cuts[i], size, 0) != size) {
            return false;
        }
    }
    return true;
}

bool ModemSimulator::Streaming() const {
    return stream != SimFaults::NoStream && commands >= streamAfter;
}

bool ModemSimulator::SendStream(SOCKET client, unsigned& seed) {
    std::string piece;
    switch (stream) {
    case SimFaults::Nmea:
        while (piece.size() < STREAM_PIECE) {
            piece += NMEA;
        }
        break;
    case SimFaults::Binary:
        for (size_t i = 0; i < STREAM_PIECE; ++i) {
            seed = seed * 1103515245u + 12345u;
            piece += static_cast<char>(seed >> 16);
        }
        break;
    case SimFaults::NoLineEnds:
        piece.assign(STREAM_PIECE, 'x');
        break;
    default:
        while (piece.size() < STREAM_PIECE) {
            piece += "+CREG: 1\r\n";
        }
        break;
    }
    // Waits for room in slices, so that stopping never waits for a host that does not read.
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(client, &writable);
    timeval wait = {0, static_cast<long>(SLICE_MS * 1000)};
    int ready = select(0, nullptr, &writable, nullptr, &wait);
    return ready == 0 ||
           (ready == 1 && send(client, piece.data(), static_cast<int>(piece.size()), 0) > 0);
}

void ModemSimulator::Pause(DWORD ms) {
    DWORD start = GetTickCount();
    while (!stopping && GetTickCount() - start < ms) {
        Sleep(std::min<DWORD>(SLICE_MS, ms - (GetTickCount() - start)));
    }
}

// mmbridge: one of ModemManager's modems as an AT modem on a TCP port of 127.0.0.1, for
// ril.dll's "tcp:" modem backend under Wine, which cannot speak D-Bus itself.
//
//   mmbridge [--modem N] [--port N] [--bus ADDRESS] [--seconds N]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "BridgeServer.h"
#include "ModemManagerClient.h"

namespace {

std::atomic<bool> stopRequested{false};

void RequestStop(int) {
    stopRequested = true;
}

int Usage() {
    std::fprintf(stderr, "usage: mmbridge [--modem N] [--port N] [--bus ADDRESS] [--seconds N]\n");
    return 1;
}

bool Number(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == 0 && value >= low && value <= high;
}

} // namespace

int main(int argc, char** argv) {
    long index = -1;
    long port = 0;
    long seconds = 0;
    std::string bus;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc) {
            return Usage();
        }
        const char* value = argv[++i];
        if (option == "--modem"     ? !Number(value, 0, 999999, index)
            : option == "--port"    ? !Number(value, 0, 65535, port)
            : option == "--seconds" ? !Number(value, 0, 86400 * 365, seconds)
            : option == "--bus"     ? (bus = value).empty()
                                    : true) {
            return Usage();
        }
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    std::signal(SIGPIPE, SIG_IGN);

    ModemManagerClient modem(bus, static_cast<int>(index));
    BridgeServer server(modem);
    std::string why;
    if (!server.Listen(static_cast<uint16_t>(port), why)) {
        std::fprintf(stderr, "mmbridge: %s\n", why.c_str());
        return 1;
    }
    std::string which = index < 0 ? "its first modem" : "modem " + std::to_string(index);
    std::printf("mmbridge: listening on 127.0.0.1:%u (ModemManager, %s)\n", server.Port(),
                which.c_str());
    std::fflush(stdout);
    if (!modem.Find(why)) {
        std::fprintf(stderr, "mmbridge: no modem yet (%s); waiting for it\n", why.c_str());
    }
    server.Run(stopRequested, static_cast<unsigned>(seconds));
    return 0;
}

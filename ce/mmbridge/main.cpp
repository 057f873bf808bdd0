// mmbridge: one of ModemManager's modems as an AT modem on a TCP port of 127.0.0.1, for
// ril.dll's "tcp:" modem backend under Wine, which cannot speak D-Bus itself.
//
//   mmbridge [--modem N] [--port N] [--bus ADDRESS] [--seconds N]
//   mmbridge --ports [--bus ADDRESS]     the ports ModemManager's modems have, one a line:
//                                        NAME<TAB>TYPE<TAB>MODEM (TYPE: at, gps, ignored, ...)
#include <ModemManager.h>

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
    std::fprintf(stderr, "usage: mmbridge [--modem N] [--port N] [--bus ADDRESS] [--seconds N]\n"
                         "       mmbridge --ports [--bus ADDRESS]\n");
    return 1;
}

const char* PortType(uint32_t type) {
    switch (type) {
    case MM_MODEM_PORT_TYPE_NET:
        return "net";
    case MM_MODEM_PORT_TYPE_AT:
        return "at";
    case MM_MODEM_PORT_TYPE_QCDM:
        return "qcdm";
    case MM_MODEM_PORT_TYPE_GPS:
        return "gps";
    case MM_MODEM_PORT_TYPE_QMI:
        return "qmi";
    case MM_MODEM_PORT_TYPE_MBIM:
        return "mbim";
    case MM_MODEM_PORT_TYPE_AUDIO:
        return "audio";
    case MM_MODEM_PORT_TYPE_IGNORED:
        return "ignored";
    default:
        return "other";
    }
}

int ListPorts(const std::string& bus) {
    ModemManagerClient modems(bus, -1);
    std::vector<ModemManagerClient::Port> ports;
    std::string why;
    if (!modems.ListPorts(ports, why)) {
        std::fprintf(stderr, "mmbridge: %s\n", why.c_str());
        return 1;
    }
    for (const ModemManagerClient::Port& port : ports) {
        std::printf("%s\t%s\t%s\n", port.name.c_str(), PortType(port.type), port.modem.c_str());
    }
    return 0;
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
    bool ports = false;
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--ports") {
            ports = true;
            continue;
        }
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
    if (ports) {
        return ListPorts(bus);
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

// modemports: what each of the given COM ports is, told the way ril.dll's modem backend tells
// it when it opens a port (PortProbe): one line per port, for tools/modem-ports.sh.
//
//   modemports.exe COM30 COM31 ...
//   COM30<TAB>at<TAB>Quectel EG25
//   COM31<TAB>nmea<TAB>NMEA sentences: the modem's GPS port, try another
//   COM32<TAB>unavailable<TAB>cannot open the port (error 5)
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "ModemPort.h"
#include "PortProbe.h"

namespace {

const DWORD BAUD = 115200;
const DWORD IDENTIFY_MS = 1000;

std::string Narrow(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

const char* KindName(PortVerdict::Kind kind) {
    switch (kind) {
    case PortVerdict::AtPort:
        return "at";
    case PortVerdict::Nmea:
        return "nmea";
    case PortVerdict::Binary:
        return "binary";
    case PortVerdict::NoLineEnds:
    case PortVerdict::OtherText:
        return "other";
    case PortVerdict::Silent:
        return "silent";
    default:
        return "failed";
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: modemports.exe COMn [COMn...]\n");
        return 1;
    }
    std::atomic<bool> stopping{false};
    for (int i = 1; i < argc; ++i) {
        std::wstring name = argv[i];
        std::wstring error;
        std::unique_ptr<ModemPort> port = ModemPort::Open(name, BAUD, stopping, error);
        std::string line = Narrow(name) + "\t";
        if (!port) {
            // The error begins with the port's name.
            std::wstring reason = error.compare(0, name.size() + 2, name + L": ") == 0
                                      ? error.substr(name.size() + 2)
                                      : error;
            line += "unavailable\t" + Narrow(reason);
        } else {
            PortProbe probe(*port, stopping);
            PortVerdict verdict = probe.Run();
            if (verdict.kind == PortVerdict::AtPort) {
                probe.Identify(verdict, IDENTIFY_MS);
                line += "at\t" + verdict.manufacturer + " " + verdict.model;
            } else {
                line += std::string(KindName(verdict.kind)) + "\t" + Narrow(verdict.Reason());
            }
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    return 0;
}

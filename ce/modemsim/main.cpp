// modemsim.exe: an AT modem on a TCP port of 127.0.0.1, for tests and the demo (docs/ril-modem.md).

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ModemSimulator.h"

namespace {

int Usage() {
    fprintf(stderr,
            "usage: modemsim [--scenario FILE] [--dialect generic|quectel|simcom|telit|cinterion]\n"
            "                [--rat gsm|umts|lte] [--port N] [--mode cycle|time] [--step-ms MS]\n"
            "                [--seconds N] [--slow MS] [--echo] [--noise] [--garbage] [--split]\n"
            "                [--drop-after N] [--error-once] [--stream nmea|binary|noeol|lines]\n"
            "                [--stream-after N]\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring scenarioPath;
    std::string dialect = "generic", rat = "gsm", mode;
    DWORD stepMs = 0, seconds = 0;
    unsigned short port = 0;
    SimFaults faults;
    for (int i = 1; i < argc; ++i) {
        std::wstring option = argv[i];
        bool hasValue = i + 1 < argc;
        std::wstring value = hasValue ? argv[i + 1] : L"";
        std::string narrow(value.begin(), value.end());
        DWORD number = wcstoul(value.c_str(), nullptr, 10);
        if (option == L"--echo") {
            faults.echo = true;
        } else if (option == L"--noise") {
            faults.noise = true;
        } else if (option == L"--garbage") {
            faults.garbage = true;
        } else if (option == L"--split") {
            faults.split = true;
        } else if (option == L"--error-once") {
            faults.errorOnce = true;
        } else if (!hasValue) {
            return Usage();
        } else {
            ++i;
            if (option == L"--scenario") {
                scenarioPath = value;
            } else if (option == L"--dialect") {
                dialect = narrow;
            } else if (option == L"--rat") {
                rat = narrow;
            } else if (option == L"--port") {
                port = static_cast<unsigned short>(number);
            } else if (option == L"--mode") {
                mode = narrow;
            } else if (option == L"--step-ms") {
                stepMs = number;
            } else if (option == L"--seconds") {
                seconds = number;
            } else if (option == L"--slow") {
                faults.slowMs = number;
            } else if (option == L"--drop-after") {
                faults.dropAfter = number;
            } else if (option == L"--stream") {
                if (!faults.SetStream(narrow)) {
                    return Usage();
                }
            } else if (option == L"--stream-after") {
                faults.streamAfter = number;
            } else {
                return Usage();
            }
        }
    }
    Scenario scenario = Scenario::Default();
    std::wstring error;
    if (!scenarioPath.empty() && !scenario.Load(scenarioPath, error)) {
        fwprintf(stderr, L"modemsim: %ls\n", error.c_str());
        return 1;
    }
    if (mode == "time" || mode == "cycle") {
        scenario.timed = mode == "time";
    }
    if (stepMs > 0) {
        scenario.stepMs = stepMs;
    }
    ModemSimulator simulator(scenario, dialect, rat, faults);
    if (!simulator.Start(port)) {
        fprintf(stderr, "modemsim: cannot listen on port %u, or unknown dialect '%s' or rat '%s'\n",
                port, dialect.c_str(), rat.c_str());
        return 1;
    }
    printf("modemsim: listening on 127.0.0.1:%u (dialect %s, rat %s)\n", simulator.Port(),
           dialect.c_str(), rat.c_str());
    fflush(stdout);
    DWORD start = GetTickCount();
    while (seconds == 0 || GetTickCount() - start < seconds * 1000) {
        Sleep(200);
    }
    simulator.Stop();
    return 0;
}

#pragma once

#include <systemd/sd-bus.h>

#include <string>
#include <vector>

#include "ModemSource.h"

// One of ModemManager's modems read over D-Bus while the daemon keeps it. The modem is chosen
// by its index (the N of /org/freedesktop/ModemManager1/Modem/N) or, with none given, as the
// first the daemon lists; once found it is followed by its device identifier, so the same modem
// is found again when the daemon restarts or the modem is plugged in again under a new index.
// The location's 3GPP source and the signal's refresh are switched on when the modem is
// found, beside whatever the user's own programs have switched on.
class ModemManagerClient : public ModemSource {
public:
    // address: a D-Bus address, e.g. "unix:path=/run/bus"; empty: the system bus. index < 0:
    // the first modem.
    ModemManagerClient(const std::string& address, int index);
    ~ModemManagerClient() override;
    ModemManagerClient(const ModemManagerClient&) = delete;
    ModemManagerClient& operator=(const ModemManagerClient&) = delete;

    struct Port {
        std::string name;  // "ttyUSB2", "cdc-wdm0", "wwan0"
        uint32_t type = 0; // MM_MODEM_PORT_TYPE_*
        std::string modem; // the modem's object path
    };
    // The ports of every modem; false when ModemManager cannot be asked.
    bool ListPorts(std::vector<Port>& ports, std::string& why);
    // Finds the modem when it is not known yet; false when there is none (the reason in why).
    bool Find(std::string& why);
    bool Read(ModemPart part, ModemSnapshot& snapshot) override;
    const std::string& Path() const { return path; }

private:
    bool Connect(std::string& why);
    bool ListModems(std::vector<std::string>& modems, std::string& why);
    void Forget(const char* reason);
    void SetUp();
    bool ReadText(const std::string& object, const char* interface, const char* name,
                  std::string& value);
    bool ReadUnsigned(const char* interface, const char* name, uint32_t& value);
    bool ReadSignal(ModemSnapshot& snapshot);
    bool ReadLocation(ModemSnapshot& snapshot);
    bool ReadCellInfo(ModemSnapshot& snapshot);

    std::string address;
    int index;
    sd_bus* bus = nullptr;
    std::string path;     // empty: no modem now
    std::string identity; // Modem.DeviceIdentifier of the modem followed
};

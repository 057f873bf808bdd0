#include "ModemManagerClient.h"

#include <ModemManager.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char* const SERVICE = MM_DBUS_SERVICE;
const char* const MODEM_PREFIX = MM_DBUS_MODEM_PREFIX "/";
// A daemon that hangs must not hang the AT face: ril.dll waits 5 s for a command.
const uint64_t CALL_TIMEOUT_USEC = 2 * 1000 * 1000;
// Bounds on what the daemon may list.
const int MAX_OBJECTS = 256;
const int MAX_ENTRIES = 256;
// How often ModemManager refreshes Modem.Signal when nobody else asked for a rate, in seconds.
const uint32_t SIGNAL_RATE = 2;

// Skips one dictionary entry's value, or reads it when it has the type wanted.
template <typename T> bool ReadVariant(sd_bus_message* message, char type, T& value) {
    char found = 0;
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(message, &found, &contents) < 0 || found != 'v' || !contents ||
        contents[0] != type || contents[1] != 0) {
        sd_bus_message_skip(message, "v");
        return false;
    }
    const char signature[2] = {type, 0};
    return sd_bus_message_read(message, "v", signature, &value) >= 0;
}

int IndexOf(const std::string& path) {
    const char* digits = path.c_str() + std::strlen(MODEM_PREFIX);
    char* end = nullptr;
    long index = std::strtol(digits, &end, 10);
    return end != digits && *end == 0 && index >= 0 && index < 1000000 ? static_cast<int>(index)
                                                                       : -1;
}

} // namespace

ModemManagerClient::ModemManagerClient(const std::string& address, int index)
    : address(address), index(index) {}

ModemManagerClient::~ModemManagerClient() {
    if (bus) {
        sd_bus_flush_close_unref(bus);
    }
}

bool ModemManagerClient::Connect(std::string& why) {
    if (bus && sd_bus_is_open(bus) > 0) {
        return true;
    }
    if (bus) {
        bus = sd_bus_flush_close_unref(bus);
    }
    int r = 0;
    if (address.empty()) {
        r = sd_bus_open_system(&bus);
    } else if ((r = sd_bus_new(&bus)) >= 0) {
        sd_bus_set_address(bus, address.c_str());
        sd_bus_set_bus_client(bus, 1);
        r = sd_bus_start(bus);
    }
    if (r < 0) {
        why = std::string("cannot reach the D-Bus system bus: ") + std::strerror(-r);
        if (bus) {
            bus = sd_bus_flush_close_unref(bus);
        }
        return false;
    }
    sd_bus_set_method_call_timeout(bus, CALL_TIMEOUT_USEC);
    return true;
}

void ModemManagerClient::Forget(const char* reason) {
    if (!path.empty()) {
        std::fprintf(stderr, "mmbridge: lost the modem %s: %s\n", path.c_str(), reason);
    }
    path.clear();
    if (bus && sd_bus_is_open(bus) <= 0) {
        bus = sd_bus_flush_close_unref(bus);
    }
}

bool ModemManagerClient::ListModems(std::vector<std::string>& modems, std::string& why) {
    if (!Connect(why)) {
        return false;
    }
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_call_method(bus, SERVICE, MM_DBUS_PATH, "org.freedesktop.DBus.ObjectManager",
                               "GetManagedObjects", &error, &reply, "");
    if (r >= 0 && sd_bus_message_enter_container(reply, 'a', "{oa{sa{sv}}}") > 0) {
        for (int i = 0;
             i < MAX_OBJECTS && sd_bus_message_enter_container(reply, 'e', "oa{sa{sv}}") > 0; ++i) {
            const char* object = nullptr;
            if (sd_bus_message_read(reply, "o", &object) >= 0 &&
                std::strncmp(object, MODEM_PREFIX, std::strlen(MODEM_PREFIX)) == 0) {
                modems.push_back(object);
            }
            sd_bus_message_skip(reply, "a{sa{sv}}");
            sd_bus_message_exit_container(reply);
        }
    }
    sd_bus_message_unref(reply);
    if (r < 0) {
        why = std::string("ModemManager does not answer: ") +
              (error.message ? error.message : std::strerror(-r));
        sd_bus_error_free(&error);
        Forget(why.c_str());
        return false;
    }
    return true;
}

bool ModemManagerClient::ListPorts(std::vector<Port>& ports, std::string& why) {
    std::vector<std::string> modems;
    if (!ListModems(modems, why)) {
        return false;
    }
    for (const std::string& modem : modems) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        if (sd_bus_get_property(bus, SERVICE, modem.c_str(), MM_DBUS_INTERFACE_MODEM, "Ports",
                                &error, &reply, "a(su)") >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "(su)") > 0) {
            const char* name = nullptr;
            uint32_t type = 0;
            for (int i = 0; i < MAX_ENTRIES && sd_bus_message_read(reply, "(su)", &name, &type) > 0;
                 ++i) {
                ports.push_back({name, type, modem});
            }
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }
    return true;
}

bool ModemManagerClient::Find(std::string& why) {
    if (!path.empty()) {
        return true;
    }
    std::vector<std::string> modems;
    if (!ListModems(modems, why)) {
        return false;
    }
    std::string chosen;
    int chosenIndex = -1;
    for (const std::string& modem : modems) {
        int n = IndexOf(modem);
        std::string id;
        ReadText(modem, MM_DBUS_INTERFACE_MODEM, "DeviceIdentifier", id);
        bool wanted = !identity.empty() ? id == identity : index < 0 || n == index;
        if (wanted && (chosen.empty() || n < chosenIndex)) {
            chosen = modem;
            chosenIndex = n;
            if (identity.empty()) {
                identity = id;
            }
        }
    }
    if (chosen.empty()) {
        why = modems.empty() ? "ModemManager has no modem"
              : index >= 0   ? "ModemManager has no modem " + std::to_string(index)
                             : "the modem is not there";
        return false;
    }
    path = chosen;
    std::fprintf(stderr, "mmbridge: reading the modem %s\n", path.c_str());
    SetUp();
    return true;
}

// The location's 3GPP source and the signal's refresh, added to what is on already.
void ModemManagerClient::SetUp() {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    uint32_t enabled = 0;
    int signals = 0;
    if (ReadUnsigned(MM_DBUS_INTERFACE_MODEM_LOCATION, "Enabled", enabled) &&
        !(enabled & MM_MODEM_LOCATION_SOURCE_3GPP_LAC_CI)) {
        sd_bus_get_property_trivial(bus, SERVICE, path.c_str(), MM_DBUS_INTERFACE_MODEM_LOCATION,
                                    "SignalsLocation", &error, 'b', &signals);
        sd_bus_error_free(&error);
        sd_bus_call_method(bus, SERVICE, path.c_str(), MM_DBUS_INTERFACE_MODEM_LOCATION, "Setup",
                           &error, nullptr, "ub", enabled | MM_MODEM_LOCATION_SOURCE_3GPP_LAC_CI,
                           signals);
        sd_bus_error_free(&error);
    }
    uint32_t rate = 0;
    if (ReadUnsigned(MM_DBUS_INTERFACE_MODEM_SIGNAL, "Rate", rate) && rate == 0) {
        sd_bus_call_method(bus, SERVICE, path.c_str(), MM_DBUS_INTERFACE_MODEM_SIGNAL, "Setup",
                           &error, nullptr, "u", SIGNAL_RATE);
        sd_bus_error_free(&error);
    }
}

bool ModemManagerClient::ReadText(const std::string& object, const char* interface,
                                  const char* name, std::string& value) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    char* text = nullptr;
    int r =
        sd_bus_get_property_string(bus, SERVICE, object.c_str(), interface, name, &error, &text);
    sd_bus_error_free(&error);
    if (r < 0) {
        return false;
    }
    value = text;
    std::free(text);
    return true;
}

bool ModemManagerClient::ReadUnsigned(const char* interface, const char* name, uint32_t& value) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_get_property_trivial(bus, SERVICE, path.c_str(), interface, name, &error, 'u',
                                        &value);
    sd_bus_error_free(&error);
    return r >= 0;
}

bool ModemManagerClient::Read(ModemPart part, ModemSnapshot& snapshot) {
    std::string why;
    if (!Find(why)) {
        return false;
    }
    // The modem's state answers on every modem: when it does not, the modem is gone.
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = sd_bus_get_property_trivial(bus, SERVICE, path.c_str(), MM_DBUS_INTERFACE_MODEM,
                                        "State", &error, 'i', &snapshot.state);
    if (r < 0) {
        std::string reason = error.message ? error.message : std::strerror(-r);
        sd_bus_error_free(&error);
        Forget(reason.c_str());
        return false;
    }
    switch (part) {
    case ModemPart::Identity:
        ReadText(path, MM_DBUS_INTERFACE_MODEM, "Manufacturer", snapshot.manufacturer);
        ReadText(path, MM_DBUS_INTERFACE_MODEM, "Model", snapshot.model);
        break;
    case ModemPart::Operator:
        ReadText(path, MM_DBUS_INTERFACE_MODEM_MODEM3GPP, "OperatorCode", snapshot.operatorCode);
        ReadUnsigned(MM_DBUS_INTERFACE_MODEM, "AccessTechnologies", snapshot.accessTech);
        break;
    case ModemPart::Equipment:
        ReadUnsigned(MM_DBUS_INTERFACE_MODEM, "PowerState", snapshot.power);
        break;
    case ModemPart::Signal:
        ReadSignal(snapshot);
        break;
    case ModemPart::Registration:
        ReadUnsigned(MM_DBUS_INTERFACE_MODEM_MODEM3GPP, "RegistrationState", snapshot.registration);
        ReadUnsigned(MM_DBUS_INTERFACE_MODEM, "AccessTechnologies", snapshot.accessTech);
        ReadLocation(snapshot);
        break;
    case ModemPart::ServingCell:
        ReadCellInfo(snapshot);
        break;
    }
    return true;
}

bool ModemManagerClient::ReadSignal(ModemSnapshot& snapshot) {
    const struct {
        const char* property;
        const char* key;
        double* value;
    } wanted[] = {{"Gsm", "rssi", &snapshot.gsmRssi},
                  {"Umts", "rssi", &snapshot.umtsRssi},
                  {"Lte", "rsrp", &snapshot.lteRsrp},
                  {"Nr5g", "rsrp", &snapshot.nrRsrp}};
    for (const auto& w : wanted) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        if (sd_bus_get_property(bus, SERVICE, path.c_str(), MM_DBUS_INTERFACE_MODEM_SIGNAL,
                                w.property, &error, &reply, "a{sv}") >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "{sv}") > 0) {
            for (int i = 0; i < MAX_ENTRIES && sd_bus_message_enter_container(reply, 'e', "sv") > 0;
                 ++i) {
                const char* key = nullptr;
                double value = 0;
                if (sd_bus_message_read(reply, "s", &key) >= 0 && std::strcmp(key, w.key) == 0 &&
                    ReadVariant(reply, 'd', value)) {
                    *w.value = value;
                } else {
                    sd_bus_message_skip(reply, "v");
                }
                sd_bus_message_exit_container(reply);
            }
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }
    return true;
}

bool ModemManagerClient::ReadLocation(ModemSnapshot& snapshot) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, SERVICE, path.c_str(), MM_DBUS_INTERFACE_MODEM_LOCATION,
                           "GetLocation", &error, &reply, "") >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "{uv}") > 0) {
        for (int i = 0; i < MAX_ENTRIES && sd_bus_message_enter_container(reply, 'e', "uv") > 0;
             ++i) {
            uint32_t source = 0;
            const char* text = nullptr;
            if (sd_bus_message_read(reply, "u", &source) >= 0 &&
                source == MM_MODEM_LOCATION_SOURCE_3GPP_LAC_CI && ReadVariant(reply, 's', text)) {
                snapshot.location = text;
            } else {
                sd_bus_message_skip(reply, "v");
            }
            sd_bus_message_exit_container(reply);
        }
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return !snapshot.location.empty();
}

bool ModemManagerClient::ReadCellInfo(ModemSnapshot& snapshot) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    bool found = false;
    if (sd_bus_call_method(bus, SERVICE, path.c_str(), MM_DBUS_INTERFACE_MODEM, "GetCellInfo",
                           &error, &reply, "") >= 0 &&
        sd_bus_message_enter_container(reply, 'a', "a{sv}") > 0) {
        for (int cell = 0;
             cell < MAX_ENTRIES && !found && sd_bus_message_enter_container(reply, 'a', "{sv}") > 0;
             ++cell) {
            ModemSnapshot read;
            int serving = 0;
            for (int i = 0; i < MAX_ENTRIES && sd_bus_message_enter_container(reply, 'e', "sv") > 0;
                 ++i) {
                const char* key = "";
                sd_bus_message_read(reply, "s", &key);
                std::string name = key;
                const char* text = nullptr;
                if (name == "cell-type") {
                    ReadVariant(reply, 'u', read.cellType);
                } else if (name == "serving") {
                    ReadVariant(reply, 'b', serving);
                } else if ((name == "lac" || name == "tac") && ReadVariant(reply, 's', text)) {
                    read.cellArea = text;
                } else if (name == "ci" && ReadVariant(reply, 's', text)) {
                    read.cellId = text;
                } else if (name == "arfcn" || name == "uarfcn" || name == "earfcn" ||
                           name == "nrarfcn") {
                    read.hasChannel = ReadVariant(reply, 'u', read.channel);
                } else if (name != "lac" && name != "tac" && name != "ci") {
                    sd_bus_message_skip(reply, "v");
                }
                sd_bus_message_exit_container(reply);
            }
            sd_bus_message_exit_container(reply);
            if (serving) {
                snapshot.cellType = read.cellType;
                snapshot.cellArea = read.cellArea;
                snapshot.cellId = read.cellId;
                snapshot.hasChannel = read.hasChannel;
                snapshot.channel = read.channel;
                found = true;
            }
        }
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    return found;
}

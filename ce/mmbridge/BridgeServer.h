#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "AtFace.h"
#include "ModemManagerClient.h"

// The AT face on a TCP port of 127.0.0.1, for one client at a time (ril.dll's modem backend;
// a newer connection replaces an older one). While ModemManager has no modem the bridge takes
// connections and closes them at once, and a modem that goes away ends the connection: to the
// backend this is a modem that was unplugged, and it keeps reconnecting until the modem is back.
class BridgeServer {
public:
    explicit BridgeServer(ModemManagerClient& modem) : modem(modem), face(modem) {}
    ~BridgeServer();
    BridgeServer(const BridgeServer&) = delete;
    BridgeServer& operator=(const BridgeServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free one); false with the reason when it cannot.
    bool Listen(uint16_t port, std::string& why);
    uint16_t Port() const { return port; }
    // Serves until stop is set or seconds (0: no limit) have passed.
    void Run(const std::atomic<bool>& stop, unsigned seconds);

private:
    void Accept();
    void Receive();
    void Close();

    ModemManagerClient& modem;
    AtFace face;
    int listener = -1;
    int client = -1;
    uint16_t port = 0;
    std::string line;
    bool overlong = false;
    std::string lastWhy;
};

#pragma once

#include <winsock2.h>

#include <atomic>

#include "ModemPort.h"

// A modem shared over the network ("tcp:HOST:PORT"), as serial-to-TCP bridges offer it.
class TcpPort : public ModemPort {
public:
    ~TcpPort() override;
    bool Open(const std::string& host, const std::string& port, const std::atomic<bool>& stopping,
              std::wstring& error);
    bool Write(const std::string& bytes) override;
    int Read(char* buffer, int size, DWORD timeoutMs) override;

private:
    SOCKET socket_ = INVALID_SOCKET;
    bool started = false;
};

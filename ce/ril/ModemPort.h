#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

// The byte stream to a modem: a COM port or a TCP connection to a serial bridge.
class ModemPort {
public:
    virtual ~ModemPort() = default;
    // False when the modem is gone (unplugged, connection closed).
    virtual bool Write(const std::string& bytes) = 0;
    // Bytes read (at most size), 0 when nothing came within timeoutMs, -1 when the modem is gone.
    virtual int Read(char* buffer, int size, DWORD timeoutMs) = 0;

    // "COM5", "\\.\COM12" or "tcp:HOST:PORT"; null with the reason in error. Bounded in time,
    // and ends early at a stop request.
    static std::unique_ptr<ModemPort> Open(const std::wstring& name, DWORD baud,
                                           const std::atomic<bool>& stopping, std::wstring& error);
};

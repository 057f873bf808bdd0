#pragma once

#include "ModemPort.h"

// A COM port, 8N1 without flow control. Under Wine "COMn" is the Linux device that the
// prefix's dosdevices/comn link points to.
class SerialPort : public ModemPort {
public:
    ~SerialPort() override;
    bool Open(const std::wstring& name, DWORD baud, std::wstring& error);
    bool Write(const std::string& bytes) override;
    int Read(char* buffer, int size, DWORD timeoutMs) override;

private:
    bool SetTimeouts(DWORD interval, DWORD total);

    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD readInterval = 1;
    DWORD readTotal = 0;
};

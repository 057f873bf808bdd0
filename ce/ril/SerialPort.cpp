#include "SerialPort.h"

SerialPort::~SerialPort() {
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
}

bool SerialPort::Open(const std::wstring& name, DWORD baud, std::wstring& error) {
    // COM10 and above are only reachable through the device namespace.
    std::wstring path = name.compare(0, 4, L"\\\\.\\") == 0 ? name : L"\\\\.\\" + name;
    handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = name + L": cannot open the port (error " + std::to_wstring(GetLastError()) + L")";
        return false;
    }
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    if (GetCommState(handle, &dcb)) {
        dcb.BaudRate = baud;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        // A pseudo-terminal has no line settings to speak of: it works without them.
        SetCommState(handle, &dcb);
    }
    PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return true;
}

bool SerialPort::Write(const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

int SerialPort::Read(char* buffer, int size, DWORD timeoutMs) {
    if (timeoutMs != readTimeout || readTimeout == 0) {
        // Return as soon as any byte is there, or after timeoutMs with none.
        COMMTIMEOUTS timeouts = {MAXDWORD, MAXDWORD, timeoutMs ? timeoutMs : 1, 0, 1000};
        if (!SetCommTimeouts(handle, &timeouts)) {
            return -1;
        }
        readTimeout = timeoutMs;
    }
    DWORD got = 0;
    if (!ReadFile(handle, buffer, static_cast<DWORD>(size), &got, nullptr)) {
        return -1;
    }
    return static_cast<int>(got);
}

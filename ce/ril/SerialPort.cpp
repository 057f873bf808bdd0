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
    // Wait for the first byte, then take what else has come without waiting. (Wine's serial
    // reads with the usual "return at the first byte" timeouts wait out the whole time.)
    DWORD got = 0;
    if (!SetTimeouts(0, timeoutMs ? timeoutMs : 1) || !ReadFile(handle, buffer, 1, &got, nullptr)) {
        return -1;
    }
    if (got == 0 || size == 1) {
        return static_cast<int>(got);
    }
    DWORD more = 0;
    if (!SetTimeouts(MAXDWORD, 0) ||
        !ReadFile(handle, buffer + 1, static_cast<DWORD>(size - 1), &more, nullptr)) {
        return -1;
    }
    return static_cast<int>(1 + more);
}

bool SerialPort::SetTimeouts(DWORD interval, DWORD total) {
    if (interval == readInterval && total == readTotal) {
        return true;
    }
    COMMTIMEOUTS timeouts = {interval, 0, total, 0, 1000};
    readInterval = interval;
    readTotal = total;
    return SetCommTimeouts(handle, &timeouts) != 0;
}

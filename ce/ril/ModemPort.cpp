// winsock2.h must come before windows.h.
#include "TcpPort.h"

#include "ModemPort.h"
#include "SerialPort.h"

std::unique_ptr<ModemPort> ModemPort::Open(const std::wstring& name, DWORD baud,
                                           const std::atomic<bool>& stopping, std::wstring& error) {
    if (name.compare(0, 4, L"tcp:") == 0) {
        size_t colon = name.rfind(L':');
        if (colon <= 4 || colon + 1 == name.size()) {
            error = name + L": expected tcp:HOST:PORT";
            return nullptr;
        }
        std::string host(name.begin() + 4, name.begin() + colon);
        std::string port(name.begin() + colon + 1, name.end());
        // "[::1]" names an IPv6 address.
        if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
            host = host.substr(1, host.size() - 2);
        }
        auto tcp = std::make_unique<TcpPort>();
        return tcp->Open(host, port, stopping, error) ? std::move(tcp) : nullptr;
    }
    auto serial = std::make_unique<SerialPort>();
    return serial->Open(name, baud, error) ? std::move(serial) : nullptr;
}

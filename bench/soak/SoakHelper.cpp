// winsock2.h (through FaultServer.h) must come before windows.h.
#include "FaultServer.h"

#include "SoakHelper.h"
#include "SoakText.h"

#include "SoakWorld.h"

namespace {

bool ReadLine(HANDLE from, std::string& line) {
    line.clear();
    char c;
    DWORD got = 0;
    while (ReadFile(from, &c, 1, &got, nullptr) && got == 1) {
        if (c == '\n') {
            return true;
        }
        line += c;
    }
    return false;
}

bool WriteLine(HANDLE to, const std::string& line) {
    std::string text = line + "\n";
    DWORD done = 0;
    return WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
           done == text.size();
}

} // namespace

SoakHelper::~SoakHelper() {
    Stop();
}

bool SoakHelper::Start(const std::wstring& program) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &toHelper, &inherit, 0) ||
        !CreatePipe(&fromHelper, &childOut, &inherit, 0)) {
        return false;
    }
    SetHandleInformation(toHelper, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromHelper, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + program + L"\" --helper";
    PROCESS_INFORMATION info = {};
    BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &info);
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (!started) {
        return false;
    }
    CloseHandle(info.hThread);
    process = info.hProcess;
    std::string line;
    if (!ReadLine(fromHelper, line) || line.compare(0, 5, "port ") != 0) {
        Stop();
        return false;
    }
    port = static_cast<unsigned short>(atoi(line.c_str() + 5));
    return port != 0;
}

void SoakHelper::Stop() {
    if (toHelper) {
        // The end of its input ends the helper.
        CloseHandle(toHelper);
        toHelper = nullptr;
    }
    if (process) {
        WaitForSingleObject(process, 30000);
        CloseHandle(process);
        process = nullptr;
    }
    if (fromHelper) {
        CloseHandle(fromHelper);
        fromHelper = nullptr;
    }
}

bool SoakHelper::Ask(const std::string& command, std::string& answer) {
    return toHelper && WriteLine(toHelper, command) && ReadLine(fromHelper, answer);
}

bool SoakHelper::SetWebMode(const std::string& mode) {
    std::string answer;
    return Ask("web " + mode, answer) && answer == "ok";
}

unsigned long SoakHelper::Requests() {
    std::string answer;
    return Ask("requests", answer) ? strtoul(answer.c_str(), nullptr, 10) : 0;
}

bool SoakHelper::HoldFile(const std::wstring& path) {
    std::string answer;
    return Ask("hold " + Utf8(path), answer) && answer == "ok";
}

bool SoakHelper::ReleaseFile() {
    std::string answer;
    return Ask("release", answer) && answer == "ok";
}

int SoakHelper::Serve() {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    RefService service;
    service.Cells().AddCsv(SoakWorld::ServiceCells());
    service.AddKey(SoakWorld::AppEmail, SoakWorld::AppKey);
    FaultServer server(service);
    if (!server.Start(0)) {
        WriteLine(out, "failed");
        return 1;
    }
    WriteLine(out, "port " + std::to_string(server.Port()));
    HANDLE held = INVALID_HANDLE_VALUE;
    std::string line;
    while (ReadLine(in, line)) {
        std::string answer = "fail";
        FaultServer::Mode mode;
        if (line.compare(0, 4, "web ") == 0 && FaultServer::ParseMode(line.substr(4), mode)) {
            answer = server.SetMode(mode) ? "ok" : "fail";
        } else if (line == "requests") {
            answer = std::to_string(server.Requests());
        } else if (line.compare(0, 5, "hold ") == 0 && held == INVALID_HANDLE_VALUE) {
            held = CreateFileW(FromUtf8(line.substr(5)).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            answer = held != INVALID_HANDLE_VALUE ? "ok" : "fail";
        } else if (line == "release" && held != INVALID_HANDLE_VALUE) {
            CloseHandle(held);
            held = INVALID_HANDLE_VALUE;
            answer = "ok";
        }
        WriteLine(out, answer);
    }
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
    server.Stop();
    return 0;
}

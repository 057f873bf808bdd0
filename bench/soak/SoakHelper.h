#pragma once

#include <windows.h>

#include <string>

// The other process of a soak, bench_soak.exe --helper: it serves the cell-position service
// through a FaultServer and holds files open, on commands sent line by line to its standard
// input. Kept out of the host's process, so that its sockets, threads and CPU time are not
// counted as the Today item's.
class SoakHelper {
public:
    SoakHelper() = default;
    ~SoakHelper();
    SoakHelper(const SoakHelper&) = delete;
    SoakHelper& operator=(const SoakHelper&) = delete;

    // program: the path of bench_soak.exe.
    bool Start(const std::wstring& program);
    void Stop();
    unsigned short Port() const { return port; }

    // A FaultServer mode name ("normal", "silent", ...).
    bool SetWebMode(const std::string& mode);
    unsigned long Requests();
    // Opens the file without sharing and keeps it open until ReleaseFile.
    bool HoldFile(const std::wstring& path);
    bool ReleaseFile();

    // The helper's side: serves the commands of standard input until it ends.
    static int Serve();

private:
    bool Ask(const std::string& command, std::string& answer);

    HANDLE process = nullptr;
    HANDLE toHelper = nullptr;
    HANDLE fromHelper = nullptr;
    unsigned short port = 0;
};

#pragma once

#include <windows.h>

#include <string>

// A file written whole or not at all: the text goes to "<path>.part", which replaces the file
// under its final name only on Commit. A part file left uncommitted is removed.
class OutputFile {
public:
    explicit OutputFile(const std::wstring& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the part file; false (with Error()) when it cannot be.
    bool Open();
    void Write(const std::string& text);
    // Writes what is buffered and closes the part file; false (with Error()) when any write
    // failed.
    bool Close();
    // Puts the closed part file in place of the file; false (with Error()) when it cannot.
    bool Commit();
    const std::string& Error() const { return error; }
    const std::wstring& Path() const { return path; }

private:
    void Flush();
    void Fail(const char* what);

    std::wstring path;
    std::wstring partPath;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string buffer;
    bool failed = false;
    bool committed = false;
    std::string error;
};

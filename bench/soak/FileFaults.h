#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "SoakWorld.h"

// The soak's faults on the phone's files: the BTS databases rewritten as a download does while
// the item looks cells up in them, or left truncated or garbled; the cell log's folder filled
// up. Paths are device paths (\folder\file) on the current drive.
class FileFaults {
public:
    FileFaults(std::wstring databaseFolder, std::wstring logFolder);
    ~FileFaults();
    FileFaults(const FileFaults&) = delete;
    FileFaults& operator=(const FileFaults&) = delete;

    // Both networks' databases, written at once. False when a file stayed locked.
    bool WriteDatabases(SoakWorld::Database kind);
    // A thread that rewrites the good databases again and again in small pieces, as a download
    // writes them; stopped by StopReplacing, which leaves good databases behind.
    void StartReplacing();
    void StopReplacing();
    unsigned long Replacements() const { return replacements.load(); }
    HANDLE ReplacerThread() const { return replacer; }

    // The log's folder is a small volume of its own (a tmpfs mounted for the soak): it may be
    // filled. On any other folder the disk of the machine would fill up instead.
    bool CanFillLogFolder() const;
    // Fills the folder with a file until nothing more can be written; false when it cannot.
    bool FillLogFolder();
    // Deletes the filler; returns once the space is free again (at most 5 s).
    void EmptyLogFolder();

private:
    static DWORD WINAPI Replace(LPVOID self);
    bool WriteFileBytes(const std::wstring& path, const std::string& bytes, size_t chunk);

    std::wstring databaseFolder;
    std::wstring logFolder;
    HANDLE replacer = nullptr;
    std::atomic<bool> replacing{false};
    std::atomic<unsigned long> replacements{0};
};

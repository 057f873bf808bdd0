#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TodayHost;

// A script of steps that drives the Today host from its own message loop (see
// docs/todayhost.md). Steps run from a thread timer, so they go on while an item shows a menu
// or a dialog; every step that reaches an item is a posted message.
class Script {
public:
    struct Step {
        int line = 0;
        std::wstring verb;
        std::vector<std::wstring> args;
    };

    // Reads and checks every step; false with the error set.
    bool Load(const std::wstring& path);
    void Start(TodayHost* host, const std::wstring& outDir);
    const std::wstring& GetError() const { return error; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Tick();
    bool Execute(const Step& step);
    bool Fail(const Step& step, const std::wstring& message);
    void Finish(int exitCode);
    void PressKey(UINT key);
    void Tap(int x, int y, bool hold);
    bool WriteTexts(const std::wstring& path);
    bool WriteTimers(const std::wstring& path);
    static bool WriteUtf8(const std::wstring& path, const std::wstring& content);

    std::wstring path;
    std::vector<Step> steps;
    size_t next = 0;
    DWORD resumeAt = 0;
    // An "until" step: the file waited for in the output folder, and when waiting ends.
    std::wstring awaited;
    DWORD awaitedBy = 0;
    TodayHost* host = nullptr;
    std::wstring outDir;
    std::wstring error;
    UINT_PTR timer = 0;
    bool finished = false;
    // A hold's button is released at the next tick unless the item has opened a menu.
    HWND heldWindow = nullptr;
    LPARAM heldPoint = 0;
};

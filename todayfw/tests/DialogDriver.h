#pragma once

// Drives modal dialogs from a helper thread, as UI automation does: the test thread sits in
// the modal loop while the helper finds windows, sends messages and presses buttons.
// GoogleTest assertions stay on the test thread; the helper only records what it saw.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

namespace dialog_driver {

const DWORD WaitMs = 10000;

// Runs `drive` on a helper thread for the lifetime of the object.
class Helper {
public:
    explicit Helper(std::function<void()> drive) : thread(std::move(drive)) {}
    ~Helper() { thread.join(); }

private:
    std::thread thread;
};

struct MessageBoxSeen {
    bool found = false;
    std::wstring caption;
    std::wstring text;
};

inline std::wstring WindowText(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

// The message box of `thread`: a dialog with the message text control (id 0xFFFF).
inline HWND FindMessageBox(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM result) -> BOOL {
            wchar_t className[16] = L"";
            GetClassNameW(window, className, 16);
            if (lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(window) &&
                GetDlgItem(window, 0xFFFF)) {
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Waits for a message box of `thread`, reads it and presses its OK button.
inline MessageBoxSeen CloseMessageBox(DWORD thread) {
    MessageBoxSeen seen;
    for (DWORD waited = 0; waited < WaitMs; waited += 20) {
        HWND box = FindMessageBox(thread);
        if (box) {
            seen.found = true;
            seen.caption = WindowText(box);
            seen.text = WindowText(GetDlgItem(box, 0xFFFF));
            SendMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            // Gone before the next box is looked for.
            for (DWORD w = 0; IsWindow(box) && w < WaitMs; w += 10) {
                Sleep(10);
            }
            return seen;
        }
        Sleep(20);
    }
    return seen;
}

// Signals `event` when set, false after the wait ran out.
inline bool WaitFor(HANDLE event) {
    return WaitForSingleObject(event, WaitMs) == WAIT_OBJECT_0;
}

} // namespace dialog_driver

#include "Script.h"

#include <cstdio>
#include <cwctype>
#include <sstream>

#include "PngWriter.h"
#include "TimerRecorder.h"
#include "TodayHost.h"

namespace {

Script* running = nullptr;
const UINT TickMilliseconds = 20;

bool ParseInt(const std::wstring& text, int& value) {
    if (text.empty() || text.size() > 9)
        return false;
    size_t i = text[0] == L'-' ? 1 : 0;
    if (i == text.size())
        return false;
    for (size_t j = i; j < text.size(); ++j) {
        if (!iswdigit(text[j]))
            return false;
    }
    value = _wtoi(text.c_str());
    return true;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    if (text.empty())
        return {};
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// A plain file name inside the output folder.
bool IsPlainName(const std::wstring& name, const wchar_t* extension) {
    size_t length = lstrlenW(extension);
    if (name.size() <= length || name.find_first_of(L"\\/:") != std::wstring::npos)
        return false;
    return lstrcmpiW(name.c_str() + name.size() - length, extension) == 0;
}

UINT KeyCode(const std::wstring& name) {
    if (name == L"up")
        return VK_UP;
    if (name == L"down")
        return VK_DOWN;
    if (name == L"left")
        return VK_LEFT;
    if (name == L"right")
        return VK_RIGHT;
    if (name == L"enter")
        return VK_RETURN;
    if (name == L"escape")
        return VK_ESCAPE;
    return 0;
}

HWND OpenMenu() {
    HWND menu = FindWindowW(L"#32768", nullptr);
    return menu && IsWindowVisible(menu) ? menu : nullptr;
}

BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
    wchar_t name[16];
    if (IsWindowVisible(window) && GetClassNameW(window, name, 16) &&
        lstrcmpW(name, L"#32770") == 0)
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

} // namespace

bool Script::Load(const std::wstring& scriptPath) {
    path = scriptPath;
    FILE* file = _wfopen(scriptPath.c_str(), L"rb");
    if (!file) {
        error = scriptPath + L": cannot open the script";
        return false;
    }
    std::string content;
    char buffer[4096];
    size_t read;
    while ((read = fread(buffer, 1, sizeof(buffer), file)) > 0 && content.size() < (1u << 20))
        content.append(buffer, read);
    fclose(file);
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0)
        content.erase(0, 3);

    std::wistringstream lines(FromUtf8(content));
    std::wstring text;
    int number = 0;
    while (std::getline(lines, text)) {
        ++number;
        size_t hash = text.find(L'#');
        if (hash != std::wstring::npos)
            text.erase(hash);
        std::wistringstream words(text);
        Step step;
        step.line = number;
        if (!(words >> step.verb))
            continue;
        std::wstring word;
        while (words >> word)
            step.args.push_back(word);

        const std::wstring& verb = step.verb;
        size_t count = step.args.size();
        int value = 0;
        bool ok;
        if (verb == L"wait")
            ok = count == 1 && ParseInt(step.args[0], value) && value >= 0;
        else if (verb == L"until")
            ok = count == 2 && IsPlainName(step.args[0], L".txt") &&
                 ParseInt(step.args[1], value) && value >= 0;
        else if (verb == L"key")
            ok = count == 1 && KeyCode(step.args[0]) != 0;
        else if (verb == L"tap" || verb == L"hold")
            ok = count == 2 && ParseInt(step.args[0], value) && ParseInt(step.args[1], value);
        else if (verb == L"command")
            ok = count == 2 && ParseInt(step.args[1], value) && value >= 0 && value <= 0xFFFF;
        else if (verb == L"screenshot")
            ok = count == 1 && IsPlainName(step.args[0], L".png");
        else if (verb == L"text" || verb == L"timers")
            ok = count == 1 && IsPlainName(step.args[0], L".txt");
        else if (verb == L"reload")
            ok = count == 0;
        else if (verb == L"options")
            ok = count == 1;
        else if (verb == L"quit")
            ok = count == 0;
        else {
            Fail(step, L"unknown step \"" + verb + L"\"");
            return false;
        }
        if (!ok) {
            Fail(step, L"bad arguments to \"" + verb + L"\"");
            return false;
        }
        steps.push_back(step);
    }
    return true;
}

void Script::Start(TodayHost* todayHost, const std::wstring& out) {
    host = todayHost;
    outDir = out;
    running = this;
    resumeAt = GetTickCount();
    timer = SetTimer(nullptr, 0, TickMilliseconds, OnTimer);
}

void CALLBACK Script::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (running)
        running->Tick();
}

void Script::Tick() {
    if (finished)
        return;
    if (heldWindow) {
        if (!OpenMenu() && IsWindow(heldWindow))
            PostMessageW(heldWindow, WM_LBUTTONUP, 0, heldPoint);
        heldWindow = nullptr;
    }
    if (!awaited.empty()) {
        if (GetFileAttributesW((outDir + L"\\" + awaited).c_str()) != INVALID_FILE_ATTRIBUTES) {
            awaited.clear();
        } else if (static_cast<LONG>(GetTickCount() - awaitedBy) >= 0) {
            Fail(steps[next - 1], awaited + L" did not come");
            Finish(2);
            return;
        } else {
            return;
        }
    }
    while (!finished && static_cast<LONG>(GetTickCount() - resumeAt) >= 0) {
        if (next >= steps.size()) {
            Finish(0);
            return;
        }
        const Step& step = steps[next++];
        if (!Execute(step)) {
            Finish(2);
            return;
        }
        // Posted input is handled before the next step.
        if (!awaited.empty() || (step.verb != L"wait" && step.verb != L"screenshot" &&
                                 step.verb != L"text" && step.verb != L"timers"))
            return;
    }
}

bool Script::Fail(const Step& step, const std::wstring& message) {
    wchar_t number[16];
    wsprintfW(number, L"%d", step.line);
    error = path + L":" + number + L": " + message;
    return false;
}

void Script::Finish(int exitCode) {
    finished = true;
    KillTimer(nullptr, timer);
    running = nullptr;
    if (OpenMenu())
        EndMenu();
    EnumThreadWindows(GetCurrentThreadId(), CloseDialog, 0);
    PostQuitMessage(exitCode);
}

bool Script::Execute(const Step& step) {
    const std::wstring& verb = step.verb;
    if (verb == L"wait") {
        resumeAt = GetTickCount() + _wtoi(step.args[0].c_str());
        return true;
    }
    if (verb == L"until") {
        // Another program tells the script to go on by writing the file.
        awaited = step.args[0];
        awaitedBy = GetTickCount() + _wtoi(step.args[1].c_str());
        return true;
    }
    if (verb == L"key") {
        PressKey(KeyCode(step.args[0]));
        return true;
    }
    if (verb == L"tap" || verb == L"hold") {
        Tap(_wtoi(step.args[0].c_str()), _wtoi(step.args[1].c_str()), verb == L"hold");
        return true;
    }
    if (verb == L"command") {
        TodayItem* item = host->FindItem(step.args[0]);
        if (!item)
            return Fail(step, L"no Today item named \"" + step.args[0] + L"\"");
        PostMessageW(item->window, WM_COMMAND, MAKEWPARAM(_wtoi(step.args[1].c_str()), 0), 0);
        return true;
    }
    if (verb == L"screenshot") {
        host->UpdateAll();
        if (!WriteScreenPng(outDir + L"\\" + step.args[0], GetSystemMetrics(SM_CXSCREEN),
                            GetSystemMetrics(SM_CYSCREEN)))
            return Fail(step, L"cannot write " + step.args[0]);
        return true;
    }
    if (verb == L"text") {
        host->UpdateAll();
        if (!WriteTexts(outDir + L"\\" + step.args[0]))
            return Fail(step, L"cannot write " + step.args[0]);
        return true;
    }
    if (verb == L"timers") {
        if (!WriteTimers(outDir + L"\\" + step.args[0]))
            return Fail(step, L"cannot write " + step.args[0]);
        return true;
    }
    if (verb == L"reload") {
        // What an installer or a settings page sends to make the Today screen reload.
        PostMessageW(host->GetWindow(), WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0);
        return true;
    }
    if (verb == L"options") {
        TodayItem* item = host->FindItem(step.args[0]);
        if (!item)
            return Fail(step, L"no Today item named \"" + step.args[0] + L"\"");
        if (!item->optionsProc)
            return Fail(step, L"the item \"" + step.args[0] + L"\" has no options");
        PostMessageW(host->GetWindow(), TodayHostOpenOptions, 0,
                     reinterpret_cast<LPARAM>(item->window));
        return true;
    }
    if (verb == L"quit") {
        Finish(0);
        return true;
    }
    return Fail(step, L"unknown step \"" + verb + L"\"");
}

void Script::PressKey(UINT key) {
    // To the window with the keyboard focus: the shell, or a dialog's control; an open menu
    // takes every key of the thread.
    HWND target = GetFocus();
    if (!target)
        target = host->GetWindow();
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void Script::Tap(int x, int y, bool hold) {
    POINT point = {x, y};
    // The pointer rests where the stylus goes down, as on the device.
    SetCursorPos(x, y);
    if (OpenMenu() && !hold) {
        HWND target = host->GetWindow();
        PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        PostMessageW(target, WM_LBUTTONUP, 0, 0);
        return;
    }
    HWND target = WindowFromPoint(point);
    if (!target)
        target = host->GetWindow();
    ScreenToClient(target, &point);
    LPARAM position = MAKELPARAM(point.x, point.y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, position);
    if (hold) {
        heldWindow = target;
        heldPoint = position;
    } else {
        PostMessageW(target, WM_LBUTTONUP, 0, position);
    }
}

bool Script::WriteTexts(const std::wstring& file) {
    std::wstring content;
    for (const auto& item : host->GetItems()) {
        content += L"[";
        content += item->record.szName;
        content += L"]\n";
        for (const auto& line : item->texts)
            content += line + L"\n";
    }
    return WriteUtf8(file, content);
}

bool Script::WriteTimers(const std::wstring& file) {
    std::wstring content;
    for (const auto& item : host->GetItems()) {
        content += L"[";
        content += item->record.szName;
        content += L"]\n";
        for (const auto& timer : TimerRecorder::Timers(item->window)) {
            wchar_t line[48];
            wsprintfW(line, L"%u\t%u\n", static_cast<unsigned>(timer.first), timer.second);
            content += line;
        }
    }
    return WriteUtf8(file, content);
}

bool Script::WriteUtf8(const std::wstring& file, const std::wstring& content) {
    FILE* out = _wfopen(file.c_str(), L"wb");
    if (!out)
        return false;
    std::string bytes = ToUtf8(content);
    bool written = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return fclose(out) == 0 && written;
}

// A Today item on the framework for the host's tests: three tab pages, the shell's keyboard
// protocol mapped to the tab control as the Kestrel item does, tap and hold with a menu, an
// options dialog, and a log of the shell's clear-cache message and of the library's unload.
// Built twice (TESTITEM_LETTER A and B) so that the host has two items to move between.

#include <windows.h>

#include <cstdio>
#include <string>

#include "CTodayWindow.h"
#include "TodayTabControl.h"
#include "aygshell.h"

#define WIDEN2(x) L##x
#define WIDEN(x) WIDEN2(x)
#define LETTER WIDEN(TESTITEM_LETTER)

namespace {

class TestTodayItem;
TestTodayItem* theItem = nullptr;

std::wstring ItemKey(const wchar_t* name) {
    wchar_t root[256] = {};
    if (!GetEnvironmentVariableW(L"KESTREL_TODAY_ITEMS", root, 256))
        lstrcpyW(root, L"Software\\Microsoft\\Today\\Items");
    return std::wstring(root) + L"\\" + name;
}

class TestPage : public TabPage {
public:
    TestPage(int order, const wchar_t* title, TodayTabControl* owner, TestTodayItem* item)
        : TabPage(order, title, owner), item(item) {}
    void Paint(HDC dc, SIZE strip, RECT area) override;

private:
    TestTodayItem* item;
};

class TestTabs : public TodayTabControl {
public:
    TestTabs(CTodayWindow* owner, TestTodayItem* item)
        : TodayTabControl(owner), first(1, L"Jedna", this, item), second(2, L"Dva", this, item),
          third(3, L"Tři", this, item) {
        GetTabs().push_back(&first);
        GetTabs().push_back(&second);
        GetTabs().push_back(&third);
        SelectPage(&first);
    }

private:
    TestPage first, second, third;
};

class TestTodayItem : public CTodayWindow {
public:
    static LRESULT CALLBACK Proc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
        return theItem->WindowProc(message, wParam, lParam);
    }

    explicit TestTodayItem(HINSTANCE instance) : tabs(this, this) {
        SetInstance(instance);
        SetClassName(L"TestTodayItemClass" LETTER, L"TestTodayItemWindow" LETTER);
        SetItemHeight(60);
        UnregisterWindowClass();
    }

    HWND Initialize(TODAYLISTITEM* record, HWND parent) {
        if (!record->fEnabled)
            return nullptr;
        name = record->szName;
        RegisterWindowClass(Proc);
        if (!Create(record, parent, WS_CHILD | WS_VISIBLE))
            return nullptr;
        // 60 pixels at 96 dpi, as the device's item heights scale with the screen.
        HDC dc = GetDC(hWnd);
        SetItemHeight(MulDiv(60, GetDeviceCaps(dc, LOGPIXELSY), 96));
        ReleaseDC(hWnd, dc);
        return hWnd;
    }

    void Log(const wchar_t* event) {
        HKEY key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ItemKey(name.c_str()).c_str(), 0, KEY_READ, &key) !=
            ERROR_SUCCESS)
            return;
        wchar_t path[MAX_PATH] = {};
        DWORD size = sizeof(path) - sizeof(wchar_t);
        LONG found =
            RegQueryValueExW(key, L"Log", nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
        RegCloseKey(key);
        if (found != ERROR_SUCCESS)
            return;
        if (FILE* file = _wfopen(path, L"ab")) {
            fprintf(file, "%ls %ls\n", name.c_str(), event);
            fclose(file);
        }
    }

    DWORD ReadSetting(const wchar_t* value) {
        HKEY key;
        DWORD data = 0;
        DWORD size = sizeof(data);
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ItemKey(name.c_str()).c_str(), 0, KEY_READ, &key) ==
            ERROR_SUCCESS) {
            if (RegQueryValueExW(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(&data),
                                 &size) != ERROR_SUCCESS)
                data = 0;
            RegCloseKey(key);
        }
        return data;
    }

    std::wstring status = L"idle";
    std::wstring name;

protected:
    void OnDestroy() override {
        tabs.NotifyOwnerDestroyed();
        CTodayWindow::OnDestroy();
    }
    void PaintItem(HDC dc) override {
        RECT client;
        GetClientRect(hWnd, &client);
        tabs.Paint(dc, client);
    }
    void OnQueryRefreshCache(TODAYLISTITEM* record, BOOL* refresh) override {
        if (record->cyp != itemHeight) {
            record->cyp = itemHeight;
            *refresh = TRUE;
        }
    }
    LRESULT OnClearCache(WPARAM) override {
        Log(L"clearcache");
        return 1;
    }
    void OnLButtonDown(UINT, int x, int y) override {
        SHRGINFO info = {sizeof(info), hWnd, {x, y}, SHRG_RETURNCMD};
        POINT screen = {x, y};
        ClientToScreen(hWnd, &screen);
        if (!tabs.HasFocus())
            PostMessageW(hShellWnd, TODAYM_TOOKSELECTION, reinterpret_cast<WPARAM>(hWnd), 0);
        if (SHRecognizeGesture(&info) == GN_CONTEXTMENU) {
            Note(L"menu");
            HMENU menu = CreatePopupMenu();
            AppendMenuW(menu, MF_STRING, 200, L"První");
            AppendMenuW(menu, MF_STRING, 201, L"Druhá");
            TrackPopupMenuEx(menu, 0, screen.x, screen.y, hWnd, nullptr);
            DestroyMenu(menu);
        } else if (tabs.OnClick(x, y)) {
            Note(L"tap");
        }
    }
    LRESULT OnDefaultMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_COMMAND)
            Command(LOWORD(wParam));
        return CTodayWindow::OnDefaultMessage(message, wParam, lParam);
    }
    LRESULT OnReceivedSelection(WPARAM key) override {
        wchar_t text[32];
        wsprintfW(text, L"received %d", static_cast<int>(key));
        status = text;
        // An item may decline the selection; the shell then offers it to the next one.
        if (ReadSetting(L"Declines"))
            return FALSE;
        return key == VK_UP ? tabs.FocusLastTab() : tabs.FocusFirstTab();
    }
    LRESULT OnUserNavigation(WPARAM key) override {
        bool moved = false;
        switch (key) {
        case VK_LEFT:
            moved = tabs.MoveLeft();
            break;
        case VK_RIGHT:
            moved = tabs.MoveRight();
            break;
        case VK_UP:
            moved = tabs.MoveUp();
            break;
        case VK_DOWN:
            moved = tabs.MoveDown();
            break;
        }
        wchar_t text[32];
        wsprintfW(text, L"navigation %d", static_cast<int>(key));
        Note(text);
        return moved;
    }
    void OnAction(WPARAM) override {
        tabs.ActivateFocusedTab();
        Note(L"action");
    }
    void OnLostSelection() override {
        tabs.ResetFocus();
        Note(L"lost");
    }

private:
    void Note(const wchar_t* text) {
        status = text;
        Refresh(FALSE);
    }

    void Command(UINT id) {
        wchar_t text[32];
        wsprintfW(text, L"command %u", id);
        Note(text);
        if (id == 101) {
            // Grows; the shell learns it at its next refresh query.
            SetItemHeight(itemHeight + 20);
        } else if (id == 102) {
            // Takes itself out of the Today screen, as the installer does.
            HKEY key;
            if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ItemKey(name.c_str()).c_str(), 0, KEY_SET_VALUE,
                              &key) == ERROR_SUCCESS) {
                DWORD off = 0;
                RegSetValueExW(key, L"Enabled", 0, REG_DWORD, reinterpret_cast<BYTE*>(&off),
                               sizeof(off));
                RegCloseKey(key);
            }
            SendMessageW(FindWindowW(L"DesktopExplorerWindow", L"Desktop"), WM_SETTINGCHANGE, 0xF2,
                         0);
        }
    }

    TestTabs tabs;
};

void TestPage::Paint(HDC dc, SIZE strip, RECT area) {
    HGDIOBJ font = SelectObject(dc, item->GetNormalFont());
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    int step = metrics.tmHeight + 1;
    RECT line = {area.left + 4, strip.cy + 2, area.right, strip.cy + 2 + step};
    std::wstring title = GetTitle() + L" " LETTER;
    DrawTextW(dc, title.c_str(), -1, &line, DT_LEFT | DT_SINGLELINE);
    OffsetRect(&line, 0, step);
    DrawTextW(dc, item->status.c_str(), -1, &line, DT_LEFT | DT_SINGLELINE);
    RECT window;
    GetWindowRect(item->GetWindow(), &window);
    MapWindowPoints(nullptr, GetParent(item->GetWindow()), reinterpret_cast<POINT*>(&window), 2);
    wchar_t place[48];
    wsprintfW(place, L"top=%d height=%d", window.top, window.bottom - window.top);
    OffsetRect(&line, 0, step);
    DrawTextW(dc, place, -1, &line, DT_LEFT | DT_SINGLELINE);
    if (GetOrder() == 3) {
        // Two lines in one text: the transcript writes the break as \r\n.
        RECT right = {area.right / 2, strip.cy + 2, area.right, strip.cy + 2 + 2 * step};
        DrawTextW(dc, L"řádek 1\r\nřádek 2", -1, &right, DT_LEFT);
    }
    SelectObject(dc, font);
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        theItem = new TestTodayItem(instance);
    } else if (reason == DLL_PROCESS_DETACH && theItem) {
        theItem->Log(L"detach");
        theItem->UnregisterWindowClass();
        delete theItem;
        theItem = nullptr;
    }
    return TRUE;
}

HWND WINAPI InitializeCustomItem(TODAYLISTITEM* record, HWND parent) {
    return theItem->Initialize(record, parent);
}

INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        SHINITDLGINFO info = {SHIDIM_FLAGS, dialog,
                              SHIDIF_DONEBUTTON | SHIDIF_EMPTYMENU | SHIDIF_WANTSCROLLBAR};
        SHInitDialog(&info);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        theItem->Log(LOWORD(wParam) == IDOK ? L"options ok" : L"options cancel");
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // extern "C"

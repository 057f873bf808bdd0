#include "CTodayHtmlWindow.h"

#include "CTodayWindow.h"

#include <aygshell.h>
#include <htmlctrl.h>

#include "resource.h"

namespace {

// Posted to the frame right behind each DTM_NAVIGATE: the control has taken the oldest text.
const UINT WM_HTMLWINDOW_NAVIGATED = WM_APP + 1;

const DWORD kFullScreenOn = SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON;
const DWORD kFullScreenOff = SHFS_SHOWTASKBAR | SHFS_SHOWSIPBUTTON | SHFS_SHOWSTARTICON;

typedef BOOL(WINAPI* InitHtmlControlProc)(HINSTANCE);

} // namespace

std::wstring CTodayHtmlWindow::className = L"VLK_HTMLTODAYWINDOW";
bool CTodayHtmlWindow::classRegistered = false;
HMODULE CTodayHtmlWindow::htmlviewModule = nullptr;

CTodayHtmlWindow::CTodayHtmlWindow(CTodayWindow* owner) : owner(owner) {}

CTodayHtmlWindow::~CTodayHtmlWindow() = default;

bool CTodayHtmlWindow::RegisterWindowClass(HINSTANCE instance) {
    if (classRegistered)
        UnregisterWindowClass(instance);
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_NOCLOSE;
    wc.lpfnWndProc = FrameProc;
    wc.cbWndExtra = 4;
    wc.hInstance = instance;
    wc.hbrBackground = GetSysColorBrush(COLOR_ACTIVECAPTION);
    wc.lpszClassName = className.c_str();
    // A class that could not be unregistered because a frame still uses it stays usable.
    classRegistered = RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    return classRegistered;
}

void CTodayHtmlWindow::UnregisterWindowClass(HINSTANCE instance) {
    if (classRegistered && UnregisterClassW(className.c_str(), instance))
        classRegistered = false;
}

bool CTodayHtmlWindow::Create() {
    if (frame)
        return false;
    HINSTANCE instance = owner->GetInstance();
    if (!classRegistered && !RegisterWindowClass(instance))
        return false;
    frame = CreateWindowExW(0, className.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            instance, nullptr);
    if (!frame)
        return false;

    SetWindowLongPtrW(frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SHDoneButton(frame, SHDB_HIDE);
    // WS_NONAVDONEBUTTON on the device: no Done button in the navigation bar.
    SetWindowLongW(frame, GWL_STYLE, GetWindowLongW(frame, GWL_STYLE) | 0x00010000);
    RECT client;
    GetClientRect(frame, &client);

    if (!htmlviewModule)
        htmlviewModule = LoadLibraryW(L"htmlview.dll");
    // Through void*: FARPROC and the real signature differ.
    InitHtmlControlProc initHtmlControl = nullptr;
    if (htmlviewModule)
        initHtmlControl = reinterpret_cast<InitHtmlControlProc>(
            reinterpret_cast<void*>(GetProcAddress(htmlviewModule, MAKEINTRESOURCEA(1))));
    if (!initHtmlControl || !initHtmlControl(instance)) {
        Destroy();
        return false;
    }

    control = CreateWindowExW(0, DISPLAYCLASS, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                              client.left, client.top, client.right - client.left,
                              client.bottom - client.top, frame, nullptr, instance, nullptr);
    if (!control) {
        Destroy();
        return false;
    }
    SendMessageW(control, DTM_ENABLECONTEXTMENU, 0, 1);
    visible = false;
    return frame != nullptr;
}

bool CTodayHtmlWindow::Show(const RECT& rect) {
    if (!frame)
        Create();
    requestedRect = rect;
    if (!frame)
        return false;
    RECT placed = rect;
    if (fullScreen)
        placed = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    MoveWindow(frame, placed.left, placed.top, placed.right - placed.left,
               placed.bottom - placed.top, FALSE);
    RECT client;
    GetClientRect(frame, &client);
    MoveWindow(control, client.left, client.top, client.right - client.left,
               client.bottom - client.top, FALSE);
    ShowWindow(frame, SW_SHOW);
    ShowWindow(frame, SW_SHOW);
    UpdateWindow(frame);
    SetForegroundWindow(frame);
    visible = true;
    return true;
}

int CTodayHtmlWindow::Hide() {
    if (visible) {
        ShowWindow(frame, SW_HIDE);
        visible = false;
    }
    return 0;
}

bool CTodayHtmlWindow::Destroy() {
    if (!frame)
        return false;
    SetWindowLongPtrW(frame, GWLP_USERDATA, 0);
    if (menu) {
        DestroyMenu(menu);
        menu = nullptr;
    }
    if (!DestroyWindow(frame))
        return false;
    frame = nullptr;
    control = nullptr;
    visible = false;
    // Messages posted to the destroyed windows are gone with them.
    postedUrls.clear();
    return true;
}

bool CTodayHtmlWindow::Navigate(const std::wstring& newUrl) {
    if (!frame)
        return false;
    url = newUrl;
    postedUrls.push_back(newUrl);
    PostMessageW(control, DTM_NAVIGATE, NAVIGATEFLAG_REFRESH,
                 reinterpret_cast<LPARAM>(postedUrls.back().c_str()));
    PostMessageW(frame, WM_HTMLWINDOW_NAVIGATED, 0, 0);
    return true;
}

LRESULT CALLBACK CTodayHtmlWindow::FrameProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    CTodayHtmlWindow* self =
        reinterpret_cast<CTodayHtmlWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CTodayHtmlWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        if (fullScreen)
            SHFullScreen(frame, kFullScreenOn);
        break;
    case WM_SETTINGCHANGE:
        if (visible) {
            ShowWindow(frame, SW_HIDE);
            visible = false;
            InvalidateRect(owner->GetWindow(), nullptr, TRUE);
            UpdateWindow(owner->GetWindow());
        }
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDM_HTML_FULLSCREEN)
            ToggleFullScreen();
        break;
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == control && header->code == UINT(NM_CONTEXTMENU)) {
            ShowContextMenu(reinterpret_cast<const NM_HTMLCONTEXT*>(lParam)->pt);
            return 1;
        }
        break;
    }
    case WM_HTMLWINDOW_NAVIGATED:
        if (!postedUrls.empty())
            postedUrls.pop_front();
        return 0;
    }
    return DefWindowProcW(frame, message, wParam, lParam);
}

void CTodayHtmlWindow::ToggleFullScreen() {
    if (fullScreen) {
        fullScreen = false;
        Show(requestedRect);
        SHFullScreen(frame, kFullScreenOff);
    } else {
        fullScreen = true;
        Show(requestedRect);
        SHFullScreen(frame, kFullScreenOn);
    }
}

void CTodayHtmlWindow::ShowContextMenu(POINT screenPoint) {
    if (!menu)
        menu = LoadMenuW(owner->GetInstance(), MAKEINTRESOURCEW(IDM_HTML));
    HMENU popup = menu ? GetSubMenu(menu, 0) : nullptr;
    if (!popup)
        return;
    CheckMenuItem(popup, IDM_HTML_FULLSCREEN,
                  MF_BYCOMMAND | (fullScreen ? MF_CHECKED : MF_UNCHECKED));
    TrackPopupMenuEx(popup, 0, screenPoint.x, screenPoint.y, frame, nullptr);
}

// aygshell.dll stand-in: what the Today item and its dialogs call of the Pocket PC shell
// helpers. The device's navigation and menu bars do not exist on the desktop: their states are
// kept as window properties (see docs/todayhost.md) so that hosts and tests can read them.

#include "aygshell.h"

#include "RuntimePool.h"

namespace {

HINSTANCE module = nullptr;
ATOM sipPrefClass = 0;

// Tap and hold: the button held this long without moving.
const DWORD HoldMilliseconds = 500;
const DWORD LongHoldMilliseconds = 1000;

const wchar_t DoneButtonProperty[] = L"Kestrel.SHDoneButton";
const wchar_t FullScreenProperty[] = L"Kestrel.SHFullScreen";
// Marks the OK button that stands for the Done button.
const wchar_t DoneButtonWindowProperty[] = L"Kestrel.DoneButtonWindow";

// The input panel button of dialog templates: the device raises the input panel when an edit
// of the dialog gets the focus. Here there is no input panel; the control stays invisible.
LRESULT CALLBACK SipPrefProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE)
        SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) & ~WS_VISIBLE);
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterSipPref() {
    if (sipPrefClass)
        return true;
    WNDCLASSW wc = {};
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = SipPrefProc;
    wc.hInstance = module;
    wc.lpszClassName = WC_SIPPREF;
    sipPrefClass = RegisterClassW(&wc);
    return sipPrefClass != 0;
}

int BarHeight(HWND window) {
    HDC dc = GetDC(window);
    int bar = MulDiv(26, GetDeviceCaps(dc, LOGPIXELSY), 96);
    ReleaseDC(window, dc);
    return bar;
}

// Sizes a dialog to the work area, the screen below the shell's navigation bar; without full
// screen it also leaves the menu bar at the bottom (26 pixels at 96 dpi), and the navigation
// bar when no shell has reserved it. A property sheet's page is left to its sheet.
void SizeDialog(HWND dialog, bool fullScreen) {
    if (GetWindowLongPtrW(dialog, GWL_STYLE) & WS_CHILD)
        return;
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    if (!fullScreen) {
        int bar = BarHeight(dialog);
        if (area.top < bar)
            area.top = bar;
        area.bottom -= bar;
    }
    SetWindowPos(dialog, nullptr, area.left, area.top, area.right - area.left,
                 area.bottom - area.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// The device shows a dialog's Done button as "ok" in the navigation bar. Here it is an OK
// button in the bottom right corner of the dialog, where nothing of the item's pages lies.
void ShowDoneButton(HWND dialog, bool show) {
    HWND button = GetDlgItem(dialog, IDOK);
    if (!show) {
        if (button && GetPropW(button, DoneButtonWindowProperty))
            DestroyWindow(button);
        return;
    }
    if (button || (GetWindowLongPtrW(dialog, GWL_STYLE) & WS_CHILD))
        return;
    RECT client;
    GetClientRect(dialog, &client);
    int height = BarHeight(dialog) - 4;
    int width = 2 * height;
    button =
        CreateWindowExW(0, L"BUTTON", L"OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON,
                        client.right - width - 4, client.bottom - height - 4, width, height, dialog,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDOK)), module, nullptr);
    if (!button)
        return;
    SetPropW(button, DoneButtonWindowProperty, button);
    SendMessageW(button, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
}

// Moves are measured from where the pointer was when the gesture began, on the screen: callers
// fill ptDown in client or in screen coordinates alike.
bool MovedTooFar(const MSG& msg, POINT start) {
    POINT point = {static_cast<short>(LOWORD(msg.lParam)), static_cast<short>(HIWORD(msg.lParam))};
    if (msg.hwnd)
        ClientToScreen(msg.hwnd, &point);
    return abs(point.x - start.x) > GetSystemMetrics(SM_CXDRAG) ||
           abs(point.y - start.y) > GetSystemMetrics(SM_CYDRAG);
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
        RegisterSipPref();
    } else if (reason == DLL_PROCESS_DETACH) {
        if (sipPrefClass) {
            UnregisterClassW(WC_SIPPREF, module);
            sipPrefClass = 0;
        }
        RuntimePool::ReleaseOnUnload(reserved);
    }
    return TRUE;
}

BOOL WINAPI SHInitExtraControls(void) {
    return RegisterSipPref();
}

BOOL WINAPI SHInitDialog(PSHINITDLGINFO info) {
    if (!info || !IsWindow(info->hDlg))
        return FALSE;
    if (!(info->dwMask & SHIDIM_FLAGS))
        return TRUE;
    DWORD flags = info->dwFlags;
    if (flags & SHIDIF_SIZEDLGFULLSCREEN)
        SizeDialog(info->hDlg, true);
    else if (flags & (SHIDIF_SIZEDLG | SHIDIF_FULLSCREENNOMENUBAR))
        SizeDialog(info->hDlg, false);
    if (flags & SHIDIF_DONEBUTTON)
        SHDoneButton(info->hDlg, SHDB_SHOW);
    return TRUE;
}

BOOL WINAPI SHFullScreen(HWND requester, DWORD state) {
    if (!IsWindow(requester))
        return FALSE;
    // Each hide bit replaces its show bit and the other way round.
    auto kept = reinterpret_cast<UINT_PTR>(GetPropW(requester, FullScreenProperty));
    const DWORD pairs[3][2] = {{SHFS_SHOWTASKBAR, SHFS_HIDETASKBAR},
                               {SHFS_SHOWSIPBUTTON, SHFS_HIDESIPBUTTON},
                               {SHFS_SHOWSTARTICON, SHFS_HIDESTARTICON}};
    for (const auto& pair : pairs) {
        if (state & (pair[0] | pair[1]))
            kept =
                (kept & ~static_cast<UINT_PTR>(pair[0] | pair[1])) | (state & (pair[0] | pair[1]));
    }
    return SetPropW(requester, FullScreenProperty, reinterpret_cast<HANDLE>(kept));
}

BOOL WINAPI SHDoneButton(HWND requester, DWORD state) {
    if (!IsWindow(requester))
        return FALSE;
    if (state == SHDB_SHOW || state == SHDB_HIDE)
        ShowDoneButton(requester, state == SHDB_SHOW);
    return SetPropW(requester, DoneButtonProperty,
                    reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(state)));
}

DWORD WINAPI SHRecognizeGesture(SHRGINFO* info) {
    if (!info || info->cbSize < sizeof(SHRGINFO) || !IsWindow(info->hwndClient))
        return 0;
    HWND client = info->hwndClient;
    DWORD threshold = (info->dwFlags & SHRG_LONGDELAY) ? LongHoldMilliseconds : HoldMilliseconds;
    POINT pointer;
    GetCursorPos(&pointer);
    HWND previousCapture = SetCapture(client);
    DWORD start = GetTickCount();
    DWORD result = 0;
    for (;;) {
        MSG msg;
        // Release, a move beyond the drag distance or another button ends the gesture; the
        // message stays queued for the window.
        if (PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE)) {
            if (msg.message != WM_MOUSEMOVE || MovedTooFar(msg, pointer))
                break;
            PeekMessageW(&msg, msg.hwnd, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE);
            continue;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= threshold) {
            result = GN_CONTEXTMENU;
            break;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, threshold - elapsed, QS_MOUSE, MWMO_INPUTAVAILABLE);
    }
    if (GetCapture() == client) {
        ReleaseCapture();
        if (previousCapture)
            SetCapture(previousCapture);
    }
    return result;
}

} // extern "C"

// aygshell.dll stand-in: what the Today item and its dialogs call of the Pocket PC shell
// helpers. The device's navigation and menu bars do not exist on the desktop: their states are
// kept as window properties (see docs/todayhost.md) so that hosts and tests can read them.

#include "aygshell.h"

namespace {

HINSTANCE module = nullptr;
ATOM sipPrefClass = 0;

// Tap and hold: the button held this long without moving.
const DWORD HoldMilliseconds = 500;
const DWORD LongHoldMilliseconds = 1000;

const wchar_t DoneButtonProperty[] = L"Kestrel.SHDoneButton";
const wchar_t FullScreenProperty[] = L"Kestrel.SHFullScreen";

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

// Sizes a dialog to the screen; without full screen it leaves the navigation bar at the top
// and the menu bar at the bottom (26 pixels each at 96 dpi).
void SizeDialog(HWND dialog, bool fullScreen) {
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    int top = 0;
    if (!fullScreen) {
        HDC dc = GetDC(dialog);
        int bar = MulDiv(26, GetDeviceCaps(dc, LOGPIXELSY), 96);
        ReleaseDC(dialog, dc);
        top = bar;
        height -= 2 * bar;
    }
    SetWindowPos(dialog, nullptr, 0, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
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

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
        RegisterSipPref();
    } else if (reason == DLL_PROCESS_DETACH && sipPrefClass) {
        UnregisterClassW(WC_SIPPREF, module);
        sipPrefClass = 0;
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

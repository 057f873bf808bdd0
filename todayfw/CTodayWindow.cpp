#include "CTodayWindow.h"

#include <commctrl.h>

#include "aygshell.h"

namespace {

// The derived classes' window procedures forward messages without the window handle, and
// desktop Windows sends WM_NCCREATE and friends before CreateWindowExW returns: the window
// being created is learnt from a CBT hook so that those messages reach a known window.
struct Creation {
    CTodayWindow* window;
    HWND created;
};

// The creation under way on each thread, in a TLS slot of the library's own that goes with the
// library (a C++ thread_local would leave locks of the runtime behind at every unload).
class CreationSlot {
public:
    CreationSlot() : index(TlsAlloc()) {}
    ~CreationSlot() {
        if (index != TLS_OUT_OF_INDEXES)
            TlsFree(index);
    }
    Creation* Get() const {
        return index == TLS_OUT_OF_INDEXES ? nullptr : static_cast<Creation*>(TlsGetValue(index));
    }
    void Set(Creation* creation) const {
        if (index != TLS_OUT_OF_INDEXES)
            TlsSetValue(index, creation);
    }

private:
    DWORD index;
};

const CreationSlot creationSlot;

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    Creation* creation = creationSlot.Get();
    if (code == HCBT_CREATEWND && creation && !creation->created)
        creation->created = reinterpret_cast<HWND>(wParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

CTodayWindow::CTodayWindow() = default;

CTodayWindow::~CTodayWindow() {
    if (hIcon)
        DestroyIcon(hIcon);
    if (hNormalFont)
        DeleteObject(hNormalFont);
    if (hBoldFont)
        DeleteObject(hBoldFont);
}

LRESULT CTodayWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!hWnd) {
        Creation* creation = creationSlot.Get();
        if (creation && creation->window == this)
            hWnd = creation->created;
    }
    switch (message) {
    case WM_CREATE:
        if (OnCreate(reinterpret_cast<LPCREATESTRUCTW>(lParam)) == -1)
            return -1;
        return DefWindowProcW(hWnd, message, wParam, lParam);
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_SIZE:
        RebuildMemoryDC();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC paintDC = BeginPaint(hWnd, &ps);
        DrawIcon(hMemoryDC);
        PaintItem(hMemoryDC);
        BlitMemoryDC(hMemoryDC, paintDC);
        EndPaint(hWnd, &ps);
        return DefWindowProcW(hWnd, message, wParam, lParam);
    }
    case WM_ERASEBKGND:
        OnEraseBackground(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_SETTINGCHANGE:
        OnSettingChange(wParam, lParam);
        return 0;
    case WM_NOTIFY:
        return OnNotify(wParam, lParam);
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)),
                      static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)),
                    static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_TODAYCUSTOM_CLEARCACHE:
        return OnClearCache(wParam);
    case WM_TODAYCUSTOM_QUERYREFRESHCACHE: {
        auto* item = reinterpret_cast<TODAYLISTITEM*>(wParam);
        BOOL refresh = FALSE;
        if (item && item->cyp == 0) {
            item->cyp = itemHeight;
            refresh = TRUE;
        }
        OnQueryRefreshCache(item, &refresh);
        return refresh;
    }
    case WM_TODAYCUSTOM_RECEIVEDSELECTION:
        return OnReceivedSelection(wParam);
    case WM_TODAYCUSTOM_LOSTSELECTION:
        OnLostSelection();
        RebuildMemoryDC();
        return 0;
    case WM_TODAYCUSTOM_USERNAVIGATION:
        return OnUserNavigation(wParam);
    case WM_TODAYCUSTOM_ACTION:
        OnAction(wParam);
        return 0;
    default:
        return OnDefaultMessage(message, wParam, lParam);
    }
}

void CTodayWindow::DrawIcon(HDC dc) {
    if (!hIcon)
        return;
    SetBkMode(dc, TRANSPARENT);
    DrawIconEx(dc, iconX, iconY, hIcon, 0, 0, 0, nullptr, DI_NORMAL);
}

void CTodayWindow::InitColorsAndFonts() {
    textColor = static_cast<COLORREF>(SendMessageW(hShellWnd, TODAYM_GETCOLOR, TODAYCOLOR_TEXT, 0));
    highlightColor =
        static_cast<COLORREF>(SendMessageW(hShellWnd, TODAYM_GETCOLOR, TODAYCOLOR_HIGHLIGHT, 0));
    highlightedTextColor = static_cast<COLORREF>(
        SendMessageW(hShellWnd, TODAYM_GETCOLOR, TODAYCOLOR_HIGHLIGHTEDTEXT, 0));

    LOGFONTW font;
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(font), &font);
    lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
    HDC dc = GetDC(hWnd);
    int pixelsY = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(hWnd, dc);
    // 8.5 points.
    font.lfHeight = -((17 * pixelsY) / 72) / 2;
    font.lfWidth = 0;

    // A window created again after the shell destroyed the previous one keeps no stale fonts.
    if (hNormalFont)
        DeleteObject(hNormalFont);
    if (hBoldFont)
        DeleteObject(hBoldFont);
    font.lfWeight = FW_NORMAL;
    hNormalFont = CreateFontIndirectW(&font);
    font.lfWeight = FW_BOLD;
    hBoldFont = CreateFontIndirectW(&font);
}

LRESULT CTodayWindow::OnCreate(LPCREATESTRUCTW) {
    HDC windowDC = GetWindowDC(hWnd);
    CreateMemoryDC(windowDC);
    ReleaseDC(hWnd, windowDC);
    return 0;
}

void CTodayWindow::OnDestroy() {
    ReleaseMemoryDC(hMemoryDC);
    DefWindowProcW(hWnd, WM_DESTROY, 0, 0);
}

void CTodayWindow::PaintItem(HDC) {}

LRESULT CTodayWindow::OnEraseBackground(HDC) {
    TODAYDRAWWATERMARKINFO info;
    info.hdc = hMemoryDC;
    GetClientRect(hWnd, &info.rc);
    info.hwnd = hWnd;
    return SendMessageW(hShellWnd, TODAYM_DRAWWATERMARK, 0, reinterpret_cast<LPARAM>(&info));
}

void CTodayWindow::OnQueryRefreshCache(TODAYLISTITEM*, BOOL*) {}

LRESULT CTodayWindow::OnClearCache(WPARAM) {
    return 0;
}

void CTodayWindow::OnLButtonUp(UINT keys, int x, int y) {
    DefWindowProcW(hWnd, WM_LBUTTONUP, keys, MAKELPARAM(x, y));
}

void CTodayWindow::OnLButtonDown(UINT keys, int x, int y) {
    DefWindowProcW(hWnd, WM_LBUTTONDOWN, keys, MAKELPARAM(x, y));
}

void CTodayWindow::OnSettingChange(WPARAM, LPARAM) {}

LRESULT CTodayWindow::OnNotify(WPARAM, LPARAM) {
    return 0;
}

LRESULT CTodayWindow::OnDefaultMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

LRESULT CTodayWindow::OnReceivedSelection(WPARAM) {
    return 0;
}

LRESULT CTodayWindow::OnUserNavigation(WPARAM) {
    return 0;
}

void CTodayWindow::OnAction(WPARAM) {}

void CTodayWindow::OnLostSelection() {}

void CTodayWindow::ReleaseMemoryDC(HDC memoryDC) {
    if (!memoryDC)
        return;
    HGDIOBJ bitmap = SelectObject(memoryDC, hSavedBitmap);
    DeleteObject(bitmap);
    DeleteDC(memoryDC);
    if (memoryDC == hMemoryDC) {
        hMemoryDC = nullptr;
        hSavedBitmap = nullptr;
    }
}

void CTodayWindow::BlitMemoryDC(HDC memoryDC, HDC target) {
    RECT client;
    GetClientRect(hWnd, &client);
    BitBlt(target, 0, 0, client.right - client.left, client.bottom - client.top, memoryDC, 0, 0,
           SRCCOPY);
}

HDC CTodayWindow::CreateMemoryDC(HDC source) {
    RECT client;
    GetClientRect(hWnd, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    HDC memoryDC = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
    hSavedBitmap = static_cast<HBITMAP>(SelectObject(memoryDC, bitmap));
    BitBlt(memoryDC, 0, 0, width, height, source, 0, 0, SRCCOPY);
    hMemoryDC = memoryDC;
    return memoryDC;
}

void CTodayWindow::SetInstance(HINSTANCE instance) {
    hInstance = instance;
}

void CTodayWindow::SetClassName(const wchar_t* newClassName, const wchar_t* newWindowName) {
    className = newClassName;
    windowName = newWindowName;
}

bool CTodayWindow::SetIcon(UINT iconId, int x, int y) {
    if (hIcon) {
        DestroyIcon(hIcon);
        hIcon = nullptr;
    }
    if (hInstance) {
        hIcon = static_cast<HICON>(
            LoadImageW(hInstance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, 16, 16, 0));
        iconX = x;
        iconY = y;
    }
    return hIcon != nullptr;
}

void CTodayWindow::SetItemHeight(UINT height) {
    itemHeight = height;
}

ATOM CTodayWindow::RegisterWindowClass(WNDPROC windowProc) {
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = hInstance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = className;
    return RegisterClassW(&wc);
}

BOOL CTodayWindow::UnregisterWindowClass() {
    return UnregisterClassW(className, hInstance);
}

bool CTodayWindow::Create(TODAYLISTITEM* item, HWND shellWindow, DWORD style) {
    if (!item->fEnabled)
        return false;
    item->cyp = 0;
    hShellWnd = shellWindow;
    hWnd = nullptr;
    Creation creation = {this, nullptr};
    Creation* outer = creationSlot.Get();
    creationSlot.Set(&creation);
    HHOOK hook = SetWindowsHookExW(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
    hWnd = CreateWindowExW(0, className, windowName, style, 0, 0, GetSystemMetrics(SM_CXSCREEN), 0,
                           shellWindow, nullptr, hInstance, nullptr);
    if (hook)
        UnhookWindowsHookEx(hook);
    creationSlot.Set(outer);
    if (hWnd)
        InitColorsAndFonts();
    SHInitExtraControls();
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS;
    InitCommonControlsEx(&controls);
    return hWnd != nullptr;
}

void CTodayWindow::Refresh(BOOL show) {
    if (!hWnd)
        return;
    if (show)
        ShowWindow(hWnd, SW_SHOWNORMAL);
    InvalidateRect(hWnd, nullptr, TRUE);
    UpdateWindow(hWnd);
}

void CTodayWindow::RebuildMemoryDC() {
    ReleaseMemoryDC(hMemoryDC);
    HDC windowDC = GetWindowDC(hWnd);
    CreateMemoryDC(windowDC);
    ReleaseDC(hWnd, windowDC);
}

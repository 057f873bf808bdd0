#include "TodayHost.h"

#include <algorithm>

#include "TextRecorder.h"
#include "TimerRecorder.h"

namespace {

const wchar_t HostClass[] = L"DesktopExplorerWindow";
const wchar_t HostName[] = L"Desktop";
const wchar_t ItemProperty[] = L"TodayHost.Item";

const UINT_PTR RefreshTimer = 1;
const UINT_PTR ReloadRetryTimer = 2;
const UINT WM_APP_RELOAD = WM_APP + 1;

DWORD ReadDword(HKEY key, const wchar_t* name, DWORD fallback) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return fallback;
    return value;
}

std::wstring ReadString(HKEY key, const wchar_t* name) {
    wchar_t buffer[MAX_PATH] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return L"";
    buffer[size / sizeof(wchar_t)] = 0;
    return buffer;
}

// Device paths such as "\Windows\Item.dll" resolve against the current drive; an item DLL
// that is not there is also looked for beside the host, where the build puts it.
HMODULE LoadItemLibrary(const std::wstring& path) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (module)
        return module;
    wchar_t own[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    std::wstring folder(own, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    size_t slash = path.find_last_of(L"\\/");
    std::wstring file = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (file.empty())
        return nullptr;
    return LoadLibraryW((folder + file).c_str());
}

} // namespace

TodayHost::TodayHost(HINSTANCE instance, std::wstring itemsKey, std::wstring backgroundFile)
    : instance(instance), itemsKey(std::move(itemsKey)), backgroundFile(std::move(backgroundFile)) {
}

TodayHost::~TodayHost() {
    UnloadItems();
    if (workAreaReserved)
        SystemParametersInfoW(SPI_SETWORKAREA, 0, &savedWorkArea, 0);
    if (window)
        DestroyWindow(window);
    if (backgroundDC) {
        SelectObject(backgroundDC, savedBackgroundBitmap);
        DeleteObject(backgroundBitmap);
        DeleteDC(backgroundDC);
    }
    if (barFont)
        DeleteObject(barFont);
    UnregisterClassW(HostClass, instance);
}

bool TodayHost::Create() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = HostClass;
    if (!RegisterClassW(&wc))
        return false;
    window = CreateWindowExW(0, HostClass, HostName, WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                             GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                             nullptr, instance, this);
    if (!window)
        return false;
    HDC dc = GetDC(window);
    LOGFONTW font = {};
    font.lfHeight = -MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72);
    font.lfWeight = FW_BOLD;
    lstrcpyW(font.lfFaceName, L"Tahoma");
    ReleaseDC(window, dc);
    barFont = CreateFontIndirectW(&font);
    // As on the device, the navigation bar is not part of the work area: full-screen dialogs
    // and sheets of the items lie below it.
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &savedWorkArea, 0)) {
        RECT work = {0, NavigationBarHeight(), GetSystemMetrics(SM_CXSCREEN),
                     GetSystemMetrics(SM_CYSCREEN)};
        workAreaReserved = SystemParametersInfoW(SPI_SETWORKAREA, 0, &work, 0) != FALSE;
    }
    RenderBackground();
    // Items find their registration (and so their settings key) through the environment.
    SetEnvironmentVariableW(L"KESTREL_TODAY_ITEMS", itemsKey.c_str());
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);
    LoadItems();
    SetTimer(window, RefreshTimer, RefreshMilliseconds, nullptr);
    return true;
}

TodayItem* TodayHost::FindItem(const std::wstring& name) const {
    for (const auto& item : items) {
        if (lstrcmpiW(item->record.szName, name.c_str()) == 0)
            return item.get();
    }
    return nullptr;
}

int TodayHost::NavigationBarHeight() const {
    HDC dc = GetDC(window);
    int height = MulDiv(26, GetDeviceCaps(dc, LOGPIXELSY), 96);
    ReleaseDC(window, dc);
    return height;
}

void TodayHost::LoadItems() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, itemsKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.push_back(name);
    }
    RegCloseKey(key);
    for (const auto& each : names)
        LoadItem(each);
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return a->record.dwOrder < b->record.dwOrder;
    });
    QueryHeights();
    Layout();
}

void TodayHost::LoadItem(const std::wstring& name) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (itemsKey + L"\\" + name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    auto item = std::make_unique<TodayItem>();
    TODAYLISTITEM& record = item->record;
    lstrcpynW(record.szName, name.c_str(), MAX_ITEMNAME);
    record.tlit = static_cast<TODAYLISTITEMTYPE>(ReadDword(key, L"Type", tlitNil));
    record.dwOrder = ReadDword(key, L"Order", 0);
    record.fEnabled = ReadDword(key, L"Enabled", 0) != 0;
    record.fOptions = ReadDword(key, L"Options", 0) != 0;
    std::wstring path = ReadString(key, L"DLL");
    RegCloseKey(key);
    // Only enabled custom items with a library are shown; the built-in items are the device's.
    if (record.tlit != tlitCustom || !record.fEnabled || path.empty())
        return;
    lstrcpynW(record.szDLLPath, path.c_str(), MAX_PATH);
    item->module = LoadItemLibrary(path);
    if (!item->module)
        return;
    auto initialize = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(reinterpret_cast<void*>(
        GetProcAddress(item->module, MAKEINTRESOURCEA(ORDINAL_INITIALIZEITEM))));
    item->optionsProc = reinterpret_cast<PFNCUSTOMOPTIONSDLGPROC>(reinterpret_cast<void*>(
        GetProcAddress(item->module, MAKEINTRESOURCEA(ORDINAL_OPTIONSDIALOGPROC))));
    record.hinstDLL = item->module;
    TextRecorder::Patch(item->module);
    TimerRecorder::Patch(item->module);
    if (observer)
        observer->OnItemLoaded(*item);
    HWND itemWindow = initialize ? initialize(&record, window) : nullptr;
    if (!itemWindow) {
        FreeLibrary(item->module);
        return;
    }
    record.hwndCustom = itemWindow;
    item->window = itemWindow;
    SetPropW(itemWindow, ItemProperty, item.get());
    item->originalProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(itemWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ItemProc)));
    items.push_back(std::move(item));
}

void TodayHost::UnloadItems() {
    for (auto& item : items) {
        if (item->window && IsWindow(item->window)) {
            SendMessageW(item->window, WM_TODAYCUSTOM_CLEARCACHE, 0, 0);
            DestroyWindow(item->window);
        }
        if (item->module)
            FreeLibrary(item->module);
    }
    items.clear();
    selection = -1;
}

void TodayHost::Reload() {
    if (itemDepth > 0) {
        reloadPending = true;
        SetTimer(window, ReloadRetryTimer, 50, nullptr);
        return;
    }
    reloadPending = false;
    KillTimer(window, ReloadRetryTimer);
    UnloadItems();
    LoadItems();
    InvalidateRect(window, nullptr, TRUE);
}

bool TodayHost::QueryHeights() {
    bool changed = false;
    for (auto& item : items) {
        if (SendMessageW(item->window, WM_TODAYCUSTOM_QUERYREFRESHCACHE,
                         reinterpret_cast<WPARAM>(&item->record), 0))
            changed = true;
    }
    return changed;
}

void TodayHost::Layout() {
    RECT client;
    GetClientRect(window, &client);
    int y = NavigationBarHeight();
    for (auto& item : items) {
        int height = static_cast<int>(item->record.cyp);
        MoveWindow(item->window, 0, y, client.right, height, FALSE);
        InvalidateRect(item->window, nullptr, TRUE);
        y += height;
    }
    InvalidateRect(window, nullptr, TRUE);
}

void TodayHost::UpdateAll() {
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    for (auto& item : items)
        UpdateWindow(item->window);
}

int TodayHost::IndexOf(HWND itemWindow) const {
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i]->window == itemWindow)
            return static_cast<int>(i);
    }
    return -1;
}

// The item accepts the selection by answering TRUE; the shell repaints it either way.
bool TodayHost::GiveSelection(int index, UINT key) {
    HWND itemWindow = items[index]->window;
    bool taken = SendMessageW(itemWindow, WM_TODAYCUSTOM_RECEIVEDSELECTION, key, 0) != 0;
    InvalidateRect(itemWindow, nullptr, TRUE);
    if (taken)
        selection = index;
    return taken;
}

void TodayHost::TakeSelection() {
    if (selection < 0)
        return;
    HWND itemWindow = items[selection]->window;
    selection = -1;
    SendMessageW(itemWindow, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
    InvalidateRect(itemWindow, nullptr, TRUE);
}

void TodayHost::Navigate(UINT key) {
    if (items.empty())
        return;
    if (key == VK_RETURN) {
        if (selection >= 0)
            SendMessageW(items[selection]->window, WM_TODAYCUSTOM_ACTION, key, 0);
        return;
    }
    if (key != VK_UP && key != VK_DOWN && key != VK_LEFT && key != VK_RIGHT)
        return;
    int start;
    if (selection >= 0) {
        if (SendMessageW(items[selection]->window, WM_TODAYCUSTOM_USERNAVIGATION, key, 0))
            return;
        if (key == VK_LEFT || key == VK_RIGHT)
            return;
        start = selection + (key == VK_DOWN ? 1 : -1);
        TakeSelection();
    } else {
        if (key == VK_LEFT || key == VK_RIGHT)
            return;
        start = key == VK_DOWN ? 0 : static_cast<int>(items.size()) - 1;
    }
    // Past the first or last item the selection leaves the items.
    int step = key == VK_DOWN ? 1 : -1;
    for (int i = start; i >= 0 && i < static_cast<int>(items.size()); i += step) {
        if (items[i]->record.cyp > 0 && GiveSelection(i, key))
            return;
    }
}

namespace {

// The title the shell gives an item's options dialog: the item's name, set as the dialog
// becomes active, before it is first drawn.
const wchar_t* optionsTitle = nullptr;
HHOOK optionsHook = nullptr;

LRESULT CALLBACK TitleOptions(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && optionsTitle) {
        SetWindowTextW(reinterpret_cast<HWND>(wParam), optionsTitle);
        optionsTitle = nullptr;
    }
    return CallNextHookEx(optionsHook, code, wParam, lParam);
}

} // namespace

bool TodayHost::OpenOptions(TodayItem* item) {
    if (!item || !item->optionsProc)
        return false;
    ++itemDepth;
    optionsTitle = item->record.szName;
    optionsHook = SetWindowsHookExW(WH_CBT, TitleOptions, nullptr, GetCurrentThreadId());
    DialogBoxParamW(item->module, MAKEINTRESOURCEW(IDD_TODAY_CUSTOM), window,
                    reinterpret_cast<DLGPROC>(item->optionsProc), 0);
    if (optionsHook)
        UnhookWindowsHookEx(optionsHook);
    optionsHook = nullptr;
    optionsTitle = nullptr;
    --itemDepth;
    return true;
}

void TodayHost::RenderBackground() {
    RECT client;
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    backgroundDC = CreateCompatibleDC(dc);
    backgroundBitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    savedBackgroundBitmap = SelectObject(backgroundDC, backgroundBitmap);
    ReleaseDC(window, dc);

    HBITMAP picture = nullptr;
    if (!backgroundFile.empty())
        picture = static_cast<HBITMAP>(
            LoadImageW(nullptr, backgroundFile.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    if (picture) {
        HDC pictureDC = CreateCompatibleDC(backgroundDC);
        HGDIOBJ saved = SelectObject(pictureDC, picture);
        BITMAP size;
        GetObjectW(picture, sizeof(size), &size);
        SetStretchBltMode(backgroundDC, HALFTONE);
        StretchBlt(backgroundDC, 0, 0, client.right, client.bottom, pictureDC, 0, 0, size.bmWidth,
                   size.bmHeight, SRCCOPY);
        SelectObject(pictureDC, saved);
        DeleteDC(pictureDC);
        DeleteObject(picture);
        return;
    }
    // The default theme: white at the top fading to a light blue at the bottom.
    TRIVERTEX vertices[2] = {{0, 0, 0xFF00, 0xFF00, 0xFF00, 0},
                             {client.right, client.bottom, 0xC600, 0xDB00, 0xF700, 0}};
    GRADIENT_RECT rect = {0, 1};
    GradientFill(backgroundDC, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_V);
}

void TodayHost::DrawWatermark(const TODAYDRAWWATERMARKINFO& info) {
    // The part of the screen's background under the item, so that items join seamlessly.
    POINT origin = {info.rc.left, info.rc.top};
    if (info.hwnd)
        MapWindowPoints(info.hwnd, window, &origin, 1);
    BitBlt(info.hdc, info.rc.left, info.rc.top, info.rc.right - info.rc.left,
           info.rc.bottom - info.rc.top, backgroundDC, origin.x, origin.y, SRCCOPY);
}

void TodayHost::Paint(HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    BitBlt(dc, 0, 0, client.right, client.bottom, backgroundDC, 0, 0, SRCCOPY);
    // The navigation bar: "Start" and the time, as on the device.
    RECT bar = {0, 0, client.right, NavigationBarHeight()};
    HBRUSH brush = CreateSolidBrush(RGB(16, 36, 107));
    FillRect(dc, &bar, brush);
    DeleteObject(brush);
    HGDIOBJ savedFont = SelectObject(dc, barFont);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    RECT text = bar;
    text.left += 6;
    text.right -= 6;
    DrawTextW(dc, L"Start", -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t clock[16];
    wsprintfW(clock, L"%d:%02d", now.wHour, now.wMinute);
    DrawTextW(dc, clock, -1, &text, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, savedFont);
}

LRESULT CALLBACK TodayHost::HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* host = reinterpret_cast<TodayHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        host = static_cast<TodayHost*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        host->window = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
    }
    if (!host)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    return host->WindowProc(message, wParam, lParam);
}

LRESULT TodayHost::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        Paint(dc);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_KEYDOWN:
        Navigate(static_cast<UINT>(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == RefreshTimer) {
            if (QueryHeights())
                Layout();
            // The clock in the navigation bar.
            RECT bar = {0, 0, GetSystemMetrics(SM_CXSCREEN), NavigationBarHeight()};
            InvalidateRect(window, &bar, FALSE);
        } else if (wParam == ReloadRetryTimer && reloadPending) {
            Reload();
        }
        return 0;
    case WM_SETTINGCHANGE:
        // Posted, not done here: the sender may be code of an item that the reload unloads.
        if (wParam == SETTINGCHANGE_RESET)
            PostMessageW(window, WM_APP_RELOAD, 0, 0);
        return 0;
    case WM_APP_RELOAD:
        Reload();
        return 0;
    case TodayHostOpenOptions: {
        int index = IndexOf(reinterpret_cast<HWND>(lParam));
        if (index >= 0)
            OpenOptions(items[index].get());
        return 0;
    }
    case TODAYM_GETCOLOR:
        switch (wParam) {
        case TODAYCOLOR_HIGHLIGHT:
            return HighlightColor;
        case TODAYCOLOR_HIGHLIGHTEDTEXT:
            return HighlightedTextColor;
        default:
            return TextColor;
        }
    case TODAYM_DRAWWATERMARK:
        if (lParam)
            DrawWatermark(*reinterpret_cast<TODAYDRAWWATERMARKINFO*>(lParam));
        return TRUE;
    case TODAYM_TOOKSELECTION: {
        int index = IndexOf(reinterpret_cast<HWND>(wParam));
        if (index >= 0 && index != selection) {
            TakeSelection();
            selection = index;
        }
        return 0;
    }
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Wraps every item window: records the texts of each complete paint and counts the messages
// the item is handling.
LRESULT CALLBACK TodayHost::ItemProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* item = static_cast<TodayItem*>(GetPropW(hwnd, ItemProperty));
    auto* host = reinterpret_cast<TodayHost*>(GetWindowLongPtrW(GetParent(hwnd), GWLP_USERDATA));
    if (!item || !host)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    WNDPROC original = item->originalProc;
    if (message == WM_NCDESTROY) {
        TimerRecorder::Forget(hwnd);
        RemovePropW(hwnd, ItemProperty);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    ++host->itemDepth;
    LRESULT result;
    if (message == WM_PAINT) {
        std::vector<std::wstring> texts;
        std::vector<std::wstring>* outer = TextRecorder::Current();
        TextRecorder::Begin(&texts);
        result = CallWindowProcW(original, hwnd, message, wParam, lParam);
        TextRecorder::End(outer);
        item->texts = std::move(texts);
    } else {
        result = CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    --host->itemDepth;
    if (host->observer)
        host->observer->OnItemMessage(*item, message, wParam, lParam);
    return result;
}

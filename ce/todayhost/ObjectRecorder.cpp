#include "ObjectRecorder.h"

#include <set>

#include "ImportPatch.h"

namespace {

struct LiveObjects {
    LiveObjects() { InitializeCriticalSection(&guard); }
    CRITICAL_SECTION guard;
    std::set<HANDLE> gdi;
    std::set<HMENU> menus;
    std::set<HANDLE> icons;
    std::set<HWND> windows;
};

LiveObjects& Objects() {
    static LiveObjects objects;
    return objects;
}

template <class H> H Add(std::set<H>& set, H handle) {
    if (handle) {
        EnterCriticalSection(&Objects().guard);
        set.insert(handle);
        LeaveCriticalSection(&Objects().guard);
    }
    return handle;
}

template <class H> void Remove(std::set<H>& set, H handle) {
    EnterCriticalSection(&Objects().guard);
    set.erase(handle);
    LeaveCriticalSection(&Objects().guard);
}

template <class H> H AddGdi(H handle) {
    Add<HANDLE>(Objects().gdi, handle);
    return handle;
}


HBRUSH WINAPI RecordCreateSolidBrush(COLORREF color) {
    return AddGdi(CreateSolidBrush(color));
}

HPEN WINAPI RecordCreatePen(int style, int width, COLORREF color) {
    return AddGdi(CreatePen(style, width, color));
}

HFONT WINAPI RecordCreateFontIndirectW(const LOGFONTW* font) {
    return AddGdi(CreateFontIndirectW(font));
}

HDC WINAPI RecordCreateCompatibleDC(HDC dc) {
    return AddGdi(CreateCompatibleDC(dc));
}

HBITMAP WINAPI RecordCreateCompatibleBitmap(HDC dc, int width, int height) {
    return AddGdi(CreateCompatibleBitmap(dc, width, height));
}

HBITMAP WINAPI RecordCreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                      HANDLE section, DWORD offset) {
    return AddGdi(CreateDIBSection(dc, info, usage, bits, section, offset));
}

HRGN WINAPI RecordCreateRectRgn(int left, int top, int right, int bottom) {
    return AddGdi(CreateRectRgn(left, top, right, bottom));
}

HDC WINAPI RecordGetDC(HWND window) {
    return AddGdi(GetDC(window));
}

HDC WINAPI RecordGetWindowDC(HWND window) {
    return AddGdi(GetWindowDC(window));
}

int WINAPI RecordReleaseDC(HWND window, HDC dc) {
    Remove<HANDLE>(Objects().gdi, dc);
    return ReleaseDC(window, dc);
}

BOOL WINAPI RecordDeleteObject(HGDIOBJ object) {
    Remove<HANDLE>(Objects().gdi, object);
    return DeleteObject(object);
}

BOOL WINAPI RecordDeleteDC(HDC dc) {
    Remove<HANDLE>(Objects().gdi, dc);
    return DeleteDC(dc);
}

HWND WINAPI RecordCreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR name, DWORD style,
                                  int x, int y, int width, int height, HWND parent, HMENU menu,
                                  HINSTANCE instance, LPVOID parameter) {
    return Add(Objects().windows, CreateWindowExW(exStyle, className, name, style, x, y, width,
                                                  height, parent, menu, instance, parameter));
}

BOOL WINAPI RecordDestroyWindow(HWND window) {
    Remove(Objects().windows, window);
    return DestroyWindow(window);
}

HMENU WINAPI RecordLoadMenuW(HINSTANCE instance, LPCWSTR name) {
    return Add(Objects().menus, LoadMenuW(instance, name));
}

HMENU WINAPI RecordCreatePopupMenu() {
    return Add(Objects().menus, CreatePopupMenu());
}

BOOL WINAPI RecordDestroyMenu(HMENU menu) {
    Remove(Objects().menus, menu);
    return DestroyMenu(menu);
}

// Shared images belong to the system and are never destroyed by their user.
HANDLE WINAPI RecordLoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height,
                               UINT flags) {
    HANDLE image = LoadImageW(instance, name, type, width, height, flags);
    if (flags & LR_SHARED)
        return image;
    return type == IMAGE_BITMAP ? AddGdi(image) : Add(Objects().icons, image);
}

BOOL WINAPI RecordDestroyIcon(HICON icon) {
    Remove<HANDLE>(Objects().icons, icon);
    return DestroyIcon(icon);
}

const ImportRedirect redirects[] = {
    {"CreateSolidBrush", reinterpret_cast<void*>(RecordCreateSolidBrush)},
    {"CreatePen", reinterpret_cast<void*>(RecordCreatePen)},
    {"CreateFontIndirectW", reinterpret_cast<void*>(RecordCreateFontIndirectW)},
    {"CreateCompatibleDC", reinterpret_cast<void*>(RecordCreateCompatibleDC)},
    {"CreateCompatibleBitmap", reinterpret_cast<void*>(RecordCreateCompatibleBitmap)},
    {"CreateDIBSection", reinterpret_cast<void*>(RecordCreateDIBSection)},
    {"CreateRectRgn", reinterpret_cast<void*>(RecordCreateRectRgn)},
    {"GetDC", reinterpret_cast<void*>(RecordGetDC)},
    {"GetWindowDC", reinterpret_cast<void*>(RecordGetWindowDC)},
    {"ReleaseDC", reinterpret_cast<void*>(RecordReleaseDC)},
    {"DeleteObject", reinterpret_cast<void*>(RecordDeleteObject)},
    {"DeleteDC", reinterpret_cast<void*>(RecordDeleteDC)},
    {"CreateWindowExW", reinterpret_cast<void*>(RecordCreateWindowExW)},
    {"DestroyWindow", reinterpret_cast<void*>(RecordDestroyWindow)},
    {"LoadMenuW", reinterpret_cast<void*>(RecordLoadMenuW)},
    {"CreatePopupMenu", reinterpret_cast<void*>(RecordCreatePopupMenu)},
    {"DestroyMenu", reinterpret_cast<void*>(RecordDestroyMenu)},
    {"LoadImageW", reinterpret_cast<void*>(RecordLoadImageW)},
    {"DestroyIcon", reinterpret_cast<void*>(RecordDestroyIcon)},
};

} // namespace

int ObjectRecorder::Patch(HMODULE module) {
    return RedirectImports(module, redirects, sizeof(redirects) / sizeof(redirects[0]));
}

ObjectRecorder::Counts ObjectRecorder::Live() {
    LiveObjects& objects = Objects();
    Counts counts;
    EnterCriticalSection(&objects.guard);
    for (auto it = objects.windows.begin(); it != objects.windows.end();) {
        it = IsWindow(*it) ? std::next(it) : objects.windows.erase(it);
    }
    // A menu destroyed with the menu it hung in is gone without a DestroyMenu of its own.
    for (auto it = objects.menus.begin(); it != objects.menus.end();) {
        it = IsMenu(*it) ? std::next(it) : objects.menus.erase(it);
    }
    counts.gdi = static_cast<long>(objects.gdi.size());
    counts.user =
        static_cast<long>(objects.windows.size() + objects.menus.size() + objects.icons.size());
    LeaveCriticalSection(&objects.guard);
    return counts;
}

#include "ObjectRecorder.h"

#include <process.h>

#include <map>
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
    // The function that made each handle.
    std::map<HANDLE, const char*> kernel;
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

template <class H> H AddKernel(H handle, const char* maker) {
    if (handle && handle != INVALID_HANDLE_VALUE) {
        EnterCriticalSection(&Objects().guard);
        Objects().kernel[handle] = maker;
        LeaveCriticalSection(&Objects().guard);
    }
    return handle;
}

void RemoveKernel(HANDLE handle) {
    EnterCriticalSection(&Objects().guard);
    Objects().kernel.erase(handle);
    LeaveCriticalSection(&Objects().guard);
}

HANDLE WINAPI RecordCreateFileW(LPCWSTR name, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE templateFile) {
    return AddKernel(CreateFileW(name, access, share, security, disposition, flags, templateFile),
                     "CreateFileW");
}

HANDLE WINAPI RecordCreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES security,
                                       DWORD protection, DWORD sizeHigh, DWORD sizeLow,
                                       LPCWSTR name) {
    return AddKernel(CreateFileMappingW(file, security, protection, sizeHigh, sizeLow, name),
                     "CreateFileMappingW");
}

HANDLE WINAPI RecordCreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL initial,
                                 LPCWSTR name) {
    return AddKernel(CreateEventW(security, manual, initial, name), "CreateEventW");
}

HANDLE WINAPI RecordCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                                 LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                 LPDWORD id) {
    return AddKernel(CreateThread(security, stack, start, parameter, flags, id), "CreateThread");
}

HANDLE WINAPI RecordCreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL initial,
                                 LPCSTR name) {
    return AddKernel(CreateEventA(security, manual, initial, name), "CreateEventA");
}

HANDLE WINAPI RecordCreateSemaphoreA(LPSECURITY_ATTRIBUTES security, LONG initial, LONG maximum,
                                     LPCSTR name) {
    return AddKernel(CreateSemaphoreA(security, initial, maximum, name), "CreateSemaphoreA");
}

BOOL WINAPI RecordDuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess,
                                  LPHANDLE target, DWORD access, BOOL inherit, DWORD options) {
    BOOL done =
        DuplicateHandle(sourceProcess, source, targetProcess, target, access, inherit, options);
    if (done && target && GetProcessId(targetProcess) == GetCurrentProcessId()) {
        AddKernel(*target, "DuplicateHandle");
    }
    if (done && (options & DUPLICATE_CLOSE_SOURCE) &&
        GetProcessId(sourceProcess) == GetCurrentProcessId()) {
        RemoveKernel(source);
    }
    return done;
}

uintptr_t __cdecl RecordBeginThreadEx(void* security, unsigned stack,
                                      unsigned(__stdcall* start)(void*), void* parameter,
                                      unsigned flags, unsigned* id) {
    uintptr_t thread = _beginthreadex(security, stack, start, parameter, flags, id);
    if (thread) {
        AddKernel(reinterpret_cast<HANDLE>(thread), "_beginthreadex");
    }
    return thread;
}

BOOL WINAPI RecordCloseHandle(HANDLE handle) {
    RemoveKernel(handle);
    return CloseHandle(handle);
}

const ImportRedirect redirects[] = {
    {"CreateFileW", reinterpret_cast<void*>(RecordCreateFileW)},
    {"CreateFileMappingW", reinterpret_cast<void*>(RecordCreateFileMappingW)},
    {"CreateEventW", reinterpret_cast<void*>(RecordCreateEventW)},
    {"CreateThread", reinterpret_cast<void*>(RecordCreateThread)},
    {"CreateEventA", reinterpret_cast<void*>(RecordCreateEventA)},
    {"CreateSemaphoreA", reinterpret_cast<void*>(RecordCreateSemaphoreA)},
    {"DuplicateHandle", reinterpret_cast<void*>(RecordDuplicateHandle)},
    {"_beginthreadex", reinterpret_cast<void*>(RecordBeginThreadEx)},
    {"CloseHandle", reinterpret_cast<void*>(RecordCloseHandle)},
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

std::string ObjectRecorder::KernelMakers() {
    std::map<std::string, int> makers;
    EnterCriticalSection(&Objects().guard);
    for (const auto& each : Objects().kernel) {
        ++makers[each.second];
    }
    LeaveCriticalSection(&Objects().guard);
    std::string text;
    for (const auto& maker : makers) {
        text += (text.empty() ? "" : ", ") + maker.first + " " + std::to_string(maker.second);
    }
    return text;
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
    counts.kernel = static_cast<long>(objects.kernel.size());
    counts.user =
        static_cast<long>(objects.windows.size() + objects.menus.size() + objects.icons.size());
    LeaveCriticalSection(&objects.guard);
    return counts;
}

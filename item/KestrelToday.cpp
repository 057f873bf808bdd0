// KestrelToday.dll: the library entry and the Today shell's export.

#include <windows.h>

#include "ExceptionGlobals.h"
#include "KestrelTodayItem.h"
#include "OptionPages.h"
#include "RuntimePool.h"
#include "todaycmn.h"

namespace {

// The one item of the process, alive while the library is loaded.
KestrelTodayItem* item = nullptr;

LRESULT CALLBACK ItemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!item)
        return DefWindowProcW(window, message, wParam, lParam);
    return item->WindowProc(message, wParam, lParam);
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (!ExceptionGlobals::Attach()) {
            ExceptionGlobals::Detach();
            return FALSE;
        }
        item = new KestrelTodayItem(instance);
        CreateOptionPages(instance, item);
        break;
    case DLL_PROCESS_DETACH:
        if (item) {
            item->UnregisterWindowClass();
            delete item;
            item = nullptr;
        }
        DestroyOptionPages();
        ExceptionGlobals::Detach();
        RuntimePool::ReleaseOnUnload(reserved);
        break;
    case DLL_THREAD_DETACH:
        ExceptionGlobals::ThreadDetach();
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" HWND WINAPI InitializeCustomItem(TODAYLISTITEM* record, HWND parent) {
    if (!record || !record->fEnabled || !item)
        return nullptr;
    item->RegisterWindowClass(ItemWindowProc);
    if (!item->Create(record, parent, WS_CHILD | WS_VISIBLE))
        return nullptr;
    return item->GetWindow();
}

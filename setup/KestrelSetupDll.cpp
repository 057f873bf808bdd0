// The package's setup library: the CAB installer calls it around copying and removing files.
// It takes the Today item out of service first, so that the shell does not hold
// KestrelToday.dll loaded while the installer replaces or deletes it, and makes the Today
// screen reload afterwards. The package's own registry values decide whether the item is
// enabled again; this library never enables it.

#include <windows.h>

#include "CVORegistry.h"
#include "RuntimePool.h"
#include "ce_setup.h"

namespace {

const wchar_t kItemKey[] = L"\\Software\\Microsoft\\Today\\Items\\Kestrel";
// WM_SETTINGCHANGE wParam that makes the Today screen reload its items.
const WPARAM kSettingTodayItems = 0xF2;

// Opens, never creates: an item that was never registered stays unregistered.
void DisableTodayItem() {
    CVORegistry item(HKEY_LOCAL_MACHINE, kItemKey, FALSE);
    if (item.GetKey()) {
        item.SetDWORDValue(L"Enabled", 0);
    }
    item.Close();
}

void RefreshTodayScreen() {
    HWND desktop = FindWindowW(L"DesktopExplorerWindow", L"Desktop");
    if (desktop) {
        SendMessageW(desktop, WM_SETTINGCHANGE, kSettingTodayItems, 0);
    }
}

} // namespace

// Install_Init and Uninstall_Init are this one function, Install_Exit and Uninstall_Exit the
// other (see the .def file). Both entry kinds start with the parent window; the remaining
// arguments differ, are ignored, and the calling convention leaves them to the caller.
extern "C" int KestrelSetupInit(HWND) {
    DisableTodayItem();
    RefreshTodayScreen();
    static_assert(codeINSTALL_INIT_CONTINUE == 0 && codeUNINSTALL_INIT_CONTINUE == 0);
    return codeINSTALL_INIT_CONTINUE;
}

extern "C" int KestrelSetupExit(HWND) {
    RefreshTodayScreen();
    static_assert(codeINSTALL_EXIT_DONE == 0 && codeUNINSTALL_EXIT_DONE == 0);
    return codeINSTALL_EXIT_DONE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        RuntimePool::ReleaseOnUnload(reserved);
    }
    return TRUE;
}

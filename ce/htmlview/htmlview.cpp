// htmlview.dll: the device's HTML view control.

#include "HtmlView.h"

#include <htmlctrl.h>

#include "RuntimePool.h"

// Gives the runtime's exception pool back when the library is unloaded.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        RuntimePool::ReleaseOnUnload(reserved);
    }
    return TRUE;
}

BOOL WINAPI InitHTMLControl(HINSTANCE hinst) {
    return HtmlView::Register(hinst);
}

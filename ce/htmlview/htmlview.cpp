// htmlview.dll: the device's HTML view control.

#include "HtmlView.h"

#include <htmlctrl.h>

BOOL WINAPI InitHTMLControl(HINSTANCE hinst) {
    return HtmlView::Register(hinst);
}

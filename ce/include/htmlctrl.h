#pragma once

// The device's HTML view control (htmlview.dll): window class, messages and notifications.

#include <windows.h>

#define DISPLAYCLASS L"DISPLAYCLASS"
#define WC_HTML DISPLAYCLASS

// Messages to the control.
#define DTM_ENABLECONTEXTMENU (WM_USER + 110)
#define DTM_NAVIGATE (WM_USER + 120)

// wParam flags of DTM_NAVIGATE; lParam is the URL (LPCWSTR).
#define NAVIGATEFLAG_REFRESH 0x0020

// Notifications to the parent (WM_NOTIFY, code in NMHDR::code).
#define NM_CONTEXTMENU (WM_USER + 107)
#define NM_DOCUMENTCOMPLETE (WM_USER + 110)

// NM_CONTEXTMENU: pt is the tap-and-hold point in screen coordinates.
typedef struct tagNM_HTMLCONTEXT {
    NMHDR hdr;
    POINT pt;
    LPWSTR szLinkHREF;
    LPWSTR szLinkName;
    DWORD dwReserved1;
    DWORD dwImageCookie;
    DWORD dwReserved2;
} NM_HTMLCONTEXT;

// NM_DOCUMENTCOMPLETE: szTarget is the URL that finished loading.
typedef struct tagNM_HTMLVIEW {
    NMHDR hdr;
    LPCWSTR szTarget;
    LPCWSTR szData;
    union {
        LPARAM lParam;
        DWORD dwCookie;
    };
    LPCWSTR szExInfo;
} NM_HTMLVIEW;

#ifdef __cplusplus
extern "C" {
#endif

// Ordinal 1: registers DISPLAYCLASS for the given instance.
BOOL WINAPI InitHTMLControl(HINSTANCE hinst);

#ifdef __cplusplus
}
#endif

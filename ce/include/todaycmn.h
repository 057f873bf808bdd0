#pragma once

// Today screen item protocol of the Pocket PC shell: the record the shell keeps per item, the
// messages it sends to an item window and the requests an item sends back to the shell.

#include <windows.h>

#define k_cTodayItemsMax 12
#define MAX_ITEMNAME 32

// Exports of a custom item DLL, by ordinal.
#define ORDINAL_INITIALIZEITEM 240
#define ORDINAL_OPTIONSDIALOGPROC 241

// The item's options dialog template in its DLL.
#define IDD_TODAY_CUSTOM 500

typedef enum _TODAYLISTITEMTYPE {
    tlitOwnerInfo = 0,
    tlitAppointments,
    tlitMail,
    tlitTasks,
    tlitCustom,
    tlitNil
} TODAYLISTITEMTYPE;

typedef struct _TODAYLISTITEM {
    WCHAR szName[MAX_ITEMNAME];
    TODAYLISTITEMTYPE tlit;
    DWORD dwOrder;
    DWORD cyp;
    BOOL fEnabled;
    BOOL fOptions;
    DWORD grfFlags;
    WCHAR szDLLPath[MAX_PATH];
    HINSTANCE hinstDLL;
    HWND hwndCustom;
    BOOL fSizeOnDraw;
    BYTE* prgbCachedData;
    DWORD cbCachedData;
} TODAYLISTITEM;

typedef HWND(WINAPI* PFNCUSTOMINITIALIZEITEM)(TODAYLISTITEM*, HWND);
typedef INT_PTR(CALLBACK* PFNCUSTOMOPTIONSDLGPROC)(HWND, UINT, WPARAM, LPARAM);

// Shell to item.
#define WM_TODAYCUSTOM_CLEARCACHE (WM_USER + 242)
#define WM_TODAYCUSTOM_QUERYREFRESHCACHE (WM_USER + 243)
#define WM_TODAYCUSTOM_RECEIVEDSELECTION (WM_USER + 244)
#define WM_TODAYCUSTOM_LOSTSELECTION (WM_USER + 245)
#define WM_TODAYCUSTOM_USERNAVIGATION (WM_USER + 246)
#define WM_TODAYCUSTOM_ACTION (WM_USER + 247)

// Item to shell.
#define TODAYM_GETCOLOR (WM_USER + 100)
#define TODAYM_DRAWWATERMARK (WM_USER + 101)
#define TODAYM_TOOKSELECTION (WM_USER + 102)

// wParam of TODAYM_GETCOLOR.
#define TODAYCOLOR_TEXT 0x10000004
#define TODAYCOLOR_HIGHLIGHT 0x10000022
#define TODAYCOLOR_HIGHLIGHTEDTEXT 0x10000023

// lParam of TODAYM_DRAWWATERMARK.
typedef struct {
    HDC hdc;
    RECT rc;
    HWND hwnd;
} TODAYDRAWWATERMARKINFO;

// wParam of WM_SETTINGCHANGE that makes the shell reload its items.
#define SETTINGCHANGE_RESET 0xF2

#pragma once

// Pocket PC shell helpers (aygshell.dll): dialog set-up, full screen, the Done button and the
// tap-and-hold gesture. Exported by ordinal; the import library resolves the names.

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// The stand-in exports through its .def file (ordinals, no names).
#ifdef KESTREL_BUILDING_AYGSHELL
#define AYGSHELL_API
#else
#define AYGSHELL_API __declspec(dllimport)
#endif

// SHInitDialog
typedef struct tagSHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
} SHINITDLGINFO, *PSHINITDLGINFO;

#define SHIDIM_FLAGS 0x0001

#define SHIDIF_DONEBUTTON 0x0001
#define SHIDIF_SIZEDLG 0x0002
#define SHIDIF_SIZEDLGFULLSCREEN 0x0004
#define SHIDIF_SIPDOWN 0x0008
#define SHIDIF_FULLSCREENNOMENUBAR 0x0010
#define SHIDIF_EMPTYMENU 0x0020
#define SHIDIF_WANTSCROLLBAR 0x0040

// SHFullScreen
#define SHFS_SHOWTASKBAR 0x0001
#define SHFS_HIDETASKBAR 0x0002
#define SHFS_SHOWSIPBUTTON 0x0004
#define SHFS_HIDESIPBUTTON 0x0008
#define SHFS_SHOWSTARTICON 0x0010
#define SHFS_HIDESTARTICON 0x0020

// SHDoneButton
#define SHDB_SHOW 0x0001
#define SHDB_HIDE 0x0002
#define SHDB_SHOWCANCEL 0x0004

// SHRecognizeGesture
typedef struct tagSHRGI {
    DWORD cbSize;
    HWND hwndClient;
    POINT ptDown;
    DWORD dwFlags;
} SHRGINFO, *PSHRGINFO;

#define SHRG_RETURNCMD 0x00000001
#define SHRG_NOTIFYPARENT 0x00000002
#define SHRG_LONGDELAY 0x00000008
#define SHRG_NOANIMATION 0x00000010

#define GN_CONTEXTMENU 1000

// The class of the input panel button that dialog templates place ("SIPPREF").
#define WC_SIPPREF L"SIPPREF"

AYGSHELL_API BOOL WINAPI SHInitExtraControls(void);
AYGSHELL_API BOOL WINAPI SHInitDialog(PSHINITDLGINFO pshidi);
AYGSHELL_API BOOL WINAPI SHFullScreen(HWND hwndRequester, DWORD dwState);
AYGSHELL_API BOOL WINAPI SHDoneButton(HWND hwndRequester, DWORD dwState);
AYGSHELL_API DWORD WINAPI SHRecognizeGesture(SHRGINFO* shrg);

#ifdef __cplusplus
}
#endif

#pragma once

// Storage-card folder query of the Pocket PC (note_prj.dll), exported by ordinal:
// 7 FindFirstFlashCard, 8 FindNextFlashCard. The search handle is closed with FindClose.

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef KESTREL_BUILDING_NOTE_PRJ
#define NOTE_PRJ_API
#else
#define NOTE_PRJ_API __declspec(dllimport)
#endif

// Fills the record of the first storage-card folder (cFileName is the folder's name in the
// root) and returns a search handle; INVALID_HANDLE_VALUE when there is none.
NOTE_PRJ_API HANDLE WINAPI FindFirstFlashCard(LPWIN32_FIND_DATAW lpFindFlashData);
// The next storage-card folder of the search; FALSE when there are no more.
NOTE_PRJ_API BOOL WINAPI FindNextFlashCard(HANDLE hFlashCard, LPWIN32_FIND_DATAW lpFindFlashData);

#ifdef __cplusplus
}
#endif

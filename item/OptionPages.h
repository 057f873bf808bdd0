#pragma once

#include <windows.h>

class CTodayWindow;

// The item's settings key under HKEY_LOCAL_MACHINE (the registry wrapper drops the backslash).
extern const wchar_t* const ItemSettingsKey;

// The four settings page objects of the process: created right after the item when the
// library is attached, destroyed when it is detached.
void CreateOptionPages(HINSTANCE instance, CTodayWindow* item);
void DestroyOptionPages();

// The pages' dialog procedures, each forwarding to its page object. The basic page's is the
// Today shell's options dialog procedure for the item (export 241, dialog 500).
extern "C" INT_PTR CALLBACK CustomItemOptionsDlgProc(HWND dialog, UINT message, WPARAM wParam,
                                                     LPARAM lParam);
INT_PTR CALLBACK BtsDatabasePageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK GpsOptionsPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutPageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Makes the item re-read its settings after a page has stored them.
void ReloadItemSettings(CTodayWindow* item);

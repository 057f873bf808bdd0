#include "KestrelOptionsDialog.h"

#include <commdlg.h>
#include <prsht.h>

#include <climits>
#include <cstdlib>

#include "LeadingNumber.h"
#include "OptionPages.h"
#include "resource.h"

namespace {

const wchar_t* const DefaultLogPath = L"\\gsminfo.txt";
const DWORD DefaultCheckInterval = 5;
const DWORD DefaultItemHeight = 70;
const DWORD FileNameChars = 260;

// Pairs of description and pattern, ending with an empty pair.
const wchar_t LogFileFilter[] = L"Textové soubory (*.txt)\0*.txt\0Všechny soubory\0*.*\0";

// A number at the start of the text, as stream extraction reads it; 0 when there is none
// or when it does not fit (a huge height would wreck the Today screen's layout).
long LeadingNumber(const std::wstring& text) {
    long long value = 0;
    if (!ReadLeadingNumber(text, LONG_MIN, LONG_MAX, value))
        return 0;
    return static_cast<long>(value);
}

} // namespace

KestrelOptionsDialog::KestrelOptionsDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen)
    : CTodayOptionsDialog(instance, item, fullScreen),
      registry(HKEY_LOCAL_MACHINE, ItemSettingsKey, TRUE) {
    SetTitle(L"Nastavení Kestrelu", false);
}

KestrelOptionsDialog::~KestrelOptionsDialog() {
    registry.Close();
}

BOOL KestrelOptionsDialog::OnInitDialog(LPARAM lParam) {
    LoadValues();
    return CTodayOptionsDialog::OnInitDialog(lParam);
}

void KestrelOptionsDialog::OnOK() {
    StoreValues();
    CTodayOptionsDialog::OnOK();
}

void KestrelOptionsDialog::OnCommand(UINT id, UINT, HWND) {
    if (id == IDC_OPTIONS_BROWSE)
        BrowseLogFile();
}

INT_PTR KestrelOptionsDialog::OnNotify(WPARAM wParam, NMHDR* header) {
    if (header && header->code == static_cast<UINT>(PSN_KILLACTIVE)) {
        StoreValues();
        return TRUE;
    }
    return CTodayOptionsDialog::OnNotify(wParam, header);
}

void KestrelOptionsDialog::LoadValues() {
    DWORD interval = registry.GetDWORDValue(L"CheckInterval", DefaultCheckInterval);
    CVOString logPath = registry.GetStringValue(L"LogFilePath", DefaultLogPath);
    DWORD height = registry.GetDWORDValue(L"ItemHeight", DefaultItemHeight);

    wchar_t number[16];
    wsprintfW(number, L"%d", static_cast<int>(interval));
    SetItemText(IDC_OPTIONS_INTERVAL, number);
    SetItemText(IDC_OPTIONS_LOG_PATH, logPath.c_str());
    wsprintfW(number, L"%u", height);
    SetItemText(IDC_OPTIONS_HEIGHT, number);
}

void KestrelOptionsDialog::StoreValues() {
    long interval = _wtol(GetItemText(IDC_OPTIONS_INTERVAL).c_str());
    std::wstring logPath = GetItemText(IDC_OPTIONS_LOG_PATH);
    long height = LeadingNumber(GetItemText(IDC_OPTIONS_HEIGHT));
    if (height <= 0)
        height = DefaultItemHeight;

    registry.SetDWORDValue(L"CheckInterval", static_cast<DWORD>(interval));
    registry.SetStringValue(L"LogFilePath", logPath.c_str());
    registry.SetDWORDValue(L"ItemHeight", static_cast<DWORD>(height));
    ReloadItemSettings(item);
}

void KestrelOptionsDialog::BrowseLogFile() {
    wchar_t fileName[FileNameChars] = L"";
    OPENFILENAMEW request = {};
    request.lStructSize = sizeof(request);
    request.hwndOwner = dialogWindow;
    request.lpstrFilter = LogFileFilter;
    request.nFilterIndex = 1;
    request.lpstrFile = fileName;
    request.nMaxFile = FileNameChars;
    request.Flags = OFN_PATHMUSTEXIST;
    if (GetSaveFileNameW(&request))
        SetItemText(IDC_OPTIONS_LOG_PATH, fileName);
}

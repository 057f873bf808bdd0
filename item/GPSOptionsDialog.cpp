#include "GPSOptionsDialog.h"

#include <prsht.h>

#include "OptionPages.h"
#include "resource.h"

GPSOptionsDialog::GPSOptionsDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen)
    : CTodayOptionsDialog(instance, item, fullScreen),
      registry(HKEY_LOCAL_MACHINE, ItemSettingsKey, TRUE) {}

GPSOptionsDialog::~GPSOptionsDialog() {
    registry.Close();
}

BOOL GPSOptionsDialog::OnInitDialog(LPARAM lParam) {
    LoadValues();
    return CTodayOptionsDialog::OnInitDialog(lParam);
}

void GPSOptionsDialog::OnOK() {
    StoreValues();
    CTodayOptionsDialog::OnOK();
}

INT_PTR GPSOptionsDialog::OnNotify(WPARAM wParam, NMHDR* header) {
    if (header && header->code == static_cast<UINT>(PSN_KILLACTIVE)) {
        StoreValues();
        return TRUE;
    }
    return CTodayOptionsDialog::OnNotify(wParam, header);
}

void GPSOptionsDialog::LoadValues() {
    CVOString email = registry.GetStringValue(L"AppEmail", L"");
    CVOString key = registry.GetStringValue(L"AppKey", L"");
    CVOString serviceUrl = registry.GetStringValue(L"WSUrl", L"");
    CVOString mapUrl = registry.GetStringValue(L"MapUrl", L"");
    DWORD autoMap = registry.GetDWORDValue(L"AutoMapAfterStart", 0);

    SetItemText(IDC_GPS_EMAIL, email.c_str());
    SetItemText(IDC_GPS_KEY, key.c_str());
    SetItemText(IDC_GPS_SERVICE, serviceUrl.c_str());
    SetItemText(IDC_GPS_MAP, mapUrl.c_str());
    SetChecked(IDC_GPS_AUTOMAP, autoMap != 0);
}

void GPSOptionsDialog::StoreValues() {
    std::wstring email = GetItemText(IDC_GPS_EMAIL);
    std::wstring key = GetItemText(IDC_GPS_KEY);
    std::wstring serviceUrl = GetItemText(IDC_GPS_SERVICE);
    std::wstring mapUrl = GetItemText(IDC_GPS_MAP);
    bool autoMap = IsChecked(IDC_GPS_AUTOMAP);

    registry.SetStringValue(L"AppEmail", email.c_str());
    registry.SetStringValue(L"AppKey", key.c_str());
    registry.SetStringValue(L"WSUrl", serviceUrl.c_str());
    registry.SetStringValue(L"MapUrl", mapUrl.c_str());
    registry.SetDWORDValue(L"AutoMapAfterStart", autoMap ? 1 : 0);
    ReloadItemSettings(item);
}

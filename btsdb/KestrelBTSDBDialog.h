#pragma once

#include <windows.h>

#include <string>

#include "CTodayOptionsDialog.h"
#include "CVORegistry.h"
#include "IStatusReceiver.h"

class CTodayWindow;
class InternetAccessComponent;

// Asks the item to re-read its settings after a page has stored them. Defined beside the
// item (it knows the item's class); the page only holds the framework's item pointer.
void ReloadItemSettings(CTodayWindow* item);

// The settings page "Databáze BTS" (dialog 102): the list of database sources (Net Id and
// URL, registry sub-keys of GsmDB), the folder of the databases, and "Stáhnout vše", which
// downloads every source into that folder as <Net Id>.csv.
class KestrelBTSDBDialog : public CTodayOptionsDialog, public IStatusReceiver {
public:
    KestrelBTSDBDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen);
    ~KestrelBTSDBDialog() override;

    void OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                    const wchar_t* statusText) override;

protected:
    BOOL OnInitDialog(LPARAM lParam) override;
    void OnOK() override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR OnNotify(WPARAM wParam, NMHDR* header) override;

private:
    void LoadValues();
    void StoreValues();
    void AddOrUpdateSource();
    void ShowSourceMenu(POINT screenPoint);
    void EditSelectedSource();
    void DeleteSelectedSource();
    void DownloadAll();
    // Downloads url into target through a file beside it, so that a failed transfer leaves
    // the previous database in place.
    bool DownloadDatabase(InternetAccessComponent& connection, const std::wstring& url,
                          const std::wstring& target);

    HWND SourceList() const;
    int FindSource(const std::wstring& netId) const;
    std::wstring SourceText(int row, int column) const;
    void ShowEditingView(bool editing);
    int Message(const std::wstring& text, UINT flags);

    CVORegistry registry;
    HMENU menu = nullptr;
    int selectedRow = -1;
};

#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

class CTodayWindow;

// Base of the item's settings pages. The page's static dialog procedure forwards everything to
// DialogProc, which turns each message into one of the virtual hooks below. The object lives
// as long as the library; its dialog window comes and goes each time the settings are shown.
class CTodayOptionsDialog {
public:
    CTodayOptionsDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen);
    virtual ~CTodayOptionsDialog();

    CTodayOptionsDialog(const CTodayOptionsDialog&) = delete;
    CTodayOptionsDialog& operator=(const CTodayOptionsDialog&) = delete;

    // INT_PTR is the dialog procedure's BOOL on the device and wide enough for the brushes
    // and pointers some messages answer with on x64.
    virtual INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The text is not copied: it must outlive the page (pages pass literals).
    void SetTitle(const wchar_t* text, bool repaint);
    bool IsChecked(int id);
    void SetChecked(int id, bool on);
    void SetItemText(int id, std::wstring text);
    std::wstring GetItemText(int id);
    void InsertListBoxString(int id, const wchar_t* text, int index);
    bool fInsertListViewColumn(HWND listView, int column, int widthPercent, const wchar_t* title);
    bool fInsertListViewItem(HWND listView, int item, int subItem, int iSubItemYesNo,
                             const wchar_t* text);

protected:
    virtual void DrawTitle(HDC dc);
    virtual void CreateTitleFont();
    virtual BOOL OnInitDialog(LPARAM lParam);
    virtual void OnDestroy();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnPaint(HDC dc);
    virtual void OnActivate(UINT state, LPARAM lParam, BOOL minimized);
    virtual void OnCommand(UINT id, UINT code, HWND control);
    virtual void OnSettingChange(WPARAM wParam, LPARAM lParam);
    virtual INT_PTR OnNotify(WPARAM wParam, NMHDR* header);
    virtual INT_PTR OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnLButtonDown(UINT keys, int x, int y);

    HWND dialogWindow = nullptr;
    CTodayWindow* item;
    bool fullScreen;
    int titleHeight = 23;
    const wchar_t* titleText = L"";
    HINSTANCE instance;
    HFONT titleFont = nullptr;
};

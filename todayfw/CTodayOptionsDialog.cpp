#include "CTodayOptionsDialog.h"

#include <windowsx.h>

#include "aygshell.h"

namespace {

const wchar_t MessageCaption[] = L"Kestrel";
const COLORREF TitleColor = RGB(0, 0, 156);

void ShowListViewError(const wchar_t* text) {
    MessageBoxW(nullptr, text, MessageCaption, MB_ICONEXCLAMATION);
}

} // namespace

CTodayOptionsDialog::CTodayOptionsDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen)
    : item(item), fullScreen(fullScreen), instance(instance) {}

CTodayOptionsDialog::~CTodayOptionsDialog() {
    if (titleFont) {
        DeleteObject(titleFont);
    }
}

INT_PTR CTodayOptionsDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    dialogWindow = window;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(lParam);
    case WM_COMMAND: {
        UINT id = LOWORD(wParam);
        if (id == IDOK) {
            OnOK();
        } else if (id == IDCANCEL) {
            OnCancel();
        }
        OnCommand(id, HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    }
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam), GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(wParam, reinterpret_cast<NMHDR*>(lParam));
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        DrawTitle(dc);
        OnPaint(dc);
        EndPaint(window, &paint);
        return TRUE;
    }
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam), lParam, HIWORD(wParam));
        return TRUE;
    case WM_SETTINGCHANGE:
        OnSettingChange(wParam, lParam);
        return TRUE;
    case WM_NCDESTROY: {
        // The handle is dead after this; forget it so a later SetTitle cannot reach a window
        // that has been given the same handle.
        INT_PTR result = OnOtherMessage(message, wParam, lParam);
        dialogWindow = nullptr;
        return result;
    }
    default:
        return OnOtherMessage(message, wParam, lParam);
    }
}

void CTodayOptionsDialog::DrawTitle(HDC dc) {
    if (!titleText || !*titleText) {
        return;
    }
    RECT client;
    GetClientRect(dialogWindow, &client);

    HGDIOBJ oldFont = titleFont ? SelectObject(dc, titleFont) : nullptr;
    COLORREF oldColor = SetTextColor(dc, TitleColor);
    RECT titleRect = {8, 0, client.right - client.left, titleHeight};
    DrawTextW(dc, titleText, -1, &titleRect, DT_VCENTER);
    SetTextColor(dc, oldColor);
    if (oldFont) {
        SelectObject(dc, oldFont);
    }

    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    POINT rule[2] = {{client.left, client.top + titleHeight},
                     {client.right, client.top + titleHeight}};
    Polyline(dc, rule, 2);
    SelectObject(dc, oldPen);
}

void CTodayOptionsDialog::CreateTitleFont() {
    HDC dc = GetDC(dialogWindow);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    int logPixelsY = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(dialogWindow, dc);

    LOGFONTW font = {};
    font.lfHeight = -((17 * logPixelsY) / 72) / 2;
    font.lfWeight = 600;
    font.lfCharSet = metrics.tmCharSet;
    lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);

    // The page object outlives its dialog: every showing initialises it again.
    if (titleFont) {
        DeleteObject(titleFont);
    }
    titleFont = CreateFontIndirectW(&font);
    titleHeight = 23;
}

BOOL CTodayOptionsDialog::OnInitDialog(LPARAM) {
    SHINITDLGINFO info = {};
    info.dwMask = SHIDIM_FLAGS;
    info.hDlg = dialogWindow;
    info.dwFlags = SHIDIF_DONEBUTTON | SHIDIF_EMPTYMENU | SHIDIF_WANTSCROLLBAR;
    if (fullScreen) {
        info.dwFlags |= SHIDIF_SIZEDLGFULLSCREEN;
    }
    SHInitDialog(&info);
    CreateTitleFont();
    return TRUE;
}

void CTodayOptionsDialog::OnDestroy() {}

void CTodayOptionsDialog::OnOK() {
    EndDialog(dialogWindow, IDOK);
}

void CTodayOptionsDialog::OnCancel() {
    EndDialog(dialogWindow, IDCANCEL);
}

void CTodayOptionsDialog::OnPaint(HDC) {}

void CTodayOptionsDialog::OnActivate(UINT, LPARAM, BOOL) {}

void CTodayOptionsDialog::OnCommand(UINT, UINT, HWND) {}

void CTodayOptionsDialog::OnSettingChange(WPARAM, LPARAM) {}

INT_PTR CTodayOptionsDialog::OnNotify(WPARAM, NMHDR*) {
    return 0;
}

INT_PTR CTodayOptionsDialog::OnOtherMessage(UINT, WPARAM, LPARAM) {
    return 0;
}

void CTodayOptionsDialog::OnLButtonDown(UINT, int, int) {}

void CTodayOptionsDialog::SetTitle(const wchar_t* text, bool repaint) {
    titleText = text ? text : L"";
    if (repaint && dialogWindow) {
        InvalidateRect(dialogWindow, nullptr, TRUE);
        UpdateWindow(dialogWindow);
    }
}

bool CTodayOptionsDialog::IsChecked(int id) {
    return SendDlgItemMessageW(dialogWindow, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CTodayOptionsDialog::SetChecked(int id, bool on) {
    SendDlgItemMessageW(dialogWindow, id, BM_SETCHECK, on ? 1 : 0, 0);
}

void CTodayOptionsDialog::SetItemText(int id, std::wstring text) {
    SetDlgItemTextW(dialogWindow, id, text.c_str());
}

std::wstring CTodayOptionsDialog::GetItemText(int id) {
    int length = GetWindowTextLengthW(GetDlgItem(dialogWindow, id));
    if (length <= 0) {
        return std::wstring();
    }
    HANDLE heap = GetProcessHeap();
    auto* buffer = static_cast<wchar_t*>(HeapAlloc(heap, 0, (length + 1) * sizeof(wchar_t)));
    if (!buffer) {
        return std::wstring();
    }
    UINT copied = GetDlgItemTextW(dialogWindow, id, buffer, length + 1);
    std::wstring text(buffer, copied);
    HeapFree(heap, 0, buffer);
    return text;
}

void CTodayOptionsDialog::InsertListBoxString(int id, const wchar_t* text, int index) {
    SendDlgItemMessageW(dialogWindow, id, LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text));
}

bool CTodayOptionsDialog::fInsertListViewColumn(HWND listView, int column, int widthPercent,
                                                const wchar_t* title) {
    if (!listView) {
        ShowListViewError(L"! Handle of ListView NULL (fInsertListViewColumn)");
        return false;
    }
    if (widthPercent < 11) {
        widthPercent = 10;
    } else if (widthPercent >= 90) {
        widthPercent = 90;
    }
    RECT client;
    GetClientRect(listView, &client);
    // Integer arithmetic: 29 % of 100 pixels in doubles comes out as 28.999... and truncates
    // to 28.
    int width = widthPercent * (client.right - client.left) / 100;

    LVCOLUMNW header = {};
    header.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    header.fmt = LVCFMT_LEFT;
    header.cx = width;
    header.pszText = const_cast<wchar_t*>(title);
    header.iSubItem = column;
    bool inserted =
        SendMessageW(listView, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&header)) != -1;
    InvalidateRect(listView, nullptr, TRUE);
    return inserted;
}

bool CTodayOptionsDialog::fInsertListViewItem(HWND listView, int item, int subItem,
                                              int iSubItemYesNo, const wchar_t* text) {
    if (!listView) {
        ShowListViewError(L"! Handle of ListView NULL (fInsertListViewItem)");
        return false;
    }
    LVITEMW row = {};
    row.mask = LVIF_TEXT;
    row.iItem = item;
    row.iSubItem = subItem;
    row.pszText = const_cast<wchar_t*>(text);

    bool done;
    if (iSubItemYesNo == 0) {
        done = SendMessageW(listView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)) != -1;
    } else if (iSubItemYesNo == 1) {
        done = SendMessageW(listView, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&row)) != 0;
    } else {
        wchar_t message[96];
        wsprintfW(message, L"! Unexpected iSubItemYesNo value: %d (fInsertListViewItem)",
                  iSubItemYesNo);
        ShowListViewError(message);
        return false;
    }
    InvalidateRect(listView, nullptr, TRUE);
    return done;
}

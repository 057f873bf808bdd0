#include "KestrelBTSDBDialog.h"

#include <commctrl.h>

#include <cstdlib>
#include <vector>

#include "DatabaseFolder.h"
#include "InternetAccessComponent.h"
#include "StatusCallbackImpl.h"
#include "aygshell.h"
#include "resource.h"

namespace {

const wchar_t* const SourcesKey = L"\\Software\\Microsoft\\Today\\Items\\Kestrel\\GsmDB";
const wchar_t* const FolderValue = L"GSMDirectory";
const wchar_t* const UrlValue = L"url";
const wchar_t* const Caption = L"Kestrel";
const wchar_t* const NetIdColumnTitle = L"Net Id";
const wchar_t* const UrlColumnTitle = L"Url";

// The page's text limits: a Net Id of 99 characters, a URL of 999.
const int MaxNetIdChars = 99;
const int MaxUrlChars = 999;
const int LogExtentPixels = 1500;

// The controls of the editing view, hidden while a download runs.
const int EditingControls[] = {IDC_BTSDB_TITLE,       IDC_BTSDB_DOWNLOAD,  IDC_BTSDB_SOURCES,
                               IDC_BTSDB_NETID_LABEL, IDC_BTSDB_URL_LABEL, IDC_BTSDB_NETID,
                               IDC_BTSDB_URL,         IDC_BTSDB_ADD,       IDC_BTSDB_FOLDER_LABEL,
                               IDC_BTSDB_FOLDER,      IDC_BTSDB_GROUP};

// The tap-and-hold notification's record (NMRGINFO of the shell helpers).
struct TapAndHoldInfo {
    NMHDR hdr;
    POINT ptAction;
    DWORD dwItemSpec;
};

bool IsPlainFileName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos;
}

} // namespace

KestrelBTSDBDialog::KestrelBTSDBDialog(HINSTANCE instance, CTodayWindow* item, bool fullScreen)
    : CTodayOptionsDialog(instance, item, fullScreen),
      registry(HKEY_LOCAL_MACHINE, SourcesKey, TRUE),
      menu(LoadMenuW(instance, MAKEINTRESOURCEW(IDR_BTSDB_MENU))) {}

KestrelBTSDBDialog::~KestrelBTSDBDialog() {
    if (menu) {
        DestroyMenu(menu);
    }
    registry.Close();
}

BOOL KestrelBTSDBDialog::OnInitDialog(LPARAM lParam) {
    if (menu) {
        DestroyMenu(menu);
    }
    menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_BTSDB_MENU));
    selectedRow = -1;
    HWND list = SourceList();
    fInsertListViewColumn(list, 0, 25, NetIdColumnTitle);
    fInsertListViewColumn(list, 1, 75, UrlColumnTitle);
    SendDlgItemMessageW(dialogWindow, IDC_BTSDB_NETID, EM_LIMITTEXT, MaxNetIdChars, 0);
    SendDlgItemMessageW(dialogWindow, IDC_BTSDB_URL, EM_LIMITTEXT, MaxUrlChars, 0);
    LoadValues();
    // A page taller than the screen, so that the full-screen page gets a vertical scroll range.
    RECT client = {};
    GetClientRect(dialogWindow, &client);
    CreateWindowExW(0, L"button", L"", 0x50000017, 0, 0, 0, client.bottom - client.top + 200,
                    dialogWindow, nullptr, instance, nullptr);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT,
                 LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    return CTodayOptionsDialog::OnInitDialog(lParam);
}

void KestrelBTSDBDialog::OnOK() {
    StoreValues();
}

void KestrelBTSDBDialog::OnCommand(UINT id, UINT, HWND) {
    switch (id) {
    case IDC_BTSDB_ADD:
        AddOrUpdateSource();
        break;
    case IDC_BTSDB_DOWNLOAD:
        DownloadAll();
        break;
    case IDM_BTSDB_EDIT:
        EditSelectedSource();
        break;
    case IDM_BTSDB_DELETE:
        DeleteSelectedSource();
        break;
    default:
        break;
    }
}

INT_PTR KestrelBTSDBDialog::OnNotify(WPARAM wParam, NMHDR* header) {
    if (header->idFrom == IDC_BTSDB_SOURCES && header->code == GN_CONTEXTMENU) {
        ShowSourceMenu(reinterpret_cast<TapAndHoldInfo*>(header)->ptAction);
        return TRUE;
    }
    // A desktop list view reports a right click where the device's reports tap and hold.
    if (header->idFrom == IDC_BTSDB_SOURCES && header->code == static_cast<UINT>(NM_RCLICK)) {
        POINT point = reinterpret_cast<NMITEMACTIVATE*>(header)->ptAction;
        ClientToScreen(header->hwndFrom, &point);
        ShowSourceMenu(point);
        return TRUE;
    }
    if (header->code == static_cast<UINT>(PSN_KILLACTIVE)) {
        StoreValues();
        return TRUE;
    }
    return CTodayOptionsDialog::OnNotify(wParam, header);
}

void KestrelBTSDBDialog::OnProgress(ULONG progress, ULONG progressMax, ULONG, const wchar_t*) {
    HWND bar = GetDlgItem(dialogWindow, IDC_BTSDB_PROGRESS);
    SendMessageW(bar, PBM_SETRANGE32, 0, progressMax);
    SendMessageW(bar, PBM_SETPOS, progress, 0);
    UpdateWindow(dialogWindow);
}

HWND KestrelBTSDBDialog::SourceList() const {
    return GetDlgItem(dialogWindow, IDC_BTSDB_SOURCES);
}

int KestrelBTSDBDialog::FindSource(const std::wstring& netId) const {
    LVFINDINFOW find = {};
    find.flags = LVFI_STRING;
    find.psz = netId.c_str();
    return static_cast<int>(SendMessageW(SourceList(), LVM_FINDITEMW, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(&find)));
}

std::wstring KestrelBTSDBDialog::SourceText(int row, int column) const {
    // Grows until the text fits: a URL typed on another device may be longer than ours.
    for (int chars = MaxUrlChars + 1;; chars *= 2) {
        std::vector<wchar_t> buffer(chars, L'\0');
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = buffer.data();
        item.cchTextMax = chars;
        int length = static_cast<int>(
            SendMessageW(SourceList(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        if (length < chars - 1) {
            return std::wstring(buffer.data(), length);
        }
    }
}

int KestrelBTSDBDialog::Message(const std::wstring& text, UINT flags) {
    return MessageBoxW(dialogWindow, text.c_str(), Caption, flags);
}

void KestrelBTSDBDialog::LoadValues() {
    std::wstring defaultFolder = GetDefaultDatabaseFolder();
    std::wstring folder = registry.GetStringValue(FolderValue, defaultFolder.c_str()).c_str();
    if (folder.empty()) {
        folder = defaultFolder;
    }
    SetItemText(IDC_BTSDB_FOLDER, folder);

    HWND list = SourceList();
    int rows = 0;
    CVOString name;
    for (int more = registry.EnumFirstSubKey(name); more; more = registry.EnumNextSubKey(name)) {
        std::wstring path = std::wstring(SourcesKey) + L"\\" + name.c_str();
        CVORegistry source(HKEY_LOCAL_MACHINE, path.c_str(), FALSE);
        std::wstring url = source.GetStringValue(UrlValue, L"").c_str();
        if (url.empty()) {
            continue;
        }
        fInsertListViewItem(list, rows, 0, 0, name.c_str());
        ++rows;
        fInsertListViewItem(list, FindSource(name.c_str()), 1, 1, url.c_str());
    }
}

void KestrelBTSDBDialog::StoreValues() {
    HWND list = SourceList();
    // Without the page's controls there is nothing to store, and an absent list must not
    // read as one the user emptied.
    if (!list) {
        return;
    }
    std::wstring folder = GetItemText(IDC_BTSDB_FOLDER);
    if (folder.empty()) {
        folder = GetDefaultDatabaseFolder();
    }
    registry.SetStringValue(FolderValue, folder.c_str());

    // The list is the whole set of sources: an emptied list removes them all.
    CVOString name;
    while (registry.EnumFirstSubKey(name) && registry.DeleteSubKey(name.c_str())) {
    }
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = rows - 1; row >= 0; --row) {
        std::wstring path = std::wstring(SourcesKey) + L"\\" + SourceText(row, 0);
        CVORegistry source(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
        source.SetStringValue(UrlValue, SourceText(row, 1).c_str());
    }
    if (item) {
        ReloadItemSettings(item);
    }
}

void KestrelBTSDBDialog::AddOrUpdateSource() {
    std::wstring netId = GetItemText(IDC_BTSDB_NETID);
    std::wstring url = GetItemText(IDC_BTSDB_URL);
    if (netId.empty() || url.empty()) {
        Message(L"Nelze přidat položku, protože není vyplněné Net Id nebo url", MB_ICONERROR);
        return;
    }
    HWND list = SourceList();
    int row = FindSource(netId);
    if (row >= 0) {
        fInsertListViewItem(list, row, 0, 1, netId.c_str());
    } else {
        int end = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        fInsertListViewItem(list, end, 0, 0, netId.c_str());
        row = FindSource(netId);
    }
    fInsertListViewItem(list, row, 1, 1, url.c_str());
    SetItemText(IDC_BTSDB_NETID, L"");
    SetItemText(IDC_BTSDB_URL, L"");
}

void KestrelBTSDBDialog::ShowSourceMenu(POINT screenPoint) {
    HWND list = SourceList();
    LVHITTESTINFO hit = {};
    hit.pt = screenPoint;
    ScreenToClient(list, &hit.pt);
    hit.flags = LVHT_ONITEM;
    int row =
        static_cast<int>(SendMessageW(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row < 0 || !(hit.flags & LVHT_ONITEM)) {
        return;
    }
    selectedRow = row;
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_TOPALIGN, screenPoint.x, screenPoint.y,
                   0, dialogWindow, nullptr);
}

void KestrelBTSDBDialog::EditSelectedSource() {
    if (selectedRow < 0) {
        return;
    }
    SetItemText(IDC_BTSDB_NETID, SourceText(selectedRow, 0));
    SetItemText(IDC_BTSDB_URL, SourceText(selectedRow, 1));
}

void KestrelBTSDBDialog::DeleteSelectedSource() {
    if (selectedRow < 0) {
        return;
    }
    if (Message(L"Opravdu smazat položku?", MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2) ==
        IDCANCEL) {
        return;
    }
    SendMessageW(SourceList(), LVM_DELETEITEM, selectedRow, 0);
    // The index now names another row or none.
    selectedRow = -1;
}

void KestrelBTSDBDialog::ShowEditingView(bool editing) {
    for (int id : EditingControls) {
        ShowWindow(GetDlgItem(dialogWindow, id), editing ? SW_SHOW : SW_HIDE);
    }
    ShowWindow(GetDlgItem(dialogWindow, IDC_BTSDB_PROGRESS), editing ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(dialogWindow, IDC_BTSDB_LOG), editing ? SW_HIDE : SW_SHOW);
}

bool KestrelBTSDBDialog::DownloadDatabase(InternetAccessComponent& connection,
                                          const std::wstring& url, const std::wstring& target) {
    std::wstring part = target + L".part";
    StatusCallbackImpl callback(this);
    bool done =
        connection.DownloadToFile(url, part, &callback) && callback.ResponseDeliveredResource();
#ifdef UNDER_CE
    done = done && (DeleteFileW(target.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) &&
           MoveFileW(part.c_str(), target.c_str());
#else
    done = done && MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
#endif
    if (!done) {
        DeleteFileW(part.c_str());
    }
    return done;
}

void KestrelBTSDBDialog::DownloadAll() {
    InternetAccessComponent connection;
    HWND list = SourceList();
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    if (rows == 0) {
        return;
    }
    UpdateWindow(dialogWindow);
    std::wstring folder = GetItemText(IDC_BTSDB_FOLDER);
    if (folder.empty()) {
        Message(L"Není zadána složka, do které mají být ukládány soubory!", MB_ICONERROR);
        return;
    }
    if (!DirectoryExists(folder) && !CreateFolder(folder)) {
        Message(L"Nepodařilo se vytvořit složku, do které mají být ukládány soubory!",
                MB_ICONERROR);
        return;
    }
    ShowEditingView(false);
    srand(GetTickCount());
    SendDlgItemMessageW(dialogWindow, IDC_BTSDB_LOG, LB_SETHORIZONTALEXTENT, LogExtentPixels, 0);

    for (int row = rows - 1; row >= 0; --row) {
        UpdateWindow(dialogWindow);
        std::wstring netId = SourceText(row, 0);
        std::wstring url = SourceText(row, 1);
        std::wstring target = folder + netId + L".csv";
        // A URL that has a query already gets the parameter after "&".
        wchar_t dummy[16];
        wsprintfW(dummy, L"%d", rand());
        std::wstring request =
            url + (url.find(L'?') == std::wstring::npos ? L"?" : L"&") + L"dummy=" + dummy;
        if (row == rows - 1) {
            connection.Connect(request.c_str(), FALSE);
            if (connection.GetConnectionState() != InternetAccessComponent::StateConnected) {
                Message(L"Nelze se připojit k internetu!", MB_ICONERROR);
                break;
            }
        }
        std::wstring fileName = netId + L".csv";
        InsertListBoxString(IDC_BTSDB_LOG, fileName.c_str(), 0);
        InsertListBoxString(IDC_BTSDB_LOG, L"Stahování...", 0);
        // A Net Id from the registry names a file in the folder and nothing else.
        if (IsPlainFileName(netId) && DownloadDatabase(connection, request, target)) {
            InsertListBoxString(IDC_BTSDB_LOG, L"Stahování dokončeno.", 0);
        } else {
            Message(L"Chyba při stahování souboru " + url, MB_ICONERROR);
            InsertListBoxString(IDC_BTSDB_LOG, L"!!!Chyba!!!", 0);
        }
        InsertListBoxString(IDC_BTSDB_LOG, L"-------------", 0);
    }
    connection.Disconnect();
    SendDlgItemMessageW(dialogWindow, IDC_BTSDB_LOG, LB_RESETCONTENT, 0, 0);
    ShowEditingView(true);
}

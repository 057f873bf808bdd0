#include "SourcesPageHarness.h"

#include <commctrl.h>

#include "CVORegistry.h"
#include "resource.h"

using namespace dialog_driver;

const wchar_t* const SourcesKeyPath = L"Software\\Microsoft\\Today\\Items\\Kestrel\\GsmDB";

int reloadCount = 0;
CTodayWindow* reloadedItem = nullptr;

// The item's side of the reload, recorded.
void ReloadItemSettings(CTodayWindow* item) {
    ++reloadCount;
    reloadedItem = item;
}

namespace {

// One page at a time: the one whose dialog is open.
TestPage* livePage = nullptr;

INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return livePage ? livePage->DialogProc(window, message, wParam, lParam) : FALSE;
}

std::wstring ItemText(HWND list, int row, int column) {
    wchar_t text[2048] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 2048;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

} // namespace

TestPage::TestPage(CTodayWindow* item) : KestrelBTSDBDialog(GetModuleHandleW(nullptr), item, true) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
}

TestPage::~TestPage() {
    if (dialogWindow && IsWindow(dialogWindow)) {
        DestroyWindow(dialogWindow);
    }
    livePage = nullptr;
}

HWND TestPage::Open() {
    livePage = this;
    return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_BTSDB), nullptr,
                              PageProc, 0);
}

void TestPage::Command(UINT id) {
    SendMessageW(dialogWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialogWindow, id)));
    DeliverPosted();
}

void TestPage::OnProgress(ULONG done, ULONG total, ULONG statusCode, const wchar_t* statusText) {
    KestrelBTSDBDialog::OnProgress(done, total, statusCode, statusText);
    HWND bar = GetDlgItem(dialogWindow, IDC_BTSDB_PROGRESS);
    ProgressSeen seen;
    seen.progress = done;
    seen.progressMax = total;
    seen.barPosition = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
    seen.barMaximum = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    seen.editingViewShown = Visible(dialogWindow, IDC_BTSDB_SOURCES);
    seen.log = LogLines(dialogWindow);
    progress.push_back(seen);
}

void DeleteSourcesKey() {
    CVORegistry::DeleteKeyTree(HKEY_LOCAL_MACHINE, SourcesKeyPath);
}

void StoreSource(const std::wstring& netId, const wchar_t* url) {
    std::wstring path = std::wstring(SourcesKeyPath) + L"\\" + netId;
    CVORegistry source(HKEY_LOCAL_MACHINE, path.c_str(), TRUE);
    if (url) {
        source.SetStringValue(L"url", url);
    }
}

std::map<std::wstring, std::wstring> StoredSources() {
    std::map<std::wstring, std::wstring> sources;
    CVORegistry key(HKEY_LOCAL_MACHINE, SourcesKeyPath, FALSE);
    CVOString name;
    for (int more = key.EnumFirstSubKey(name); more; more = key.EnumNextSubKey(name)) {
        std::wstring path = std::wstring(SourcesKeyPath) + L"\\" + name.c_str();
        CVORegistry source(HKEY_LOCAL_MACHINE, path.c_str(), FALSE);
        sources[name.c_str()] = source.GetStringValue(L"url", nullptr).c_str();
    }
    return sources;
}

std::wstring StoredFolder() {
    CVORegistry key(HKEY_LOCAL_MACHINE, SourcesKeyPath, FALSE);
    return key.GetStringValue(L"GSMDirectory", nullptr).c_str();
}

std::vector<std::pair<std::wstring, std::wstring>> Rows(HWND page) {
    HWND list = GetDlgItem(page, IDC_BTSDB_SOURCES);
    std::vector<std::pair<std::wstring, std::wstring>> rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        rows.emplace_back(ItemText(list, row, 0), ItemText(list, row, 1));
    }
    return rows;
}

std::vector<std::wstring> LogLines(HWND page) {
    HWND log = GetDlgItem(page, IDC_BTSDB_LOG);
    std::vector<std::wstring> lines;
    int count = static_cast<int>(SendMessageW(log, LB_GETCOUNT, 0, 0));
    for (int line = 0; line < count; ++line) {
        wchar_t text[512] = L"";
        if (SendMessageW(log, LB_GETTEXTLEN, line, 0) < 512) {
            SendMessageW(log, LB_GETTEXT, line, reinterpret_cast<LPARAM>(text));
        }
        lines.push_back(text);
    }
    return lines;
}

std::wstring ControlText(HWND page, int id) {
    return WindowText(GetDlgItem(page, id));
}

void SetControlText(HWND page, int id, const wchar_t* text) {
    SetDlgItemTextW(page, id, text);
}

bool Visible(HWND page, int id) {
    return (GetWindowLongW(GetDlgItem(page, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void DeliverPosted() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

BoxAnswerer::BoxAnswerer(std::vector<int> answers)
    : owner(GetCurrentThreadId()), answers(std::move(answers)), thread([this] {
          for (int answer : this->answers) {
              MessageBoxSeen box;
              for (DWORD waited = 0; waited < WaitMs && !box.found; waited += 20) {
                  HWND window = FindMessageBox(owner);
                  if (!window) {
                      Sleep(20);
                      continue;
                  }
                  box.found = true;
                  box.caption = WindowText(window);
                  box.text = WindowText(GetDlgItem(window, 0xFFFF));
                  SendMessageW(GetDlgItem(window, answer), BM_CLICK, 0, 0);
                  for (DWORD w = 0; IsWindow(window) && w < WaitMs; w += 10) {
                      Sleep(10);
                  }
              }
              seen.push_back(box);
          }
      }) {}

BoxAnswerer::~BoxAnswerer() {
    if (thread.joinable()) {
        thread.join();
    }
}

std::vector<MessageBoxSeen> BoxAnswerer::Seen() {
    if (thread.joinable()) {
        thread.join();
    }
    return seen;
}

MenuChooser::MenuChooser(int index)
    : thread([this, index] {
          for (DWORD waited = 0; waited < WaitMs; waited += 20) {
              HWND menu = FindWindowW(L"#32768", nullptr);
              if (menu && IsWindowVisible(menu)) {
                  for (int down = 0; down <= index; ++down) {
                      PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
                  }
                  PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
                  chose = true;
                  return;
              }
              Sleep(20);
          }
      }) {}

MenuChooser::~MenuChooser() {
    if (thread.joinable()) {
        thread.join();
    }
}

bool MenuChooser::Chose() {
    if (thread.joinable()) {
        thread.join();
    }
    return chose;
}

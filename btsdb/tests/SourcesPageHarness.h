#pragma once

// The sources page as a modeless dialog on the test thread: the test sends messages and reads
// controls directly; only message boxes and the list's menu are answered from a helper thread.

#include <windows.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "CTodayWindow.h"
#include "DialogDriver.h"
#include "KestrelBTSDBDialog.h"

extern const wchar_t* const SourcesKeyPath;

// Times ReloadItemSettings was called, and with which item.
extern int reloadCount;
extern CTodayWindow* reloadedItem;

struct ProgressSeen {
    ULONG progress;
    ULONG progressMax;
    int barPosition;
    int barMaximum;
    bool editingViewShown;
    std::vector<std::wstring> log;
};

class TestPage : public KestrelBTSDBDialog {
public:
    explicit TestPage(CTodayWindow* item);
    ~TestPage() override;

    // Creates the page's dialog (modeless) and returns it; the destructor destroys it.
    HWND Open();
    HWND Window() const { return dialogWindow; }
    // Sends WM_COMMAND as the control or menu would, and delivers anything it posted.
    void Command(UINT id);
    std::vector<ProgressSeen> progress;

    void OnProgress(ULONG progress, ULONG progressMax, ULONG statusCode,
                    const wchar_t* statusText) override;
};

// Removes the page's registry key, so each test starts as a fresh installation.
void DeleteSourcesKey();
void StoreSource(const std::wstring& netId, const wchar_t* url);
std::map<std::wstring, std::wstring> StoredSources();
std::wstring StoredFolder();

// The list's rows, top to bottom: Net Id and URL.
std::vector<std::pair<std::wstring, std::wstring>> Rows(HWND page);
std::vector<std::wstring> LogLines(HWND page);
std::wstring ControlText(HWND page, int id);
void SetControlText(HWND page, int id, const wchar_t* text);
bool Visible(HWND page, int id);
void DeliverPosted();

// Answers message boxes of the test thread from a helper thread: one box per answer, pressing
// that button; records what each box said.
class BoxAnswerer {
public:
    explicit BoxAnswerer(std::vector<int> answers);
    ~BoxAnswerer();
    std::vector<dialog_driver::MessageBoxSeen> Seen();

private:
    DWORD owner;
    std::vector<int> answers;
    std::vector<dialog_driver::MessageBoxSeen> seen;
    std::thread thread;
};

// Chooses item `index` of the popup menu that the test thread is about to show.
class MenuChooser {
public:
    explicit MenuChooser(int index);
    ~MenuChooser();
    bool Chose();

private:
    bool chose = false;
    std::thread thread;
};

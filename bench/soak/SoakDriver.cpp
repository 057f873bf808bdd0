#include "SoakDriver.h"

#include <atomic>
#include <cwchar>
#include <thread>

#include "ObjectRecorder.h"
#include "RadioTap.h"
#include "todaycmn.h"

namespace {

const UINT WM_RILUPDATE = WM_USER + 2;
const WPARAM ErrorUpdate = 1;
const WPARAM CellUpdate = 2;
const UINT_PTR PollTimer = 1;
const UINT MonitoringCommand = 40006;
const UINT LoggingCommand = 40007;
const DWORD ComeBackMs = 20000;
// The longest wait for a message: the silent-cycle check and the loops' deadlines run at
// least this often.
const DWORD IdleWaitMs = 10;

std::wstring BinFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

void SetValue(const std::wstring& key, const wchar_t* name, DWORD value) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_DWORD, &value, sizeof(value));
}

// The first visible dialog of the thread, or null.
HWND FindDialog(DWORD thread) {
    HWND found = nullptr;
    EnumThreadWindows(
        thread,
        [](HWND window, LPARAM result) -> BOOL {
            wchar_t name[16] = L"";
            GetClassNameW(window, name, 16);
            if (lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(window)) {
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace

SoakDriver::SoakDriver(std::wstring itemsKey, CellLogCheck& log)
    : itemsKey(std::move(itemsKey)), log(log) {
    RadioTap::Listener listener;
    listener.cell = [this](const CellInfo& cell) { this->log.CellReported(cell); };
    listener.networkId = [this](const std::wstring& id) { this->log.NetworkReported(id); };
    RadioTap::SetListener(listener);
}

SoakDriver::~SoakDriver() {
    if (host) {
        host->SetObserver(nullptr);
        host.reset();
    }
    RadioTap::SetListener(RadioTap::Listener());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, itemsKey.c_str());
    if (dialogs) {
        FreeLibrary(dialogs);
    }
}

bool SoakDriver::Start() {
    // The item's save-file dialog brings comdlg32 and with it Wine's winspool.drv, which leaves
    // a named mutex behind whenever it is unloaded; the device's shell keeps the common
    // dialogs loaded anyway.
    if (!dialogs) {
        dialogs = LoadLibraryW(L"comdlg32.dll");
    }
    const std::wstring itemKey = itemsKey + L"\\Kestrel";
    const std::wstring dll = BinFolder() + L"KestrelToday.dll";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, itemKey.c_str(), L"DLL", REG_SZ, dll.c_str(),
                    static_cast<DWORD>((dll.size() + 1) * sizeof(wchar_t)));
    SetValue(itemKey, L"Type", tlitCustom);
    SetValue(itemKey, L"Enabled", 1);
    SetValue(itemKey, L"Options", 1);
    host.reset(new TodayHost(GetModuleHandleW(nullptr), itemsKey, L""));
    host->SetObserver(this);
    if (!host->Create() || !ItemWindow()) {
        return false;
    }
    SwitchOn();
    return monitoring && logging;
}

HWND SoakDriver::ItemWindow() const {
    TodayItem* item = host ? host->FindItem(L"Kestrel") : nullptr;
    return item ? item->window : nullptr;
}

void SoakDriver::OnItemLoaded(TodayItem& item) {
    ObjectRecorder::Patch(item.module);
    // A library that a request thread kept loaded comes back with its item and its switches.
    if (RadioTap::Patch(item.module)) {
        ++freshLoads;
        monitoring = false;
        logging = false;
        log.WriterCreated();
    }
    cyclePosted = false;
}

void SoakDriver::OnItemMessage(TodayItem&, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_TIMER:
        if (wParam == PollTimer) {
            ++cycles;
            cyclePosted = false;
            lastProgress = GetTickCount();
        }
        break;
    case WM_RILUPDATE:
        if (wParam == CellUpdate || wParam == ErrorUpdate) {
            lastProgress = GetTickCount();
            if (monitoring && !cyclePosted) {
                FireCycle();
            }
        }
        break;
    case WM_LBUTTONUP:
        tapHandled = true;
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == MonitoringCommand) {
            monitoring = !monitoring;
        } else if (LOWORD(wParam) == LoggingCommand) {
            logging = !logging;
            log.LoggingSwitched(logging);
        }
        break;
    }
}

void SoakDriver::FireCycle() {
    if (cyclesHeld) {
        return;
    }
    if (HWND window = ItemWindow()) {
        PostMessageW(window, WM_TIMER, PollTimer, 0);
        cyclePosted = true;
    }
}

void SoakDriver::Pump(DWORD waitMs) {
    // A bounded number: a radio that cannot be opened answers a cycle at once, so the chain
    // of cycles alone never leaves the queue empty.
    MSG msg;
    for (int i = 0; i < 100 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (monitoring && !cyclePosted && GetTickCount() - lastProgress > SilentCycleMs) {
        FireCycle();
        lastProgress = GetTickCount();
    }
    // Sleeps until a message comes, as the shell's GetMessage loop does: each wake-up costs a
    // round trip to the Wine server, which would count as the item's CPU. Messages left in
    // the queue by the bound above end the wait at once.
    MsgWaitForMultipleObjectsEx(0, nullptr, waitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

bool SoakDriver::RunCycles(unsigned long count, DWORD stallMs) {
    const unsigned long target = cycles + count;
    unsigned long seen = cycles;
    DWORD since = GetTickCount();
    while (cycles < target) {
        if (!ItemWindow()) {
            return false;
        }
        if (cycles != seen) {
            seen = cycles;
            since = GetTickCount();
        } else if (GetTickCount() - since > stallMs) {
            return false;
        }
        Pump(IdleWaitMs);
    }
    return true;
}

void SoakDriver::RunFor(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        Pump(IdleWaitMs);
    }
}

void SoakDriver::Command(UINT id) {
    bool before = id == MonitoringCommand ? monitoring : logging;
    // No cycle may be fired behind the command that switches monitoring off: the item's
    // WM_TIMER handler polls whatever its switch says, and would open the radio again.
    if (id == MonitoringCommand) {
        cyclesHeld = monitoring;
    }
    PostMessageW(ItemWindow(), WM_COMMAND, id, 0);
    DWORD start = GetTickCount();
    while ((id == MonitoringCommand ? monitoring : logging) == before &&
           GetTickCount() - start < ComeBackMs) {
        Pump(IdleWaitMs);
    }
}

void SoakDriver::SwitchOn() {
    // Logging before monitoring: the writer is switched while the radio is closed.
    if (!logging) {
        Command(LoggingCommand);
    }
    if (!monitoring) {
        Command(MonitoringCommand);
    }
}

bool SoakDriver::ReloadToday() {
    HWND before = ItemWindow();
    SendMessageW(host->GetWindow(), WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0);
    ++reloads;
    DWORD start = GetTickCount();
    while (!(ItemWindow() && ItemWindow() != before)) {
        if (GetTickCount() - start > ComeBackMs) {
            return false;
        }
        Pump(IdleWaitMs);
    }
    SwitchOn();
    return monitoring && logging;
}

bool SoakDriver::ReloadSettings() {
    TodayItem* item = host->FindItem(L"Kestrel");
    if (!item) {
        return false;
    }
    DWORD thread = GetCurrentThreadId();
    std::atomic<bool> confirmed{false};
    std::thread helper([thread, &confirmed] {
        for (int tries = 0; tries < 1000 && !confirmed; ++tries) {
            if (HWND dialog = FindDialog(thread)) {
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                confirmed = true;
            } else {
                Sleep(5);
            }
        }
    });
    host->OpenOptions(item);
    helper.join();
    return confirmed;
}

void SoakDriver::SetMonitoring(bool on) {
    if (monitoring != on) {
        Command(MonitoringCommand);
    }
}

void SoakDriver::ReopenRadio() {
    Command(MonitoringCommand);
    Command(MonitoringCommand);
}

DWORD SoakDriver::Key(UINT key) {
    // The host sends the key to the item: its handling is done when Navigate returns.
    const DWORD start = GetTickCount();
    host->Navigate(key);
    const DWORD took = GetTickCount() - start;
    Pump(0);
    return took;
}

DWORD SoakDriver::ShowPage(int order) {
    // A tap on the tab's title, where the item's latest paint drew it. (With the keys, Enter on
    // a focused button would switch monitoring or logging instead.)
    static const wchar_t* const titles[] = {L"Základní údaje", L"Podrobnosti", L"GPS data"};
    TodayItem* item = host->FindItem(L"Kestrel");
    if (!item || order < 1 || order > 3) {
        return 0;
    }
    host->UpdateAll();
    for (const auto& line : item->texts) {
        RECT box;
        if (line.compare(line.find(L'\t') + 1, std::wstring::npos, titles[order - 1]) != 0 ||
            swscanf(line.c_str(), L"%ld,%ld,%ld,%ld", &box.left, &box.top, &box.right,
                    &box.bottom) != 4) {
            continue;
        }
        LPARAM point = MAKELPARAM((box.left + box.right) / 2, (box.top + box.bottom) / 2);
        const DWORD start = GetTickCount();
        tapHandled = false;
        PostMessageW(item->window, WM_LBUTTONDOWN, MK_LBUTTON, point);
        PostMessageW(item->window, WM_LBUTTONUP, 0, point);
        while (!tapHandled && ItemWindow() && GetTickCount() - start < ComeBackMs) {
            Pump(IdleWaitMs);
        }
        return GetTickCount() - start;
    }
    return 0;
}

DWORD SoakDriver::WalkKeys() {
    DWORD longest = 0;
    auto press = [&](UINT key) {
        const DWORD took = Key(key);
        longest = took > longest ? took : longest;
    };
    for (int i = 0; i < 4 && host->GetSelection() >= 0; ++i) {
        press(VK_UP);
    }
    for (UINT key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_UP, VK_UP, VK_UP}) {
        press(key);
    }
    return longest;
}

std::wstring SoakDriver::Texts() {
    host->UpdateAll();
    std::wstring all;
    if (TodayItem* item = host->FindItem(L"Kestrel")) {
        for (const auto& line : item->texts) {
            all += line.substr(line.find(L'\t') + 1) + L"\n";
        }
    }
    return all;
}

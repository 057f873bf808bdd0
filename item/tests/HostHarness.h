#pragma once

// The real Today host (todayhost_core) in the test's own process, with the real
// KestrelToday.dll registered as its one item, on the simulated radio (ril.dll) played from a
// scenario. The test sees the item, its library and its timers from inside.

#include <windows.h>

#include <map>
#include <string>

#include "TestHelpers.h"
#include "TimerRecorder.h"
#include "TodayHost.h"

namespace host_harness {

const wchar_t* const ItemsKey = L"Software\\KestrelTest\\HostItems";
const wchar_t* const ItemKey = L"Software\\KestrelTest\\HostItems\\Kestrel";
const wchar_t* const ScenarioPath = L"item_host_scenario.txt";
const UINT_PTR PollTimer = 1;

inline std::wstring BinFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

inline void SetItemValue(const wchar_t* name, DWORD value) {
    harness::SetKeyDWORD(ItemKey, name, value);
}

inline bool LibraryLoaded() {
    return GetModuleHandleW(L"KestrelToday.dll") != nullptr;
}

class Host {
public:
    // scenario: the simulated radio's steps, one per polling cycle.
    explicit Host(const std::string& scenario) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, ItemsKey);
        harness::DeleteSettings();
        harness::WriteTextFile(ScenarioPath, scenario);
        SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", ScenarioPath);
        SetEnvironmentVariableW(L"KESTREL_RIL_MODE", L"cycle");
        harness::SetKeyString(ItemKey, L"DLL", BinFolder() + L"KestrelToday.dll");
        SetItemValue(L"Type", tlitCustom);
        SetItemValue(L"Enabled", 1);
        SetItemValue(L"Options", 1);
    }
    ~Host() {
        host.reset();
        harness::Pump();
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, ItemsKey);
        harness::DeleteSettings();
        SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", nullptr);
    }

    bool Start() {
        // A library that an earlier test's request thread still holds would come back with
        // that test's item and switches: every host starts with the library loaded afresh.
        harness::PumpUntil([] { return !LibraryLoaded(); }, 20000);
        host.reset(new TodayHost(GetModuleHandleW(nullptr), ItemsKey, L""));
        return host->Create();
    }
    TodayItem* Item() { return host->FindItem(L"Kestrel"); }
    HWND ItemWindow() {
        TodayItem* item = Item();
        return item ? item->window : nullptr;
    }
    void Command(UINT id) { PostMessageW(ItemWindow(), WM_COMMAND, id, 0); }
    // What the settings sheet or the installer sends; the host reloads on its next message.
    void Reload() { SendMessageW(host->GetWindow(), WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0); }
    // The period of the item's polling timer in milliseconds, 0 when it has none.
    UINT PollPeriod() {
        std::map<UINT_PTR, UINT> timers = TimerRecorder::Timers(ItemWindow());
        auto found = timers.find(PollTimer);
        return found == timers.end() ? 0 : found->second;
    }
    // The item's texts of its latest paint, one per line.
    std::wstring Texts() {
        host->UpdateAll();
        std::wstring all;
        if (TodayItem* item = Item())
            for (const auto& line : item->texts)
                all += line + L"\n";
        return all;
    }

    std::unique_ptr<TodayHost> host;
};

} // namespace host_harness

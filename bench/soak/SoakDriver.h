#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "CellLogCheck.h"
#include "TodayHost.h"

// The real Today host in this process with the real KestrelToday.dll as its one item, polling
// as fast as the simulated radio answers: when the item has handled a cycle's cell result (or
// the radio's error) the next polling cycle is fired at once, and a cycle that stays silent
// is followed by the next after a short wait. Monitoring and logging are switched on after
// every fresh load of the library. What the radio reported and what the writer was told go
// to the log check.
class SoakDriver : public TodayHostObserver {
public:
    // A cycle that brought no cell result is followed by the next after this long.
    static const DWORD SilentCycleMs = 20;

    SoakDriver(std::wstring itemsKey, CellLogCheck& log);
    ~SoakDriver();
    SoakDriver(const SoakDriver&) = delete;
    SoakDriver& operator=(const SoakDriver&) = delete;

    // Registers and loads the item (settings must be in place), switches logging and
    // monitoring on. False when the item did not come up.
    bool Start();
    // Runs until `count` more polling cycles have been made. False when the item went away or
    // no cycle was made for `stallMs`.
    bool RunCycles(unsigned long count, DWORD stallMs = 120000);
    // The message loop for a while, cycles going on.
    void RunFor(DWORD ms);
    unsigned long Cycles() const { return cycles; }
    unsigned long FreshLoads() const { return freshLoads; }
    unsigned long Reloads() const { return reloads; }

    // WM_SETTINGCHANGE 0xF2: the Today screen loads its items again. False when the item did
    // not come back.
    bool ReloadToday();
    // The item's options dialog, confirmed with OK: its settings are stored and reloaded.
    bool ReloadSettings();
    // Monitoring off and on: the radio layer is opened again and reads its scenario anew.
    void ReopenRadio();
    void SetMonitoring(bool on);
    // One of the item's tabs (1 basic, 2 detail, 3 GPS), chosen with a tap on its title.
    // Returns how long the tap took to be handled: from the button going down until the item
    // had handled its release, with what was queued before it (0 when no title was found).
    DWORD ShowPage(int order);
    // Down through the tab strip and the two buttons and back up, as a user looking around.
    // Returns the longest time the item took to handle one of the keys.
    DWORD WalkKeys();
    // The texts of the item's latest paint, brought up to date, one per line.
    std::wstring Texts();

    HWND HostWindow() const { return host ? host->GetWindow() : nullptr; }
    HWND ItemWindow() const;

    // TodayHostObserver
    void OnItemLoaded(TodayItem& item) override;
    void OnItemMessage(TodayItem& item, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Pump(DWORD waitMs);
    void SwitchOn();
    void Command(UINT id);
    DWORD Key(UINT key);
    void FireCycle();

    std::wstring itemsKey;
    CellLogCheck& log;
    std::unique_ptr<TodayHost> host;
    HMODULE dialogs = nullptr;
    unsigned long cycles = 0;
    unsigned long freshLoads = 0;
    unsigned long reloads = 0;
    bool monitoring = false;
    bool logging = false;
    bool cyclePosted = false;
    bool cyclesHeld = false;
    bool tapHandled = false;
    DWORD lastProgress = 0;
};

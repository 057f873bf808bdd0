#include "SoakRun.h"

#include <memory>
#include <optional>

#include "FileFaults.h"
#include "ObjectRecorder.h"
#include "RadioTap.h"
#include "SoakDriver.h"
#include "SoakHelper.h"
#include "SoakText.h"
#include "SoakWorld.h"

namespace {

const wchar_t kItemsKey[] = L"Software\\KestrelSoak\\Items";
const wchar_t kSettingsKey[] = L"Software\\Microsoft\\Today\\Items\\Kestrel";
const wchar_t kLogFolder[] = L"\\soaklog\\";
const wchar_t kLogPath[] = L"\\soaklog\\gsminfo.txt";
const wchar_t kDatabaseFolder[] = L"\\soakdb\\";
const wchar_t kScenarioPath[] = L"\\soak-radio.txt";

// Cycles of a stretch in the warm-up round and in a short soak.
const unsigned long kShortCycles = 20;
// Polling cycles are made in chunks; the user's actions come between two chunks.
const unsigned long kChunk = 25;
// A web fault lasts until the service has been asked at least once, at most this long.
const DWORD kRequestWaitMs = 60000;
const DWORD kQuietMs = 2500;

enum class Fault {
    None,
    LogHeld,
    FolderFull,
    Web,
    DatabaseReplaced,
    DatabaseTruncated,
    DatabaseGarbage,
    RadioOpenFails,
    RadioSilent,
    RadioFailing,
    Parked // not a fault: the phone stays in one cell
};

struct Phase {
    const char* name;
    Fault fault;
    const char* webMode;  // Web only
    int page;             // the tab shown during the stretch
    unsigned long cycles; // in a full round
    DWORD minimumMs;      // in a full round: long enough for the item to give up on its own
    bool user = true;     // the user's actions (keys, tabs, settings, Today reloads) go on
};

const Phase kPhases[] = {
    {"walk", Fault::None, nullptr, 3, 1000, 0},
    {"steady polling in one cell, nobody at the phone", Fault::Parked, nullptr, 2, 3000, 0, false},
    {"cell log held open without sharing by another process", Fault::LogHeld, nullptr, 1, 600, 0},
    {"cell log folder full", Fault::FolderFull, nullptr, 1, 600, 0},
    {"web service accepts and never answers", Fault::Web, "silent", 3, 600, 45000},
    {"web service answers one byte a second", Fault::Web, "trickle", 3, 600, 120000},
    {"web service answers 10 MB", Fault::Web, "huge", 3, 600, 0},
    {"web service closes in the middle of the answer", Fault::Web, "cutoff", 3, 600, 0},
    {"web service answers HTTP 500", Fault::Web, "error500", 3, 600, 0},
    {"web service answers malformed XML", Fault::Web, "malformed", 3, 600, 0},
    {"web service is not there", Fault::Web, "absent", 3, 600, 0},
    {"walk", Fault::None, nullptr, 3, 600, 0},
    {"BTS database replaced while the item looks it up", Fault::DatabaseReplaced, nullptr, 2, 1000,
     0},
    {"BTS database truncated", Fault::DatabaseTruncated, nullptr, 2, 600, 0},
    {"BTS database garbage", Fault::DatabaseGarbage, nullptr, 2, 600, 0},
    {"radio: RIL_Initialize fails", Fault::RadioOpenFails, nullptr, 1, 600, 0},
    {"radio: queries never answer", Fault::RadioSilent, nullptr, 1, 600, 0},
    {"radio: results are not a success", Fault::RadioFailing, nullptr, 1, 600, 0},
};

void SetString(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

void SetDword(const wchar_t* name, DWORD value) {
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKey, name, REG_DWORD, &value, sizeof(value));
}

void WriteSettings(unsigned short port) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey);
    wchar_t service[64];
    wsprintfW(service, L"http://127.0.0.1:%u", port);
    SetString(kSettingsKey, L"LogFilePath", kLogPath);
    SetString((std::wstring(kSettingsKey) + L"\\GSMDB").c_str(), L"GSMDirectory", kDatabaseFolder);
    SetString(kSettingsKey, L"AppEmail", L"soak@kestrel.example");
    SetString(kSettingsKey, L"AppKey", L"KESTREL-SOAK-2026");
    SetString(kSettingsKey, L"WSUrl",
              std::wstring(service) +
                  L"/KestrelService.Svc/GSMTEST/GsmQuery?keyName={APPNAME}&hash={HASH}"
                  L"&networkCode={NC}&lac={LAC}&cellId={CELLID}");
    SetString(kSettingsKey, L"MapUrl", std::wstring(service) + L"/map?lat={LAT}&lon={LON}");
    SetDword(L"AutoMapAfterStart", 1);
    SetDword(L"CheckInterval", 5);
}

bool WriteScenario(SoakWorld::Radio radio) {
    std::string text = SoakWorld::Scenario(radio);
    HANDLE file = CreateFileW(kScenarioPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD done = 0;
    bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
              done == text.size();
    CloseHandle(file);
    return ok;
}

// A file's bytes, empty when it is not there; false while another holds it unshared (the cell
// log's writer opens it so for each record), after a second of trying.
bool ReadBytes(const wchar_t* path, std::string& bytes) {
    bytes.clear();
    for (int tries = 0; tries < 200; ++tries) {
        HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            if (GetLastError() != ERROR_SHARING_VIOLATION) {
                return true;
            }
            Sleep(5);
            continue;
        }
        char buffer[65536];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            bytes.append(buffer, got);
        }
        CloseHandle(file);
        return true;
    }
    return false;
}

class Soak {
public:
    explicit Soak(const SoakRun::Options& options)
        : options(options), faults(kDatabaseFolder, kLogFolder) {}

    SoakRun::Report Run();

private:
    void Print(const std::string& line) {
        fputs((line + "\n").c_str(), options.out);
        fflush(options.out);
    }
    void Sample(const wchar_t* label);
    SoakMeter::Sample QuietSample(const wchar_t* label);
    bool Round(bool full);
    bool Stretch(const Phase& phase, bool full);
    bool StartFault(const Phase& phase);
    void EndFault(const Phase& phase);
    // Tells the log check what the writer managed while the log was blocked.
    void SynchronizeLog() {
        std::string bytes;
        RadioTap::Hold between;
        if (ReadBytes(kLogPath, bytes)) {
            log.LogSeen(bytes);
        }
    }
    bool Cycles(unsigned long count, const Phase& phase, bool full);
    // Runs a user's action on the window thread and keeps its longest duration.
    template <class Action> bool Timed(DWORD& longest, Action action) {
        const DWORD start = GetTickCount();
        bool ok = action();
        Keep(longest, GetTickCount() - start);
        return ok;
    }
    static void Keep(DWORD& longest, DWORD took) {
        if (took > longest) {
            longest = took;
        }
    }
    bool Fail(const std::string& why) {
        if (report.failure.empty()) {
            report.failure = why;
        }
        return false;
    }

    SoakRun::Options options;
    SoakRun::Report report;
    CellLogCheck log;
    FileFaults faults;
    SoakHelper helper;
    std::unique_ptr<SoakDriver> driver;
    std::unique_ptr<SoakMeter> meter;
    unsigned long nextSample = 0;
    unsigned long stretches = 0;
    unsigned long nextKeys = 0;
    unsigned long nextSettings = 0;
    unsigned long nextReload = 0;
    // A short round reloads the Today screen and the settings once each.
    bool reloadThisRound = false;
    bool settingsThisRound = false;
};

void Soak::Sample(const wchar_t* label) {
    Print(Utf8(SoakMeter::Format(meter->Take(driver->Cycles()), label)));
}

SoakMeter::Sample Soak::QuietSample(const wchar_t* label) {
    // Monitoring off for a moment: requests, fetches and the radio's thread come to an end,
    // so two such samples compare what stays, not what happens to be in flight.
    driver->SetMonitoring(false);
    driver->RunFor(kQuietMs);
    SoakMeter::Sample sample = meter->Take(driver->Cycles());
    Print(Utf8(SoakMeter::Format(sample, label)));
    Print("        handles: " + Utf8(SoakMeter::FormatKinds(sample)));
    Print("        the item library's: " + ObjectRecorder::KernelMakers());
    driver->SetMonitoring(true);
    return sample;
}

bool Soak::Cycles(unsigned long count, const Phase& phase, bool full) {
    SoakRun::ActionTimes& longest = report.longestActions;
    for (unsigned long done = 0; done < count;) {
        unsigned long chunk = count - done < kChunk ? count - done : kChunk;
        if (!driver->RunCycles(chunk)) {
            return Fail(driver->ItemWindow() ? "no polling cycle for two minutes"
                                             : "the item's window went away");
        }
        done += chunk;
        const unsigned long cycles = driver->Cycles();
        if (cycles >= nextSample) {
            Sample(L"");
            nextSample = cycles + options.sampleEvery;
        }
        if (!phase.user) {
            continue;
        }
        if (cycles >= nextKeys) {
            Keep(longest.keyMs, driver->WalkKeys());
            nextKeys = cycles + (full ? 150 : 40);
        }
        if (full ? cycles >= nextSettings : settingsThisRound) {
            settingsThisRound = false;
            if (!Timed(longest.settingsMs, [&] { return driver->ReloadSettings(); })) {
                return Fail("the options dialog did not open");
            }
            ++report.settingsReloads;
            nextSettings = cycles + 500;
        }
        if (full ? cycles >= nextReload : reloadThisRound) {
            reloadThisRound = false;
            if (!Timed(longest.todayReloadMs, [&] { return driver->ReloadToday(); })) {
                return Fail("the item did not come back after a Today reload");
            }
            nextReload = cycles + 300;
            Keep(longest.tabMs, driver->ShowPage(phase.page));
        }
    }
    return true;
}

bool Soak::StartFault(const Phase& phase) {
    // The radio's reopening is the item's work; the rest is the soak's own.
    std::optional<SoakMeter::OwnWork> own(std::in_place, *meter);
    switch (phase.fault) {
    case Fault::LogHeld:
        log.LogBlocked(true);
        return helper.HoldFile(kLogPath) || Fail("the helper could not hold the log");
    case Fault::FolderFull:
        if (!faults.CanFillLogFolder()) {
            return true;
        }
        log.LogBlocked(true);
        report.folderFilled = faults.FillLogFolder();
        return report.folderFilled || Fail("the log folder could not be filled");
    case Fault::Web:
        return helper.SetWebMode(phase.webMode) || Fail("the web service mode did not change");
    case Fault::DatabaseReplaced:
        faults.StartReplacing();
        meter->ExcludeThread(faults.ReplacerThread());
        return true;
    case Fault::DatabaseTruncated:
        return faults.WriteDatabases(SoakWorld::Database::Truncated) ||
               Fail("the BTS databases could not be written");
    case Fault::DatabaseGarbage:
        return faults.WriteDatabases(SoakWorld::Database::Garbage) ||
               Fail("the BTS databases could not be written");
    case Fault::RadioOpenFails:
    case Fault::RadioSilent:
    case Fault::RadioFailing:
    case Fault::Parked: {
        SoakWorld::Radio radio = phase.fault == Fault::RadioOpenFails ? SoakWorld::Radio::OpenFails
                                 : phase.fault == Fault::RadioSilent  ? SoakWorld::Radio::Silent
                                 : phase.fault == Fault::Parked       ? SoakWorld::Radio::Parked
                                                                      : SoakWorld::Radio::Failing;
        if (!WriteScenario(radio)) {
            return Fail("the radio scenario could not be written");
        }
        own.reset();
        driver->ReopenRadio();
        return true;
    }
    default:
        return true;
    }
}

void Soak::EndFault(const Phase& phase) {
    // The radio's reopening is the item's work; the rest is the soak's own.
    std::optional<SoakMeter::OwnWork> own(std::in_place, *meter);
    switch (phase.fault) {
    case Fault::LogHeld:
        helper.ReleaseFile();
        SynchronizeLog();
        log.LogBlocked(false);
        break;
    case Fault::FolderFull:
        if (report.folderFilled) {
            faults.EmptyLogFolder();
            SynchronizeLog();
            log.LogBlocked(false);
        }
        break;
    case Fault::Web:
        helper.SetWebMode("normal");
        break;
    case Fault::DatabaseReplaced:
        faults.StopReplacing();
        break;
    case Fault::DatabaseTruncated:
    case Fault::DatabaseGarbage:
        faults.WriteDatabases(SoakWorld::Database::Good);
        break;
    case Fault::RadioOpenFails:
    case Fault::RadioSilent:
    case Fault::RadioFailing:
    case Fault::Parked:
        WriteScenario(SoakWorld::Radio::Walk);
        own.reset();
        driver->ReopenRadio();
        break;
    default:
        break;
    }
}

bool Soak::Stretch(const Phase& phase, bool full) {
    Keep(report.longestActions.tabMs, driver->ShowPage(phase.page));
    log.StretchStarted(++stretches);
    const unsigned long cyclesBefore = driver->Cycles();
    const double cpuBefore = meter->Take(cyclesBefore).cpuSeconds;
    meter->TakeLongestSilenceMark();
    const DWORD start = GetTickCount();
    if (!StartFault(phase)) {
        EndFault(phase);
        return false;
    }
    const unsigned long requestsBefore = phase.fault == Fault::Web ? helper.Requests() : 0;
    // A web fault is met only by a request: the stretch goes on until the service was asked
    // (an absent one cannot be), and in a full round until the item could give up by itself.
    auto webWantsMore = [&] {
        if (phase.fault != Fault::Web) {
            return false;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (std::string(phase.webMode) != "absent" && helper.Requests() == requestsBefore &&
            elapsed < kRequestWaitMs) {
            return true;
        }
        return full && elapsed < phase.minimumMs;
    };
    bool ok = Cycles(full ? phase.cycles : kShortCycles, phase, full);
    while (ok && webWantsMore()) {
        ok = Cycles(kChunk, phase, full);
    }
    if (ok) {
        // Texts as the user saw them at the end of the stretch.
        report.screens.push_back({phase.name, driver->Texts()});
    }
    EndFault(phase);
    const unsigned long cycles = driver->Cycles() - cyclesBefore;
    const double cpu = meter->Take(driver->Cycles()).cpuSeconds - cpuBefore;
    if (!phase.user && full && cycles) {
        report.steadyCpuMsPerCycle = cpu * 1000 / cycles;
        report.steadyCycles = cycles;
    }
    char line[256];
    snprintf(line, sizeof(line),
             "  stretch %2lu: %-55s %6lu cycles %6.1f s  cpu %.3f ms/cycle  longest %lu ms",
             stretches, phase.name, cycles, (GetTickCount() - start) / 1000.0,
             cycles ? cpu * 1000 / cycles : 0.0,
             static_cast<unsigned long>(meter->TakeLongestSilenceMark()));
    Print(line);
    return ok;
}

bool Soak::Round(bool full) {
    reloadThisRound = !full;
    settingsThisRound = !full;
    for (const Phase& phase : kPhases) {
        if (!Stretch(phase, full)) {
            return false;
        }
    }
    // The options page keeps its title font from its first showing for as long as the library
    // stays loaded: every round ends with the page shown, so the rounds end alike.
    ++report.settingsReloads;
    return driver->ReloadSettings() || Fail("the options dialog did not open");
}

SoakRun::Report Soak::Run() {
    DeleteFileW(kLogPath);
    faults.EmptyLogFolder();
    if (!faults.WriteDatabases(SoakWorld::Database::Good) ||
        !WriteScenario(SoakWorld::Radio::Walk)) {
        Fail("the soak's files could not be written");
        return report;
    }
    wchar_t scenario[MAX_PATH];
    GetFullPathNameW(kScenarioPath, MAX_PATH, scenario, nullptr);
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", scenario);
    SetEnvironmentVariableW(L"KESTREL_RIL_MODE", L"cycle");
    if (!helper.Start(options.helperProgram)) {
        Fail("the helper process did not start");
        return report;
    }
    WriteSettings(helper.Port());
    driver.reset(new SoakDriver(kItemsKey, log));
    if (!driver->Start()) {
        Fail("the item did not come up in the Today host");
        driver.reset();
        return report;
    }
    meter.reset(new SoakMeter(driver->HostWindow()));
    // The start is taken once monitoring runs, so that the first poll's first use of the radio
    // layer and of the pages is in it in every run.
    if (!driver->RunCycles(kChunk)) {
        Fail("the item made no polling cycle");
        meter.reset();
        driver.reset();
        return report;
    }
    Print(Utf8(SoakMeter::Header()));
    report.start = meter->Take(driver->Cycles());
    Print(Utf8(SoakMeter::Format(report.start, L"start")));
    nextSample = options.sampleEvery;

    bool ok = Round(false);
    if (ok) {
        report.warm = QuietSample(L"after warm-up (quiet)");
    }
    while (ok) {
        ok = Round(options.full);
        if (driver->Cycles() >= options.cycles) {
            break;
        }
    }
    if (ok) {
        report.end = QuietSample(L"end (quiet)");
        report.completed = true;
    }
    report.longestSilenceMs = meter->LongestSilenceMs();
    report.freshLoads = driver->FreshLoads();
    report.todayReloads = driver->Reloads();
    report.replacements = faults.Replacements();
    report.webRequests = helper.Requests();
    const unsigned long cycles = report.end.cycles - report.warm.cycles;
    if (report.completed && cycles) {
        report.cpuMsPerCycle = (report.end.cpuSeconds - report.warm.cpuSeconds) * 1000 / cycles;
    }
    meter.reset();
    driver.reset();
    helper.Stop();
    std::string logBytes;
    ReadBytes(kLogPath, logBytes);
    report.log = log.Check(logBytes);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kSettingsKey);
    SetEnvironmentVariableW(L"KESTREL_RIL_SCENARIO", nullptr);
    return report;
}

} // namespace

SoakRun::Report SoakRun::Run(const Options& options) {
    Soak soak(options);
    return soak.Run();
}

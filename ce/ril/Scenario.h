#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ril.h"

// The queries a scenario can answer.
enum class RilQuery { Operator, Equipment, Signal, CellTower, DevSpecific, Count };

// How one query is answered in a step.
enum class Answer { Result, Never, Failure };

// What the radio reports during one step.
struct ScenarioStep {
    RILOPERATORNAMES operatorNames;
    RILCELLTOWERINFO cellTower;
    RILSIGNALQUALITY signalQuality;
    RILEQUIPMENTSTATE equipmentState;
    Answer answers[static_cast<int>(RilQuery::Count)];
    DWORD failureCodes[static_cast<int>(RilQuery::Count)];

    ScenarioStep();
    // A new step keeps the values and answers every query again.
    ScenarioStep NextStep() const;
};

// A parsed scenario: a text file of directives, or a cell log played line by line.
struct Scenario {
    bool timed = false;
    DWORD stepMs = 2000;
    DWORD latencyMs = 10;
    bool loop = false;
    // RIL_Initialize fails this many times (ALWAYS: every time).
    DWORD initFailures = 0;
    std::vector<ScenarioStep> steps;
    // The file as loaded: a changed file starts its own count of failed opens.
    std::string source;

    static const DWORD ALWAYS = 0xFFFFFFFF;

    // The built-in radio when no scenario is configured.
    static Scenario Default();
    // Parses file contents; on a bad line returns false with the line named in error.
    bool Parse(const std::string& bytes, const std::wstring& name, std::wstring& error);
    bool Load(const std::wstring& path, std::wstring& error);

    // The step in force for a polling cycle or for the time since opening.
    const ScenarioStep& StepForCycle(DWORD cycle) const;
    const ScenarioStep& StepForTime(DWORD elapsedMs) const;

private:
    bool ParseText(const std::string& text, const std::wstring& name, std::wstring& error);
    bool ParseCellLog(const std::wstring& text, const std::wstring& name, std::wstring& error);
    const ScenarioStep& StepAt(DWORD index) const;
};

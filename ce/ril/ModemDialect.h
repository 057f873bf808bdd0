#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What a maker's serving-cell command says about the cell: the channel (BCCH ARFCN, UARFCN or
// EARFCN) and, where the line carries them, the area code and cell id it belongs to.
struct ServingCell {
    bool hasChannel = false;
    bool hasArea = false;
    bool hasCell = false;
    DWORD channel = 0;
    DWORD area = 0;
    DWORD cellId = 0;
};

// A maker's AT dialect: the engineering command that reports the serving cell's channel.
// 27.007 has no such command, so the generic dialect reports no channel.
struct ModemDialect {
    const char* name;
    const char* command; // null: none
    const char* prefix;
    bool (*parse)(const std::vector<std::string>& lines, ServingCell& cell);

    // By the +CGMI text, case-insensitively; the generic dialect when no maker matches.
    static const ModemDialect& Identify(const std::string& manufacturer);
    // By name ("generic", "quectel", "simcom", "telit", "cinterion", "modemmanager"); null
    // when unknown.
    static const ModemDialect* Find(const std::string& name);
    static const ModemDialect& Generic();
};

#pragma once

#include <cstdint>
#include <string>

#include "CellDrive.h"

// Texts the drive's files share: times, names, and the escapes of XML, JSON and CSV.

// "2008-03-09T06:05:03Z", returned or appended.
std::string UtcText(int64_t utc);
void AppendUtc(std::string& to, int64_t utc);
// The wall-clock time with its offset from UTC: "2008-03-09T07:05:03+01:00".
void AppendLocal(std::string& to, int64_t local, int64_t utc);
// "2008-03-09"
std::string DateText(int64_t local);

std::string XmlEscaped(const std::string& text);
// A JSON string, quoted.
std::string JsonString(const std::string& text);
// A CSV field, quoted when it holds a comma, a quote or a line end (RFC 4180).
std::string CsvField(const std::string& text);

// UTF-8 of a wide text, and of the name part of a path.
std::string Utf8(const std::wstring& text);
std::string FileNameOf(const std::wstring& path);

// "Tower 23001 2051/13962": the map files' name of the tower of a cell.
std::string TowerName(const DriveCell& cell);
// What the files say of a tower: the cell and where its position comes from, e.g. "GSM cell
// 13962, LAC 2051, network 23001. Tower position from BTS database 23001.csv, range ±536 m;
// the phone was within the tower's reach, not at it."
std::string TowerDescription(const DriveCell& cell);
// The mcc and the network code of a network id; empty for "-----".
std::string MccOf(const std::string& network);
std::string MncOf(const std::string& network);

#pragma once

#include <map>
#include <string>

// What the BTS database knows about one cell: CSV field number -> text. Keys 1 to 9 are the
// fields 1 to 9 of the found line, key 11 its field 10. Key 10 is present only when the
// lookup found no line and then holds the text to show instead of the details.
using BtsRecord = std::map<int, std::wstring>;

const int kBtsStatusKey = 10;

// Shown for a value that is not available, and as the status of a database that cannot be read.
extern const wchar_t kBtsNotAvailable[];
// Status of a lookup whose cell is not in the database.
extern const wchar_t kBtsNotFound[];

#pragma once

#include "ExtendedInformationReaderBase.h"

#include <string>
#include <vector>

// Reads the BTS database of a network: the CSV file directory + network id + ".csv",
// 8-bit text in the ANSI code page, one base station per line, fields separated by ";".
// A line belongs to a cell when the cell id's text occurs anywhere in it and its third
// field equals the LAC. Nothing is cached: every lookup opens, maps, scans and closes the
// file, so a freshly downloaded database is seen at once.
class CSVReader : public ExtendedInformationReaderBase {
public:
    explicit CSVReader(const std::wstring& directory);

    BtsRecord GetExtendedInformation(const std::wstring& lac, const std::wstring& cellId,
                                     const std::wstring& networkId) override;
    ~CSVReader() override;

    // Used as given: no separator is inserted before the network id.
    void SetDirectory(const std::wstring& directory);
    const std::wstring& GetDirectory() const { return directory; }

    // The search over a database's bytes (the text ends at the end or at a NUL byte). On
    // success fields holds the found line's first fields (up to ten, empty ones included).
    static bool FindCellLine(const char* text, size_t size, const std::wstring& lac,
                             const std::wstring& cellId, std::vector<std::wstring>& fields);

private:
    std::wstring directory;
};

#pragma once

#include <map>
#include <string>
#include <tuple>

// Cell positions from a CSV file in OpenCellID's export layout:
// radio,mcc,net,area,cell,unit,lon,lat,range,samples,changeable,created,updated,averageSignal
class CellDatabase {
public:
    struct Position {
        std::string lat;
        std::string lon;
    };

    // Adds the file's cells; a header line and malformed lines are skipped. False when the
    // file cannot be read.
    bool Load(const std::wstring& path);
    // Parses CSV text; returns the number of cells taken.
    size_t AddCsv(const std::string& text);
    void Add(int mcc, int net, long area, long cell, const std::string& lat,
             const std::string& lon);
    // networkCode: mcc (3 digits) followed by the network code, e.g. "23001".
    bool Find(const std::string& networkCode, long area, long cell, Position& position) const;
    size_t Size() const { return cells.size(); }

private:
    std::map<std::tuple<int, int, long, long>, Position> cells;
};

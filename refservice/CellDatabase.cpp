#include "CellDatabase.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

bool ParseLong(const std::string& text, long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0';
}

bool IsNumber(const std::string& text) {
    if (text.empty() || text.size() > 32) {
        return false;
    }
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return *end == '\0';
}

} // namespace

bool CellDatabase::Load(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::string text;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
        text.append(buffer, read);
    }
    CloseHandle(file);
    AddCsv(text);
    return true;
}

size_t CellDatabase::AddCsv(const std::string& text) {
    size_t taken = 0;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (fields.size() < 9 && std::getline(parts, field, ',')) {
            fields.push_back(field);
        }
        long mcc, net, area, cell;
        if (fields.size() < 8 || !ParseLong(fields[1], mcc) || !ParseLong(fields[2], net) ||
            !ParseLong(fields[3], area) || !ParseLong(fields[4], cell) || !IsNumber(fields[6]) ||
            !IsNumber(fields[7])) {
            continue;
        }
        Add(mcc, net, area, cell, fields[7], fields[6]);
        ++taken;
    }
    return taken;
}

void CellDatabase::Add(int mcc, int net, long area, long cell, const std::string& lat,
                       const std::string& lon) {
    cells[std::make_tuple(mcc, net, area, cell)] = {lat, lon};
}

bool CellDatabase::Find(const std::string& networkCode, long area, long cell,
                        Position& position) const {
    long mcc, net;
    if (networkCode.size() < 4 || networkCode.size() > 6 ||
        !ParseLong(networkCode.substr(0, 3), mcc) || !ParseLong(networkCode.substr(3), net)) {
        return false;
    }
    auto it = cells.find(std::make_tuple(static_cast<int>(mcc), static_cast<int>(net), area, cell));
    if (it == cells.end()) {
        return false;
    }
    position = it->second;
    return true;
}

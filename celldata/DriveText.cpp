#include "DriveText.h"

#include <windows.h>

#include <cstdio>

#include "CivilTime.h"

namespace {

void PutNumber(char*& to, int value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        to[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    to += digits;
}

// "yyyy-mm-ddThh:mm:ss" to `to` (19 characters).
char* PutTime(char* to, int64_t seconds) {
    const CivilTime time = CivilFromSeconds(seconds);
    PutNumber(to, time.year, 4);
    *to++ = '-';
    PutNumber(to, time.month, 2);
    *to++ = '-';
    PutNumber(to, time.day, 2);
    *to++ = 'T';
    PutNumber(to, time.hour, 2);
    *to++ = ':';
    PutNumber(to, time.minute, 2);
    *to++ = ':';
    PutNumber(to, time.second, 2);
    return to;
}

bool IsNetworkId(const std::string& network) {
    return network.size() == 5 || network.size() == 6;
}

} // namespace

std::string UtcText(int64_t utc) {
    std::string text;
    AppendUtc(text, utc);
    return text;
}

void AppendUtc(std::string& to, int64_t utc) {
    char text[24];
    char* end = PutTime(text, utc);
    *end++ = 'Z';
    to.append(text, end);
}

void AppendLocal(std::string& to, int64_t local, int64_t utc) {
    char text[32];
    char* end = PutTime(text, local);
    const int64_t offset = (local - utc) / 60;
    const int64_t magnitude = offset < 0 ? -offset : offset;
    *end++ = offset < 0 ? '-' : '+';
    PutNumber(end, static_cast<int>(magnitude / 60 % 100), 2);
    *end++ = ':';
    PutNumber(end, static_cast<int>(magnitude % 60), 2);
    to.append(text, end);
}

std::string DateText(int64_t local) {
    return UtcText(local).substr(0, 10);
}

std::string XmlEscaped(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

std::string Utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size > 0 ? size : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], size, nullptr, nullptr);
    utf8.resize(utf8.size() - 1);
    return utf8;
}

std::string FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return Utf8(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

std::string TowerName(const DriveCell& cell) {
    return "Tower " + cell.network + " " + cell.lac + "/" + cell.cell;
}

std::string TowerDescription(const DriveCell& cell) {
    const TowerPosition& tower = cell.tower;
    std::string text = tower.radio.empty() ? "Cell " : tower.radio + " cell ";
    text += cell.cell + ", LAC " + cell.lac + ", network " + cell.network + ". ";
    if (!tower.Known()) {
        return text + "No tower position known.";
    }
    text += "Tower position from " + tower.source;
    if (tower.range != kNoValue) {
        text += ", range \xC2\xB1" + std::to_string(tower.range) + " m";
    }
    return text + "; the phone was within the tower's reach, not at it.";
}

std::string MccOf(const std::string& network) {
    return IsNetworkId(network) ? network.substr(0, 3) : std::string();
}

std::string MncOf(const std::string& network) {
    return IsNetworkId(network) ? network.substr(3) : std::string();
}

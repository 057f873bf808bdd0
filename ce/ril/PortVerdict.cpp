#include "PortVerdict.h"

#include <cctype>

#include "AtLineReader.h"

namespace {

// "$GPGGA," or "!AIVDM,": a talker and a sentence name of five letters or digits, then a comma.
bool IsNmeaSentence(const std::string& line) {
    if (line.size() < 7 || (line[0] != '$' && line[0] != '!') || line[6] != ',') {
        return false;
    }
    for (size_t i = 1; i < 6; ++i) {
        if (!std::isupper(static_cast<unsigned char>(line[i])) &&
            !std::isdigit(static_cast<unsigned char>(line[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

std::wstring PortVerdict::Reason() const {
    switch (kind) {
    case AtPort:
        return std::wstring();
    case Nmea:
        return L"NMEA sentences: the modem's GPS port, try another";
    case Binary:
        return L"binary data: a diagnostic port or a wrong speed";
    case NoLineEnds:
        return L"bytes without line ends: not an AT port, or a wrong speed";
    case OtherText:
        return L"lines that answer no AT command: not the modem's AT port";
    case Silent:
        return L"the modem does not answer AT";
    case PortFailed:
        return L"the port failed while the modem was asked AT";
    case Stopped:
        break;
    }
    return L"closed while the modem was asked AT";
}

PortVerdict::Kind PortVerdict::Classify(const std::string& sample) {
    if (sample.empty()) {
        return Silent;
    }
    size_t control = 0, lineEnds = 0, lines = 0, sentences = 0, longest = 0;
    std::string line;
    for (char c : sample) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') {
            ++lineEnds;
            if (!line.empty()) {
                ++lines;
                sentences += IsNmeaSentence(line) ? 1 : 0;
            }
            line.clear();
        } else {
            if ((byte < 0x20 && c != '\t') || byte >= 0x7F) {
                ++control;
            }
            line += c;
            longest = line.size() > longest ? line.size() : longest;
        }
    }
    // Text has hardly any control or high bytes; a wrong speed or a binary protocol has many.
    if (control * 10 > sample.size()) {
        return Binary;
    }
    if (lineEnds == 0 || longest > AtLineReader::MAX_LINE) {
        return NoLineEnds;
    }
    return sentences * 2 >= lines && sentences > 0 ? Nmea : OtherText;
}

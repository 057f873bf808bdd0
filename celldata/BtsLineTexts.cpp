#include "BtsLineTexts.h"

#include <algorithm>
#include <cstring>

namespace {

// Windows-1250 bytes of the texts the lines carry. A no-break space keeps each number with
// its unit when the detail page wraps the text.
const char kPlusMinus[] = "\xB1"; // ±
const char kMetres[] = "\xA0m";   // " m"
const char kMeasurements[] = "\xA0m\xEC\xF8"
                             "en\xED"; // " měření"

// The radio names as AppendLines copies them (PutShort).
const char kRadioNames[4][32] = {"GSM", "UMTS", "LTE", "NR"};
const size_t kRadioLengths[4] = {3, 4, 3, 2};
const size_t kMaxIdBytes = 20;

// Copies a piece of text to `to` and returns its end. Pieces are mostly shorter than 32
// bytes, and both buffers have room past their ends: a fixed 32-byte copy is a few
// instructions where the C library's memcpy, called for each piece, costs many times more
// (Wine's copies the last bytes one at a time).
char* PutShort(char* to, const char* from, size_t length) {
    if (length <= 32) {
        std::memcpy(to, from, 32);
    } else {
        std::memcpy(to, from, length);
    }
    return to + length;
}

char* PutDecimal(char* to, uint64_t value) {
    char digits[20];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    while (count) {
        *to++ = digits[--count];
    }
    return to;
}

// Day, month and year of a Unix time (UTC).
void CivilDate(uint32_t unixTime, unsigned& day, unsigned& month, unsigned& year) {
    const int64_t days = unixTime / 86400 + 719468;
    const int64_t era = days / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<unsigned>(yearOfEra + era * 400 + (month <= 2));
}

} // namespace

char* BtsLineTexts::Room(size_t bytes) {
    if (arena.size() < used + bytes + kSlack) {
        arena.resize(std::max(2 * arena.size(), used + bytes + kSlack));
    }
    return arena.data() + used;
}

void BtsLineTexts::Add(Pieces& pieces, Piece piece, const char* end, size_t kept) {
    const size_t length = std::min<size_t>(end - (arena.data() + used), 255);
    pieces.offset[piece] = static_cast<uint32_t>(used);
    pieces.length[piece] = static_cast<uint8_t>(length);
    pieces.kept[piece] = static_cast<uint8_t>(std::min(kept, length));
    used += length;
}

void BtsLineTexts::Build(const CellRecord* areaCells, size_t count,
                         const std::vector<std::string>& districts) {
    cells = areaCells;
    used = 0;
    lines.assign(count, Pieces());
    for (size_t i = 0; i < count; ++i) {
        const CellRecord& cell = cells[i];
        Pieces& pieces = lines[i];
        const std::string& district =
            cell.district < districts.size() ? districts[cell.district] : districts[0];
        // Each piece is written where the one before ends. Numbers take at most 20 bytes
        // each, the longest of the other pieces ("RNC 4095 CID 65535") fewer.
        char* end = Room(PieceCount * 24 + district.size());
        end = PutDecimal(end, cell.cell);
        Add(pieces, Id, end, 255);
        end = PutDecimal(Room(0), cell.area);
        Add(pieces, Area, end, 255);

        end = Room(0);
        if (cell.channel != kNoValue) {
            end = PutDecimal(end, cell.channel);
        }
        Add(pieces, Channel, end, 0);

        // The parts an id is made of, where the radio has them.
        end = Room(0);
        if (cell.radio == Radio::Lte) {
            std::memcpy(end, "eNB ", 4);
            end = PutDecimal(end + 4, cell.cell >> 8);
            *end++ = '/';
            end = PutDecimal(end, cell.cell & 0xFF);
        } else if (cell.radio == Radio::Umts && cell.cell > 0xFFFF) {
            std::memcpy(end, "RNC ", 4);
            end = PutDecimal(end + 4, cell.cell >> 16);
            std::memcpy(end, " CID ", 5);
            end = PutDecimal(end + 5, cell.cell & 0xFFFF);
        }
        Add(pieces, CellParts, end, 0);

        end = Room(0);
        if (!district.empty()) {
            std::memcpy(end, district.data(), district.size());
            end += district.size();
        }
        Add(pieces, District, end, 0);

        end = Room(0);
        if (cell.range != kNoValue) {
            std::memcpy(end, kPlusMinus, 1);
            end = PutDecimal(end + 1, cell.range);
            std::memcpy(end, kMetres, sizeof kMetres - 1);
            end += sizeof kMetres - 1;
        }
        Add(pieces, Range, end, 0);

        end = Room(0);
        if (cell.samples != kNoValue) {
            end = PutDecimal(end, cell.samples);
            std::memcpy(end, kMeasurements, sizeof kMeasurements - 1);
            end += sizeof kMeasurements - 1;
        }
        Add(pieces, Samples, end, 0);

        end = Room(0);
        if (cell.updated != kNoValue) {
            unsigned day, month, year;
            CivilDate(cell.updated, day, month, year);
            end = PutDecimal(end, day);
            *end++ = '.';
            end = PutDecimal(end, month);
            *end++ = '.';
            end = PutDecimal(end, year);
        }
        Add(pieces, Updated, end, 0);

        AddCoordinate(pieces, Latitude, cell.lat, cell.latDecimals);
        AddCoordinate(pieces, Longitude, cell.lon, cell.lonDecimals);
    }
}

void BtsLineTexts::AddCoordinate(Pieces& pieces, Piece piece, int32_t value, uint8_t decimals) {
    char* text = Room(0);
    const size_t length = PutCoordinate(text, value, decimals, kCoordinateDecimals);
    const size_t cut = std::min(decimals, kCoordinateDecimals) - std::min(decimals, kKeptDecimals);
    Add(pieces, piece, text + length, length - cut);
}

void BtsLineTexts::Shorten(size_t line, Piece piece, size_t length) {
    Pieces& pieces = lines[line];
    if (piece == Latitude || piece == Longitude) {
        length = std::max<size_t>(length, pieces.kept[piece]);
    } else {
        length = pieces.kept[piece];
    }
    pieces.length[piece] = static_cast<uint8_t>(std::min<size_t>(length, pieces.length[piece]));
}

void BtsLineTexts::AppendLines(const std::vector<uint32_t>& order, std::string& out) {
    // A line holds its pieces, the id once more and some 30 bytes of its own.
    const size_t bound = used + lines.size() * (kMaxIdBytes + 48) + kSlack;
    if (lineBytes.size() < bound) {
        lineBytes.resize(bound);
    }
    char* p = lineBytes.data();
    for (uint32_t line : order) {
        const Pieces& pieces = lines[line];
        auto put = [&](Piece piece) { p = PutShort(p, Text(line, piece), pieces.length[piece]); };
        const Radio radio = cells[line].radio;
        put(Id);
        *p++ = ';';
        p = PutShort(p, kRadioNames[int(radio)], kRadioLengths[int(radio)]);
        *p++ = ';';
        put(Area);
        *p++ = ';';
        put(Channel);
        *p++ = ';';
        p = PutShort(p, kRadioNames[int(radio)], kRadioLengths[int(radio)]);
        *p++ = ' ';
        put(pieces.length[CellParts] ? CellParts : Id);
        *p++ = ';';
        put(District);
        *p++ = ';';
        bool first = true;
        for (Piece piece : {Range, Samples, Updated}) {
            if (pieces.length[piece]) {
                if (!first) {
                    *p++ = ',';
                    *p++ = ' ';
                }
                put(piece);
                first = false;
            }
        }
        *p++ = ';';
        put(Latitude);
        *p++ = ';';
        put(Longitude);
        *p++ = '\r';
        *p++ = '\n';
    }
    out.append(lineBytes.data(), p - lineBytes.data());
}

const char* BtsLineTexts::PieceName(Piece piece) {
    static const char* const names[PieceCount] = {"cell id",  "area",     "channel", "cell parts",
                                                  "district", "range",    "samples", "date",
                                                  "latitude", "longitude"};
    return names[piece];
}

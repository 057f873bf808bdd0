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

void BtsLineTexts::Add(Pieces& pieces, Piece piece, const char* text, size_t length, size_t kept) {
    length = std::min<size_t>(length, 255);
    pieces.offset[piece] = static_cast<uint32_t>(arena.size());
    pieces.length[piece] = static_cast<uint8_t>(length);
    pieces.kept[piece] = static_cast<uint8_t>(std::min(kept, length));
    arena.append(text, length);
}

void BtsLineTexts::AddCoordinate(Pieces& pieces, Piece piece, int32_t value, uint8_t decimals) {
    char text[16];
    const size_t length = PutCoordinate(text, value, decimals, kCoordinateDecimals);
    const size_t cut = std::min(decimals, kCoordinateDecimals) - std::min(decimals, kKeptDecimals);
    Add(pieces, piece, text, length, length - cut);
}

void BtsLineTexts::Build(const CellRecord* areaCells, size_t count,
                         const std::vector<std::string>& districts) {
    cells = areaCells;
    arena.clear();
    lines.assign(count, Pieces());
    char buffer[64];
    for (size_t i = 0; i < count; ++i) {
        const CellRecord& cell = cells[i];
        Pieces& pieces = lines[i];
        char* end = PutDecimal(buffer, cell.cell);
        Add(pieces, Id, buffer, end - buffer, end - buffer);
        end = PutDecimal(buffer, cell.area);
        Add(pieces, Area, buffer, end - buffer, end - buffer);

        end = buffer;
        if (cell.channel != kNoValue) {
            end = PutDecimal(buffer, cell.channel);
        }
        Add(pieces, Channel, buffer, end - buffer, 0);

        // The parts an id is made of, where the radio has them.
        end = buffer;
        if (cell.radio == Radio::Lte) {
            std::memcpy(buffer, "eNB ", 4);
            end = PutDecimal(buffer + 4, cell.cell >> 8);
            *end++ = '/';
            end = PutDecimal(end, cell.cell & 0xFF);
        } else if (cell.radio == Radio::Umts && cell.cell > 0xFFFF) {
            std::memcpy(buffer, "RNC ", 4);
            end = PutDecimal(buffer + 4, cell.cell >> 16);
            std::memcpy(end, " CID ", 5);
            end = PutDecimal(end + 5, cell.cell & 0xFFFF);
        }
        Add(pieces, CellParts, buffer, end - buffer, 0);

        const std::string& district =
            cell.district < districts.size() ? districts[cell.district] : districts[0];
        Add(pieces, District, district.data(), district.size(), 0);

        end = buffer;
        if (cell.range != kNoValue) {
            std::memcpy(buffer, kPlusMinus, 1);
            end = PutDecimal(buffer + 1, cell.range);
            std::memcpy(end, kMetres, sizeof kMetres - 1);
            end += sizeof kMetres - 1;
        }
        Add(pieces, Range, buffer, end - buffer, 0);

        end = buffer;
        if (cell.samples != kNoValue) {
            end = PutDecimal(buffer, cell.samples);
            std::memcpy(end, kMeasurements, sizeof kMeasurements - 1);
            end += sizeof kMeasurements - 1;
        }
        Add(pieces, Samples, buffer, end - buffer, 0);

        end = buffer;
        if (cell.updated != kNoValue) {
            unsigned day, month, year;
            CivilDate(cell.updated, day, month, year);
            end = PutDecimal(buffer, day);
            *end++ = '.';
            end = PutDecimal(end, month);
            *end++ = '.';
            end = PutDecimal(end, year);
        }
        Add(pieces, Updated, buffer, end - buffer, 0);

        AddCoordinate(pieces, Latitude, cell.lat, cell.latDecimals);
        AddCoordinate(pieces, Longitude, cell.lon, cell.lonDecimals);
    }
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

void BtsLineTexts::AppendLine(size_t line, std::string& out) const {
    // Pieces have at most 255 bytes each: the line fits, and goes out in one append.
    char text[PieceCount * 256 + 64];
    char* p = text;
    const Pieces& pieces = lines[line];
    auto put = [&](Piece piece) {
        std::memcpy(p, Text(line, piece), pieces.length[piece]);
        p += pieces.length[piece];
    };
    auto putText = [&](const char* word) {
        const size_t length = std::strlen(word);
        std::memcpy(p, word, length);
        p += length;
    };
    const char* radio = RadioName(cells[line].radio);
    put(Id);
    *p++ = ';';
    putText(radio);
    *p++ = ';';
    put(Area);
    *p++ = ';';
    put(Channel);
    *p++ = ';';
    putText(radio);
    *p++ = ' ';
    put(pieces.length[CellParts] ? CellParts : Id);
    *p++ = ';';
    put(District);
    *p++ = ';';
    bool first = true;
    for (Piece piece : {Range, Samples, Updated}) {
        if (pieces.length[piece]) {
            if (!first) {
                putText(", ");
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
    out.append(text, p - text);
}

const char* BtsLineTexts::PieceName(Piece piece) {
    static const char* const names[PieceCount] = {"cell id",  "area",     "channel", "cell parts",
                                                  "district", "range",    "samples", "date",
                                                  "latitude", "longitude"};
    return names[piece];
}

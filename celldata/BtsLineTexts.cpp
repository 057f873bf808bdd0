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

// Two digits at a time: a division by 100 instead of two by 10.
const char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536"
    "37383940414243444546474849505152535455565758596061626364656667686970717273"
    "7475767778798081828384858687888990919293949596979899";

char* PutDecimal(char* to, uint64_t value) {
    int length = 1;
    for (uint64_t bound = 10; length < 20 && value >= bound; bound *= 10) {
        ++length;
    }
    char* p = to + length;
    while (value >= 100) {
        p -= 2;
        std::memcpy(p, &kDigitPairs[2 * (value % 100)], 2);
        value /= 100;
    }
    if (value >= 10) {
        std::memcpy(p - 2, &kDigitPairs[2 * value], 2);
    } else {
        p[-1] = static_cast<char>('0' + value);
    }
    return to + length;
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
        // Each piece is written where the one before ends: p. Numbers take at most 20 bytes
        // each, the longest of the other pieces ("RNC 4095 CID 65535") fewer.
        char* p = Room(PieceCount * 24 + district.size());
        auto add = [&](Piece piece, char* end, size_t kept) {
            const size_t length = std::min<size_t>(end - p, 255);
            pieces.offset[piece] = static_cast<uint32_t>(p - arena.data());
            pieces.length[piece] = static_cast<uint8_t>(length);
            pieces.kept[piece] = static_cast<uint8_t>(std::min(kept, length));
            p += length;
        };
        add(Id, PutDecimal(p, cell.cell), 255);
        add(Area, PutDecimal(p, cell.area), 255);
        add(Channel, cell.channel != kNoValue ? PutDecimal(p, cell.channel) : p, 0);

        // The parts an id is made of, where the radio has them.
        char* end = p;
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
        add(CellParts, end, 0);

        if (!district.empty()) {
            std::memcpy(p, district.data(), district.size());
        }
        add(District, p + district.size(), 0);

        end = p;
        if (cell.range != kNoValue) {
            std::memcpy(end, kPlusMinus, 1);
            end = PutDecimal(end + 1, cell.range);
            std::memcpy(end, kMetres, sizeof kMetres - 1);
            end += sizeof kMetres - 1;
        }
        add(Range, end, 0);

        end = p;
        if (cell.samples != kNoValue) {
            end = PutDecimal(end, cell.samples);
            std::memcpy(end, kMeasurements, sizeof kMeasurements - 1);
            end += sizeof kMeasurements - 1;
        }
        add(Samples, end, 0);

        end = p;
        if (cell.updated != kNoValue) {
            unsigned day, month, year;
            CivilDate(cell.updated, day, month, year);
            end = PutDecimal(end, day);
            *end++ = '.';
            end = PutDecimal(end, month);
            *end++ = '.';
            end = PutDecimal(end, year);
        }
        add(Updated, end, 0);

        // Coordinates may be cut down to kKeptDecimals.
        for (Piece piece : {Latitude, Longitude}) {
            const int32_t value = piece == Latitude ? cell.lat : cell.lon;
            const uint8_t decimals = piece == Latitude ? cell.latDecimals : cell.lonDecimals;
            const size_t length = PutCoordinate(p, value, decimals, kCoordinateDecimals);
            const size_t cut =
                std::min(decimals, kCoordinateDecimals) - std::min(decimals, kKeptDecimals);
            add(piece, p + length, length - cut);
        }
        used = p - arena.data();
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

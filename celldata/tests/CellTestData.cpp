#include "CellTestData.h"

#include <zlib.h>

#include <cstdio>
#include <random>

std::string MadeUpExport(int lines, unsigned seed) {
    static const char* const radios[] = {"GSM", "UMTS", "LTE"};
    static const int networks[][2] = {{230, 1}, {230, 3}, {310, 410}};
    std::mt19937 random(seed);
    auto uniform = [&random](unsigned low, unsigned high) {
        return std::uniform_int_distribution<unsigned>(low, high)(random);
    };
    std::string text = "radio,mcc,net,area,cell,unit,lon,lat,range,samples,changeable,created,"
                       "updated,averageSignal\n";
    char line[160];
    for (int i = 0; i < lines; ++i) {
        const int* network = networks[uniform(0, 2)];
        const unsigned radio = uniform(0, 2);
        unsigned long long cell = uniform(1, 9999);
        if (radio == 1) {
            cell += uniform(1, 4000) * 65536ull;
        } else if (radio == 2) {
            cell = uniform(1, 300000) * 256ull + uniform(1, 3);
        }
        std::snprintf(line, sizeof line, "%s,%d,%d,%u,%llu,0,%u.%06u,%u.%06u,%u,%u,1,0,%u,0\n",
                      radios[radio], network[0], network[1], uniform(1, 20) * 37, cell,
                      uniform(12, 18), uniform(0, 999999), uniform(48, 51), uniform(0, 999999),
                      uniform(100, 9000), uniform(1, 500), 1300000000 + uniform(0, 400000000));
        text += line;
    }
    return text;
}

std::string Gzip(const std::string& text) {
    z_stream stream = {};
    deflateInit2(&stream, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, static_cast<uLong>(text.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

#include "PngImage.h"

#include <zlib.h>

#include <vector>

namespace {

// Fast compression: a map is mostly flat colour, which deflates well even so.
const int kLevel = Z_BEST_SPEED;

void Put32(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

void Chunk(std::string& out, const char* type, const std::string& data) {
    Put32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.append(type, 4);
    out += data;
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out.data() + start),
                            static_cast<uInt>(out.size() - start));
    Put32(out, static_cast<uint32_t>(crc));
}

} // namespace

namespace png_image {

bool Encode(const uint32_t* pixels, int width, int height, std::string& png) {
    png.clear();
    const size_t rowBytes = size_t(width) * 3 + 1;
    std::vector<Bytef> raw(rowBytes * height);
    for (int y = 0; y < height; ++y) {
        Bytef* row = &raw[rowBytes * y];
        row[0] = 0; // no filter
        const uint32_t* in = pixels + size_t(y) * width;
        for (int x = 0; x < width; ++x) {
            row[1 + 3 * x] = Bytef(in[x] >> 16);
            row[2 + 3 * x] = Bytef(in[x] >> 8);
            row[3 + 3 * x] = Bytef(in[x]);
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packedSize, raw.data(),
                  static_cast<uLong>(raw.size()), kLevel) != Z_OK) {
        return false;
    }
    packed.resize(packedSize);
    std::string header;
    Put32(header, static_cast<uint32_t>(width));
    Put32(header, static_cast<uint32_t>(height));
    header += '\x08'; // bit depth
    header += '\x02'; // RGB
    header.append(3, '\0');
    png.assign("\x89PNG\r\n\x1a\n", 8);
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", packed);
    Chunk(png, "IEND", std::string());
    return true;
}

} // namespace png_image

#pragma once

#include <cstdint>
#include <string>

// PNG encoding (8-bit RGB, zlib deflate) of top-down 32-bit BGRA pixels, as a GDI DIB
// section holds them.
namespace png_image {

// False when zlib fails; png is then left empty.
bool Encode(const uint32_t* pixels, int width, int height, std::string& png);

} // namespace png_image

// PNG decoding through libpng from a byte stream, for the font map atlases and the editor images.
#pragma once

#include <cstdint>
#include <vector>

#include "stream.h"

namespace tarsk {

// Largest width or height accepted from a file (a damaged header must not ask for gigabytes).
constexpr uint32_t kPngMaxSide = 16384;

enum class PngPixels {
    Grey8,  // only 8-bit greyscale images (colour type 0, depth 8) are accepted, one byte per texel
    Rgba8,  // any image, converted to 4 bytes R, G, B, A per texel
};

// Decodes the PNG that starts at the stream's current position; rows from the image's top.
// Answers false (pixels emptied) on any decoding error or an image of the wrong kind.
bool decodePng(Stream& stream, PngPixels kind, std::vector<uint8_t>& pixels, int& width, int& height);

}  // namespace tarsk

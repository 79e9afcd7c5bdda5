// Deterministic PNG encoding for the generated editor resources: no time chunk, fixed filters and zlib level.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarsk::fontmaps {

constexpr int kPngGrey = 0;       // colour type 0: one 8-bit grey channel
constexpr int kPngRgbAlpha = 6;   // colour type 6: 8-bit red, green, blue and alpha

// Encodes width × height pixels (rows top to bottom, 1 or 4 bytes per pixel as the colour type says).
// Answers false (with a message) when libpng fails.
bool encodePng(const std::vector<uint8_t>& pixels, int width, int height, int colourType,
               std::vector<uint8_t>& out, std::string& error);

// Writes bytes to a file, replacing it. Answers false with a message on failure.
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

}  // namespace tarsk::fontmaps

// make-editor-image metal|logo OUT.png: the editor's images, generated.
//   metal: a brushed-metal panel texture, 512 × 128, grey, tileable from left to right;
//   logo:  the product mark, 32 × 32: an orange tile with a white "T" whose stem is the first of a train of
//          decaying echoes.
// Both are RGBA PNGs; a fixed random seed makes the same bytes on every run.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "drawn-glyphs.h"
#include "png-writer.h"

namespace tarsk::fontmaps {
namespace {

constexpr int kMetalWidth = 512;
constexpr int kMetalHeight = 128;
constexpr int kLogoSize = 32;
constexpr uint64_t kMetalSeed = 0x7a72736b6d65746cull;

// splitmix64: a small generator with a fixed sequence for a fixed seed.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    double uniform() {  // −1 … 1
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<double>(z >> 11) / static_cast<double>(1ull << 52) - 1.0;
    }

private:
    uint64_t state_;
};

// A box blur along a row that wraps around, so that the row joins its own start.
std::vector<double> blurWrapped(const std::vector<double>& row, int radius) {
    const int n = static_cast<int>(row.size());
    std::vector<double> out(row.size());
    double sum = 0;
    for (int i = -radius; i <= radius; ++i) {
        sum += row[static_cast<size_t>((i % n + n) % n)];
    }
    for (int x = 0; x < n; ++x) {
        out[static_cast<size_t>(x)] = sum / (2 * radius + 1);
        sum += row[static_cast<size_t>((x + radius + 1) % n)] - row[static_cast<size_t>((x - radius + n) % n)];
    }
    return out;
}

uint8_t toByte(double value) { return static_cast<uint8_t>(std::clamp(value, 0.0, 1.0) * 255.0 + 0.5); }

std::vector<uint8_t> metal() {
    Random random(kMetalSeed);
    std::vector<double> rowShade(kMetalHeight);
    for (double& shade : rowShade) {
        shade = random.uniform();
    }
    std::vector<uint8_t> pixels(static_cast<size_t>(kMetalWidth) * kMetalHeight * 4);
    for (int y = 0; y < kMetalHeight; ++y) {
        // Long streaks: noise smeared along the brushing direction; each row a little lighter or darker.
        std::vector<double> noise(kMetalWidth);
        for (double& value : noise) {
            value = random.uniform();
        }
        const std::vector<double> streaks = blurWrapped(blurWrapped(noise, 24), 24);
        const std::vector<double> grain = blurWrapped(noise, 2);
        const double shade = 0.6 * rowShade[static_cast<size_t>(y)] +
                             0.4 * rowShade[static_cast<size_t>((y + 1) % kMetalHeight)];
        for (int x = 0; x < kMetalWidth; ++x) {
            const double value = 0.80 + 0.9 * streaks[static_cast<size_t>(x)] + 0.025 * shade +
                                 0.03 * grain[static_cast<size_t>(x)];
            uint8_t* pixel = &pixels[(static_cast<size_t>(y) * kMetalWidth + x) * 4];
            pixel[0] = toByte(value * 0.99);
            pixel[1] = toByte(value);
            pixel[2] = toByte(value * 1.02);
            pixel[3] = 255;
        }
    }
    return pixels;
}

std::vector<uint8_t> logo() {
    // Shapes in a unit square (y up); the tile's coverage gives alpha, the mark's coverage whitens it.
    Shape tile;
    tile.rect(0.03, 0.03, 0.97, 0.97, 0.2);
    Shape mark;
    mark.rect(0.17, 0.71, 0.53, 0.81, 0.03);   // the bar of the T
    mark.rect(0.30, 0.18, 0.40, 0.81, 0.03);   // its stem: the direct sound
    mark.rect(0.50, 0.18, 0.58, 0.58, 0.03);   // and the echoes that follow, each lower
    mark.rect(0.66, 0.18, 0.73, 0.43, 0.025);
    mark.rect(0.80, 0.18, 0.86, 0.31, 0.02);
    constexpr int kSamples = 8;
    const double orange[3] = {0.96, 0.53, 0.13};
    std::vector<uint8_t> pixels(static_cast<size_t>(kLogoSize) * kLogoSize * 4);
    for (int row = 0; row < kLogoSize; ++row) {
        for (int column = 0; column < kLogoSize; ++column) {
            int inTile = 0;
            int inMark = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const double x = (column + (sx + 0.5) / kSamples) / kLogoSize;
                    const double y = 1.0 - (row + (sy + 0.5) / kSamples) / kLogoSize;
                    if (tile.contains(x, y)) {
                        ++inTile;
                        inMark += mark.contains(x, y) ? 1 : 0;
                    }
                }
            }
            uint8_t* pixel = &pixels[(static_cast<size_t>(row) * kLogoSize + column) * 4];
            const double white = inTile > 0 ? static_cast<double>(inMark) / inTile : 0;
            for (int c = 0; c < 3; ++c) {
                pixel[c] = inTile > 0 ? toByte(orange[c] + (1.0 - orange[c]) * white) : 0;
            }
            pixel[3] = toByte(static_cast<double>(inTile) / (kSamples * kSamples));
        }
    }
    return pixels;
}

int run(int argc, char** argv) {
    const std::string kind = argc == 3 ? argv[1] : "";
    if (kind != "metal" && kind != "logo") {
        std::fprintf(stderr, "usage: make-editor-image metal|logo OUT.png\n");
        return 2;
    }
    const bool isMetal = kind == "metal";
    std::vector<uint8_t> png;
    std::string error;
    if (!encodePng(isMetal ? metal() : logo(), isMetal ? kMetalWidth : kLogoSize,
                   isMetal ? kMetalHeight : kLogoSize, kPngRgbAlpha, png, error) ||
        !writeFile(argv[2], png, error)) {
        std::fprintf(stderr, "make-editor-image: %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace tarsk::fontmaps

int main(int argc, char** argv) { return tarsk::fontmaps::run(argc, argv); }

// PNG decoding through libpng. libpng reports errors by a long jump; the frame that sets the jump
// target holds only plain data, and everything it allocates lives in the caller's objects.
#include "png-decode.h"

#include <png.h>

#include <csetjmp>

namespace tarsk {

namespace {

constexpr size_t kPngSignatureBytes = 8;

void readFromStream(png_structp png, png_bytep data, png_size_t length) {
    Stream* stream = static_cast<Stream*>(png_get_io_ptr(png));
    if (stream == nullptr || stream->read(data, 1, length) != length) {
        png_error(png, "short read");
    }
}

void failDecoding(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

struct Decoding {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<png_bytep> rows;
    ~Decoding() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

// Runs the decoding; any libpng error comes back here through the long jump.
bool decodeInto(Decoding& d, Stream& stream, PngPixels kind, std::vector<uint8_t>& pixels, int& width, int& height) {
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        return false;
    }
    png_set_read_fn(d.png, &stream, &readFromStream);
    png_set_user_limits(d.png, kPngMaxSide, kPngMaxSide);
    png_read_info(d.png, d.info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colourType = 0;
    png_get_IHDR(d.png, d.info, &w, &h, &depth, &colourType, nullptr, nullptr, nullptr);
    if (w == 0 || h == 0 || w > kPngMaxSide || h > kPngMaxSide) {
        return false;
    }
    size_t channels = 1;
    if (kind == PngPixels::Grey8) {
        if (colourType != PNG_COLOR_TYPE_GRAY || depth != 8) {
            return false;
        }
    } else {
        channels = 4;
        if (depth == 16) {
            png_set_strip_16(d.png);
        }
        if (colourType == PNG_COLOR_TYPE_PALETTE) {
            png_set_palette_to_rgb(d.png);
        }
        if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) {
            png_set_expand_gray_1_2_4_to_8(d.png);
        }
        if (png_get_valid(d.png, d.info, PNG_INFO_tRNS) != 0) {
            png_set_tRNS_to_alpha(d.png);
        }
        if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
            png_set_gray_to_rgb(d.png);
        }
        png_set_filler(d.png, 0xFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    if (png_get_rowbytes(d.png, d.info) != w * channels) {
        return false;
    }
    pixels.resize(static_cast<size_t>(w) * h * channels);
    d.rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y) {
        d.rows[y] = pixels.data() + static_cast<size_t>(y) * w * channels;
    }
    png_read_image(d.png, d.rows.data());
    png_read_end(d.png, nullptr);
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

}  // namespace

bool decodePng(Stream& stream, PngPixels kind, std::vector<uint8_t>& pixels, int& width, int& height) {
    pixels.clear();
    width = 0;
    height = 0;
    png_byte signature[kPngSignatureBytes];
    if (stream.read(signature, 1, kPngSignatureBytes) != kPngSignatureBytes ||
        png_sig_cmp(signature, 0, kPngSignatureBytes) != 0) {
        return false;
    }
    Decoding d;
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, &failDecoding, &ignoreWarning);
    if (d.png == nullptr) {
        return false;
    }
    d.info = png_create_info_struct(d.png);
    if (d.info == nullptr) {
        return false;
    }
    png_set_sig_bytes(d.png, static_cast<int>(kPngSignatureBytes));
    if (!decodeInto(d, stream, kind, pixels, width, height)) {
        pixels.clear();
        width = 0;
        height = 0;
        return false;
    }
    return true;
}

}  // namespace tarsk

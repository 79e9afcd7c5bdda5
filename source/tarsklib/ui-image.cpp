// Editor images: PNG decoding to RGBA and the texture upload.
#include "ui-image.h"

#include <vector>

#include "png-decode.h"

namespace tarsk {

UiImage::~UiImage() { unload(); }

bool UiImage::load(Stream& stream, TextureFactory* textures) {
    if (loaded()) {
        return false;
    }
    std::vector<uint8_t> pixels;
    int width = 0, height = 0;
    if (!stream.seek(0, kSeekFromStart) || !decodePng(stream, PngPixels::Rgba8, pixels, width, height)) {
        return false;
    }
    if (textures != nullptr) {
        textureId = textures->createRgbaTexture(pixels.data(), width, height);
        if (textureId == 0) {
            return false;
        }
        textureOwner = textures;
    }
    imageWidth = width;
    imageHeight = height;
    return true;
}

void UiImage::unload() {
    if (textureId != 0 && textureOwner != nullptr) {
        textureOwner->deleteTexture(textureId);
    }
    textureId = 0;
    textureOwner = nullptr;
    imageWidth = 0;
    imageHeight = 0;
}

}  // namespace tarsk

// Editor images (the panel texture, the logo): any PNG loaded into an RGBA texture with mipmaps.
#pragma once

#include "stream.h"
#include "ui-renderer.h"

namespace tarsk {

class UiImage {
public:
    UiImage() = default;
    ~UiImage();
    UiImage(const UiImage&) = delete;
    UiImage& operator=(const UiImage&) = delete;

    // Decodes the PNG at the start of the stream and, with a texture factory, uploads it. Answers false
    // (and stays empty) for an image already loaded, a damaged file or a failed upload.
    bool load(Stream& stream, TextureFactory* textures);
    // Drops the texture (the factory's context must be current).
    void unload();

    bool loaded() const { return imageWidth > 0; }
    TextureId texture() const { return textureId; }
    int width() const { return imageWidth; }
    int height() const { return imageHeight; }

private:
    TextureId textureId = 0;
    TextureFactory* textureOwner = nullptr;
    int imageWidth = 0;
    int imageHeight = 0;
};

}  // namespace tarsk

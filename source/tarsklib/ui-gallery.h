// The widget gallery: one screen with every widget in several states and every font face at several
// sizes, for whoever works on the look of the editor (and for measuring how long a frame takes to build).
#pragma once

#include <cstddef>

#include "ui-context.h"

namespace tarsk {

class UiFontmap;

constexpr size_t kGalleryTextCapacity = 200;
constexpr int kGalleryFaders = 3;
constexpr int kGalleryValueBoxes = 5;
constexpr int kGalleryHandles = 6;

// What the gallery's widgets change from frame to frame (the pages' own state, in a real editor).
struct GalleryState {
    float faders[kGalleryFaders] = {0.25f, 0.5f, 0.75f};
    float values[kGalleryValueBoxes] = {0.05f, 1500.0f, 2.0f, 0.5f, 3.0f};
    float scroll = 50.0f;
    UiPoint handles[kGalleryHandles] = {{0.3f, 0.2f}, {-0.4f, 0.5f}, {0.0f, 0.0f},
                                        {0.5f, -0.5f}, {-0.5f, 0.5f}, {0.2f, 0.2f}};
    char text[kGalleryTextCapacity + 1] = "Edit me: the caret follows the arrow keys, Home and End.";
    int caret = 0;
    int clicks = 0;
    int steps = 0;
};

// Draws the gallery into a width x height view between the caller's beginFrame and endFrame. fonts may
// hold null entries (faces that did not load); image is a texture for the image box (0 for none).
// Where the gallery's text area lies in a width x height view (absolute pixels), for scripted input.
UiRect galleryTextAreaRect(float width, float height);

void drawWidgetGallery(UiContext& ui, GalleryState& state, const UiFontmap* const* fonts, int fontCount,
                       TextureId image, float width, float height);

}  // namespace tarsk

// The layered draw list: primitives filed into vertex buckets by layer, render state and primitive
// kind, drawn at the end of the frame sorted by layer with one draw call per bucket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui-renderer.h"
#include "ui-types.h"

namespace tarsk {

// A vertex of the draw list (16 bytes): position in pixels, colour as R, G, B, A bytes, texture
// coordinates as coordinate * 32767.
struct DrawVertex {
    float x = 0.0f;
    float y = 0.0f;
    uint32_t colour = 0;
    int16_t u = 0;
    int16_t v = 0;
};
static_assert(sizeof(DrawVertex) == 16, "DrawVertex is 16 bytes");

// Texture coordinate to its 16-bit form: coordinate * 32767 + 0.5, truncated (clamped to the i16 range).
int16_t packTexCoord(float coordinate);

// A growable open hash table of small keys, hashed with hashBytes: chained entries, slot index
// h modulo the slot count, each entry keeping its h; grows to twice the entry count when
// entries * 100 exceed slots * 250. Values are indices into the owner's arrays.
class InternTable {
public:
    InternTable();
    // The value stored for a key of the given hash, or -1; equal(value) tells whether it matches.
    template <typename Equal>
    int32_t find(uint32_t h, Equal&& equal) const {
        for (int32_t e = heads[h % heads.size()]; e >= 0; e = entries[static_cast<size_t>(e)].next) {
            const Entry& entry = entries[static_cast<size_t>(e)];
            if (entry.hash == h && equal(entry.value)) {
                return entry.value;
            }
        }
        return -1;
    }
    void insert(uint32_t h, int32_t value);
    size_t size() const { return entries.size(); }
    size_t slotCount() const { return heads.size(); }
    void clear();

private:
    struct Entry {
        uint32_t hash;
        int32_t value;
        int32_t next;
    };
    void rehash(size_t slots);
    std::vector<int32_t> heads;
    std::vector<Entry> entries;
};

// Counters of the current frame (since the last flush), for tests and measurements.
struct DrawListStats {
    uint32_t appends = 0;         // vertex runs appended to buckets
    uint32_t vertices = 0;        // vertices appended
    uint32_t largestAppend = 0;   // vertices in the largest single run
    uint32_t smallestAppend = 0;  // vertices in the smallest single run (0 before the first)
    uint32_t drawCalls = 0;       // batches drawn by the last flush
};

class DrawList {
public:
    // A bucket: its key and its vertices (storage kept across frames).
    struct Bucket {
        int32_t layer = 0;
        int32_t state = 0;  // index into the interned states
        uint32_t format = kDrawListFormat;
        uint32_t stride = sizeof(DrawVertex);
        uint32_t primitive = kPrimitiveTriangles;
        std::vector<uint8_t> bytes;
    };

    DrawList();
    DrawList(const DrawList&) = delete;
    DrawList& operator=(const DrawList&) = delete;

    // Layers order the picture: a higher layer is drawn after every lower one.
    void setLayer(int32_t n) { currentLayer = n; }
    int32_t layer() const { return currentLayer; }
    // The layer above the current one (the current layer is not changed).
    int32_t nextLayer() const { return currentLayer + 1; }
    // One of the blend modes 0..5; other values are ignored.
    void setBlend(uint32_t mode);
    uint32_t blend() const { return currentBlend; }
    void setClip(const UiRect& rect);
    void resetClip();
    bool clipEnabled() const { return clipOn; }
    const UiRect& clip() const { return clipRect; }

    // Primitives, in the current layer, blend mode and clip.
    void fillRect(const UiRect& rect, const UiColour& colour);
    // Corners truncated to whole pixels; the bottom edge in the first colour, the top in the second.
    void gradientRect(const UiRect& rect, const UiColour& bottom, const UiColour& top);
    void fillTriangle(const UiPoint& a, const UiPoint& b, const UiPoint& c, const UiColour& colour);
    void line(const UiPoint& a, const UiPoint& b, const UiColour& colour);
    void line(const UiPoint& a, const UiPoint& b, const UiColour& colourA, const UiColour& colourB);
    // Samples the texture sub-rectangle {cu, cv, hu, hv} (v = 0 at the image's first row, which is
    // drawn at the top); tinted from the bottom colour to the top colour.
    void texturedRect(const UiRect& rect, const UiColour& bottom, const UiColour& top, TextureId texture,
                      const UiRect& textureRect);
    // count vertices as quads: positions are x, y pairs and colours RGBA floats, one per vertex.
    // They are converted and appended in runs of kColoredQuadChunk vertices.
    static constexpr int kColoredQuadChunk = 256;
    void coloredQuads(int count, const float* positions, const float* colours);
    // Appends ready vertices of one primitive kind with a texture (0 for none).
    void appendVertices(TextureId texture, uint32_t primitive, const DrawVertex* vertices, size_t count);

    // Scratch vertices for text runs, shared by all strings of this list: grown to
    // max(needed, 1.5 * capacity + 1) and never shrunk.
    DrawVertex* textScratch(size_t needed);

    // Draws every non-empty bucket through the renderer (none: only empties them), sorted by layer,
    // then primitive, state and format; the buckets keep their storage.
    void flush(Renderer* renderer);

    // Buckets and states as they stand (for tests and measurements).
    const std::vector<Bucket>& buckets() const { return bucketList; }
    const std::vector<RenderState>& states() const { return stateList; }
    const DrawListStats& stats() const { return frameStats; }

private:
    int32_t internState(TextureId texture);
    Bucket& bucketFor(TextureId texture, uint32_t primitive);
    DrawVertex* reserve(Bucket& bucket, size_t count);
    void noteAppend(size_t count);

    std::vector<RenderState> stateList;
    InternTable stateMap;
    std::vector<Bucket> bucketList;
    InternTable bucketMap;
    std::vector<int32_t> drawOrder;
    std::vector<DrawVertex> scratch;
    uint32_t currentBlend = kBlendAlpha;
    int32_t currentLayer = 0;
    bool clipOn = false;
    UiRect clipRect;
    DrawListStats frameStats;
};

}  // namespace tarsk

// The layered draw list: interning of render states and buckets, the primitives, and the flush.
#include "ui-draw-list.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarsk {

namespace {

constexpr size_t kInitialSlots = 16;
// Tables grow when entries * 100 exceed slots * 250.
constexpr size_t kGrowEntriesPercent = 100;
constexpr size_t kGrowSlotsPercent = 250;
// A picture whose clip rectangles keep moving makes new states and buckets every frame; past this
// many states the flush forgets them all and the next frame interns afresh.
constexpr size_t kMaxStates = 1024;

// The bytes of a bucket key.
struct BucketKey {
    int32_t layer;
    int32_t state;
    uint32_t format;
    uint32_t stride;
    uint32_t primitive;
};
static_assert(sizeof(BucketKey) == 20, "BucketKey is hashed as plain bytes");

uint8_t colourByte(float c) {
    if (!(c > 0.0f)) {  // also NaN
        return 0;
    }
    if (c >= 1.0f) {
        return 255;
    }
    return static_cast<uint8_t>(c * 255.0f + 0.5f);
}

}  // namespace

uint32_t packColour(const UiColour& colour) {
    return static_cast<uint32_t>(colourByte(colour.r)) | static_cast<uint32_t>(colourByte(colour.g)) << 8 |
           static_cast<uint32_t>(colourByte(colour.b)) << 16 | static_cast<uint32_t>(colourByte(colour.a)) << 24;
}

int16_t packTexCoord(float coordinate) {
    float scaled = coordinate * kTexCoordScale + 0.5f;
    if (!(scaled > -32768.0f)) {
        return -32768;
    }
    if (scaled >= 32767.0f) {
        return 32767;
    }
    return static_cast<int16_t>(scaled);
}

uint32_t hashBytes(const void* data, size_t size, uint32_t h) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) {
        h = h * 7u + p[i];
    }
    return h;
}

uint32_t hashString(const char* text) {
    uint32_t h = 1;
    for (const char* p = text; *p != 0; ++p) {
        h = h * 7u + static_cast<uint8_t>(*p);
    }
    return h;
}

// ---------------------------------------------------------------------------------------------
// InternTable

InternTable::InternTable() : heads(kInitialSlots, -1) {}

void InternTable::insert(uint32_t h, int32_t value) {
    if ((entries.size() + 1) * kGrowEntriesPercent > heads.size() * kGrowSlotsPercent) {
        rehash((entries.size() + 1) * 2);
    }
    size_t slot = h % heads.size();
    entries.push_back(Entry{h, value, heads[slot]});
    heads[slot] = static_cast<int32_t>(entries.size() - 1);
}

void InternTable::rehash(size_t slots) {
    heads.assign(std::max(slots, kInitialSlots), -1);
    for (size_t e = 0; e < entries.size(); ++e) {
        size_t slot = entries[e].hash % heads.size();
        entries[e].next = heads[slot];
        heads[slot] = static_cast<int32_t>(e);
    }
}

void InternTable::clear() {
    entries.clear();
    heads.assign(kInitialSlots, -1);
}

// ---------------------------------------------------------------------------------------------
// State and bucket interning

DrawList::DrawList() = default;

void DrawList::setBlend(uint32_t mode) {
    if (mode < kBlendModeCount) {
        currentBlend = mode;
    }
}

void DrawList::setClip(const UiRect& rect) {
    clipOn = true;
    clipRect = rect;
}

void DrawList::resetClip() {
    clipOn = false;
    clipRect = UiRect{};
}

int32_t DrawList::internState(TextureId texture) {
    RenderState key;
    key.texture = texture;
    key.clipEnabled = clipOn ? 1u : 0u;
    key.clip = clipOn ? clipRect : UiRect{};
    key.blend = currentBlend;
    uint32_t h = hashBytes(&key, sizeof(key));
    int32_t found = stateMap.find(h, [&](int32_t index) {
        return std::memcmp(&stateList[static_cast<size_t>(index)], &key, sizeof(key)) == 0;
    });
    if (found >= 0) {
        return found;
    }
    stateList.push_back(key);
    int32_t index = static_cast<int32_t>(stateList.size() - 1);
    stateMap.insert(h, index);
    return index;
}

DrawList::Bucket& DrawList::bucketFor(TextureId texture, uint32_t primitive) {
    BucketKey key{currentLayer, internState(texture), kDrawListFormat, sizeof(DrawVertex), primitive};
    uint32_t h = hashBytes(&key, sizeof(key));
    int32_t found = bucketMap.find(h, [&](int32_t index) {
        const Bucket& b = bucketList[static_cast<size_t>(index)];
        return b.layer == key.layer && b.state == key.state && b.format == key.format && b.stride == key.stride &&
               b.primitive == key.primitive;
    });
    if (found >= 0) {
        return bucketList[static_cast<size_t>(found)];
    }
    Bucket bucket;
    bucket.layer = key.layer;
    bucket.state = key.state;
    bucket.format = key.format;
    bucket.stride = key.stride;
    bucket.primitive = key.primitive;
    bucketList.push_back(std::move(bucket));
    bucketMap.insert(h, static_cast<int32_t>(bucketList.size() - 1));
    return bucketList.back();
}

DrawVertex* DrawList::reserve(Bucket& bucket, size_t count) {
    size_t old = bucket.bytes.size();
    bucket.bytes.resize(old + count * sizeof(DrawVertex));
    noteAppend(count);
    return reinterpret_cast<DrawVertex*>(bucket.bytes.data() + old);
}

void DrawList::noteAppend(size_t count) {
    uint32_t n = static_cast<uint32_t>(count);
    frameStats.appends += 1;
    frameStats.vertices += n;
    frameStats.largestAppend = std::max(frameStats.largestAppend, n);
    frameStats.smallestAppend = frameStats.appends == 1 ? n : std::min(frameStats.smallestAppend, n);
}

// ---------------------------------------------------------------------------------------------
// Primitives

namespace {

DrawVertex vertex(float x, float y, uint32_t colour, int16_t u = 0, int16_t v = 0) {
    DrawVertex out;
    out.x = x;
    out.y = y;
    out.colour = colour;
    out.u = u;
    out.v = v;
    return out;
}

}  // namespace

void DrawList::fillRect(const UiRect& rect, const UiColour& colour) {
    uint32_t c = packColour(colour);
    float l = rect.cx - rect.hw, r = rect.cx + rect.hw, b = rect.cy - rect.hh, t = rect.cy + rect.hh;
    DrawVertex* v = reserve(bucketFor(0, kPrimitiveTriangles), 6);
    v[0] = vertex(l, t, c);
    v[1] = vertex(r, t, c);
    v[2] = vertex(r, b, c);
    v[3] = vertex(r, b, c);
    v[4] = vertex(l, t, c);
    v[5] = vertex(l, b, c);
}

void DrawList::gradientRect(const UiRect& rect, const UiColour& bottom, const UiColour& top) {
    uint32_t cb = packColour(bottom), ct = packColour(top);
    float l = std::trunc(rect.cx - rect.hw), r = std::trunc(rect.cx + rect.hw);
    float b = std::trunc(rect.cy - rect.hh), t = std::trunc(rect.cy + rect.hh);
    DrawVertex* v = reserve(bucketFor(0, kPrimitiveTriangles), 6);
    v[0] = vertex(l, t, ct);
    v[1] = vertex(r, t, ct);
    v[2] = vertex(r, b, cb);
    v[3] = vertex(r, b, cb);
    v[4] = vertex(l, t, ct);
    v[5] = vertex(l, b, cb);
}

void DrawList::fillTriangle(const UiPoint& a, const UiPoint& b, const UiPoint& c, const UiColour& colour) {
    uint32_t col = packColour(colour);
    DrawVertex* v = reserve(bucketFor(0, kPrimitiveTriangles), 3);
    v[0] = vertex(a.x, a.y, col);
    v[1] = vertex(b.x, b.y, col);
    v[2] = vertex(c.x, c.y, col);
}

void DrawList::line(const UiPoint& a, const UiPoint& b, const UiColour& colour) { line(a, b, colour, colour); }

void DrawList::line(const UiPoint& a, const UiPoint& b, const UiColour& colourA, const UiColour& colourB) {
    DrawVertex* v = reserve(bucketFor(0, kPrimitiveLines), 2);
    v[0] = vertex(a.x, a.y, packColour(colourA));
    v[1] = vertex(b.x, b.y, packColour(colourB));
}

void DrawList::texturedRect(const UiRect& rect, const UiColour& bottom, const UiColour& top, TextureId texture,
                            const UiRect& textureRect) {
    uint32_t cb = packColour(bottom), ct = packColour(top);
    float l = rect.cx - rect.hw, r = rect.cx + rect.hw, b = rect.cy - rect.hh, t = rect.cy + rect.hh;
    int16_t u0 = packTexCoord(textureRect.cx - textureRect.hw), u1 = packTexCoord(textureRect.cx + textureRect.hw);
    // The image's first row (v = cv - hv) is drawn at the top edge.
    int16_t vTop = packTexCoord(textureRect.cy - textureRect.hh), vBottom = packTexCoord(textureRect.cy + textureRect.hh);
    DrawVertex* v = reserve(bucketFor(texture, kPrimitiveTriangles), 6);
    v[0] = vertex(l, t, ct, u0, vTop);
    v[1] = vertex(r, t, ct, u1, vTop);
    v[2] = vertex(r, b, cb, u1, vBottom);
    v[3] = vertex(r, b, cb, u1, vBottom);
    v[4] = vertex(l, t, ct, u0, vTop);
    v[5] = vertex(l, b, cb, u0, vBottom);
}

void DrawList::coloredQuads(int count, const float* positions, const float* colours) {
    if (count <= 0 || positions == nullptr || colours == nullptr) {
        return;
    }
    for (int start = 0; start < count; start += kColoredQuadChunk) {
        int n = std::min(kColoredQuadChunk, count - start);
        DrawVertex* v = reserve(bucketFor(0, kPrimitiveQuads), static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const float* p = positions + 2 * (start + i);
            const float* c = colours + 4 * (start + i);
            v[i] = vertex(p[0], p[1], packColour(UiColour{c[0], c[1], c[2], c[3]}));
        }
    }
}

void DrawList::appendVertices(TextureId texture, uint32_t primitive, const DrawVertex* vertices, size_t count) {
    if (count == 0 || vertices == nullptr) {
        return;
    }
    DrawVertex* v = reserve(bucketFor(texture, primitive), count);
    std::memcpy(static_cast<void*>(v), vertices, count * sizeof(DrawVertex));
}

DrawVertex* DrawList::textScratch(size_t needed) {
    if (needed > scratch.size()) {
        size_t grown = scratch.size() + scratch.size() / 2 + 1;
        scratch.resize(std::max(needed, grown));
    }
    return scratch.data();
}

// ---------------------------------------------------------------------------------------------
// Flush

void DrawList::flush(Renderer* renderer) {
    drawOrder.resize(0);
    for (size_t i = 0; i < bucketList.size(); ++i) {
        if (!bucketList[i].bytes.empty()) {
            drawOrder.push_back(static_cast<int32_t>(i));
        }
    }
    std::sort(drawOrder.begin(), drawOrder.end(), [&](int32_t ia, int32_t ib) {
        const Bucket& a = bucketList[static_cast<size_t>(ia)];
        const Bucket& b = bucketList[static_cast<size_t>(ib)];
        if (a.layer != b.layer) return a.layer < b.layer;
        if (a.primitive != b.primitive) return a.primitive < b.primitive;
        if (a.state != b.state) return a.state < b.state;
        if (a.format != b.format) return a.format < b.format;
        return ia < ib;
    });

    uint32_t drawn = 0;
    if (renderer != nullptr && !drawOrder.empty()) {
        renderer->beginBatches();
        for (int32_t index : drawOrder) {
            const Bucket& bucket = bucketList[static_cast<size_t>(index)];
            DrawBatch batch;
            batch.state = &stateList[static_cast<size_t>(bucket.state)];
            batch.primitive = bucket.primitive;
            batch.format = bucket.format;
            batch.stride = bucket.stride;
            batch.vertices = bucket.bytes.data();
            batch.bytes = bucket.bytes.size();
            if (renderer->drawBatch(batch)) {
                ++drawn;
            }
        }
        renderer->endBatches();
    }
    for (int32_t index : drawOrder) {
        bucketList[static_cast<size_t>(index)].bytes.resize(0);
    }
    frameStats = DrawListStats{};
    frameStats.drawCalls = drawn;

    if (stateList.size() > kMaxStates) {
        bucketList.clear();
        bucketMap.clear();
        stateList.clear();
        stateMap.clear();
    }
}

}  // namespace tarsk

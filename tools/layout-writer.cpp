// The old-layout chunk writer: undoes the migration steps from the current layout down to the requested
// one, refusing what the older layout cannot hold, lays the words out in that layout and checks that
// reading the result gives back the record.
#include "layout-writer.h"

#include <cstdio>
#include <cstring>

#include "engine/program-fields.h"

namespace tarsk {

using namespace std::string_literals;

namespace {

// Flag bits of layouts before 0xC000 and 0xB000 (what the migration steps turn into current flags).
constexpr uint32_t kOldTapFlag[3] = {0x0100, 0x0200, 0x0400};
constexpr uint32_t kOldMultitapBits = 0x000F;      // before 0xC000: a non-zero count meant inner feedback
constexpr uint32_t kOldMultitapCount = 0x0001;
constexpr uint32_t kMultitapSourceBits = 0x002F;   // before 0xB000: what made a program multitap
constexpr uint32_t kNeverLoadedBits = 0x070F;      // cleared by every load through 0xB000
constexpr uint32_t kClearedAtB000 = 0x2010;        // bits 4 and 13, cleared by the 0xA000 step

// The image words older images keep the inner angles in, and the defaults 0x1000 images load with.
constexpr int kImagePhiCopy = 33;
constexpr int kImageThetaCopy = 34;
constexpr float kImage1000Defaults[] = {1.0f, 1.0f, 1.0f, 1.0f, 100.0f, 1.0f, 1.0f};

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

void storeLE32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

// Lays the record's words out by the groups of a layout; dropped words are written as 0.
void writeGroups(uint8_t* out, const ProgramRecord& record, std::span<const ChunkGroup> groups) {
    for (const ChunkGroup& group : groups) {
        for (int i = 0; i < group.wordCount; ++i, out += 4) {
            storeLE32(out, group.firstWord >= 0 ? record.u(group.firstWord + i) : 0);
        }
    }
}

// Collects the first reason why the record does not fit the layout.
class Fit {
public:
    Fit(uint32_t version, std::string& error) : version(version), error(error) {}

    bool ok() const { return fits; }

    void require(bool condition, const std::string& reason) {
        if (fits && !condition) {
            fits = false;
            error = "layout "s + hex(version) + " cannot hold this record: " + reason;
        }
    }
    // Words [first, first + count) must hold exactly the value that loading the layout gives them.
    void requireValue(const ProgramRecord& record, int first, int count, uint32_t bits, const char* value) {
        for (int i = 0; i < count; ++i) {
            if (record.u(first + i) != bits) {
                const ProgramField* field = programFieldAtWord(first + i);
                require(false, std::string(field != nullptr ? field->name : "?") + " (word " +
                                   std::to_string(first + i) + ") must be " + value);
                return;
            }
        }
    }

private:
    uint32_t version;
    std::string& error;
    bool fits = true;
};

}  // namespace

size_t writeChunkInLayout(const ProgramRecord& record, uint32_t version, uint8_t* buffer, std::string& error) {
    const size_t size = chunkLayoutBytes(version);
    if (size == 0) {
        error = "unknown layout "s + hex(version);
        return 0;
    }
    Fit fit(version, error);
    fit.require(record.u(word::version) == kCurrentLayout, "its version word must be 0xD000, as every load sets it");
    fit.require(record.u(word::reserved) == 0, "the reserved word is never stored and must be 0");

    // r becomes the record as the old layout holds it; the steps below undo the migrations in reverse order.
    ProgramRecord r = record;
    uint32_t flags = r.u(word::flags);
    const uint32_t zero = 0;
    const uint32_t one = bitsOf(1.0f);

    if (version <= layout::vC000) {
        fit.requireValue(r, word::lfo1 + lfo::inverterDepth, 1, zero, "0");
        fit.requireValue(r, word::lfo2 + lfo::inverterDepth, 1, zero, "0");
        fit.requireValue(r, word::envInverterDepth, 1, zero, "0");
    }
    if (version <= layout::vB000) {
        // Tap output levels came from three flag bits; beta and theta had the other sign.
        uint32_t tapBits = 0;
        for (int i = 0; i < 3; ++i) {
            uint32_t level = r.u(word::tapLevel + i);
            fit.require(level == zero || level == one, "tapLevel values must be 0 or 1");
            if (level == one) {
                tapBits |= kOldTapFlag[i];
            }
        }
        fit.require((flags & kNeverLoadedBits) == 0, "flags "s + hex(flags & kNeverLoadedBits) + " are never loaded");
        fit.require(((flags & flag::tapOutputs) != 0) == (tapBits != 0),
                    "the Tap outputs flag must be set exactly when a tap level is 1");
        flags = (flags & ~flag::tapOutputs) | tapBits;
        r.setF(word::beta, -r.f(word::beta));
        r.setF(word::theta, -r.f(word::theta));
    }
    if (version <= layout::vA000) {
        // Multitap was derived from the old multitap count and cross mixing.
        fit.require((flags & kClearedAtB000) == 0, "flags "s + hex(flags & kClearedAtB000) + " did not exist");
        const bool multitap = (flags & flag::multitap) != 0;
        flags &= ~flag::multitap;
        if (multitap && (flags & kMultitapSourceBits) == 0) {
            // A multitap count also turns into inner feedback, so it can only stand in when that is set.
            fit.require((flags & flag::innerFeedback) != 0,
                        "Multitap needs Cross mixing or Inner feedback in this layout");
            flags |= kOldMultitapCount;
        }
        fit.require(multitap || (flags & kMultitapSourceBits) == 0, "Cross mixing implies Multitap in this layout");
    }
    if (version <= layout::v9000) {
        fit.require((flags & flag::swapRowsColumns) != 0, "the swap flag 0x0800 is always set by loading");
        flags &= ~flag::swapRowsColumns;
        for (int line = 0; line < 4; ++line) {
            uint32_t tap1 = r.u(word::tap1 + line);
            r.setU(word::tap1 + line, r.u(word::tap3 + line));
            r.setU(word::tap3 + line, tap1);
        }
    }
    if (version <= layout::v8000) {
        fit.requireValue(r, word::support, 1, zero, "0");
        fit.requireValue(r, word::envInverterDepth, 1, zero, "0");
    }
    if (version <= layout::v7000) {
        fit.requireValue(r, word::lfo1 + lfo::decayDepth, 3, zero, "0");
        fit.requireValue(r, word::lfo2 + lfo::period, 1, one, "1");
        fit.requireValue(r, word::lfo2 + lfo::delayDepth, 6, zero, "0");
    }
    if (version <= layout::v6000) {
        fit.requireValue(r, word::lfo1 + lfo::shape, 1, zero, "0");
    }
    if (version <= layout::v5000) {
        fit.requireValue(r, word::inputGain, 2, one, "1");
    }
    if (version <= layout::v2000) {
        fit.requireValue(r, word::description, kDescriptionBytes / 4, zero, "empty");
        fit.require((flags & kOldMultitapBits) == 0 || (flags & flag::crossMixing) != 0,
                    "a multitap count implies Cross mixing in this layout");
    }
    if (version == layout::v1000) {
        for (int i = 0; i < 7; ++i) {
            fit.requireValue(r, word::decayScale + i, 1, bitsOf(kImage1000Defaults[i]), "its default");
        }
    }
    if (!fit.ok()) {
        return 0;
    }
    r.setU(word::version, version);
    r.setU(word::flags, flags);

    std::memset(buffer, 0, size);
    if (!isImageLayout(version)) {
        writeGroups(buffer, r, chunkLayoutGroups(version));
    } else {
        uint8_t image[kImageScratchBytes] = {};
        writeGroups(image, r, chunkLayoutGroups(layout::v4000));
        if (version == layout::v4000) {
            std::memcpy(buffer, image, size);
        } else if (version == layout::v3000) {
            std::memcpy(buffer, image, kImageDescriptionOffset);
            std::memcpy(buffer + kOldImageDescriptionOffset, image + kImageDescriptionOffset, kDescriptionBytes);
        } else {
            // The oldest images end before the description and keep the inner angles lower down.
            storeLE32(image + 4 * kImagePhiCopy, r.u(word::phi));
            storeLE32(image + 4 * kImageThetaCopy, r.u(word::theta));
            std::memcpy(buffer, image, kImageDescriptionOffset);
        }
    }

    // Reading the chunk back must give the record exactly; anything else is a fault of this writer.
    ProgramRecord check;
    if (!readChunk(check, buffer, size) || !(check == record)) {
        int first = 0;
        while (first < kRecordWords && check.u(first) == record.u(first)) {
            ++first;
        }
        const ProgramField* field = programFieldAtWord(first);
        fit.require(false, std::string("reading it back changes ") + (field != nullptr ? field->name : "nothing"));
        return 0;
    }
    return size;
}

}  // namespace tarsk

// Program chunks: the current layout's writer, the readers of all thirteen layouts and the migration
// steps that bring an old record up to the current layout.
#include "presets/program-chunk.h"

#include <cstring>

#include "tarsklib/spin-lock.h"

namespace tarsk {

namespace {

// ---------------------------------------------------------------------------------------------
// Layout tables

constexpr int16_t kDrop = -1;

constexpr ChunkGroup words(int first, int last) {
    return ChunkGroup{static_cast<int16_t>(first), static_cast<int16_t>(last - first + 1)};
}
constexpr ChunkGroup dropBytes(int bytes) { return ChunkGroup{kDrop, static_cast<int16_t>(bytes / 4)}; }

constexpr int kDescriptionLast = word::description + kDescriptionBytes / 4 - 1;  // 220

constexpr ChunkGroup kLayoutD000[] = {
    words(0, 2), words(4, kDescriptionLast),
};
constexpr ChunkGroup kLayoutC000[] = {
    words(0, 2),   words(4, 10),  words(11, 12), words(13, 29),  words(30, 54),
    words(55, 61), words(63, 69), words(71, 77), dropBytes(8),   words(78, 79),
    words(80, 100), words(101, kDescriptionLast),
};
// 0x9000, 0xA000 and 0xB000 share this layout.
constexpr ChunkGroup kLayoutB000[] = {
    words(0, 2),   words(4, 10),  words(11, 12), words(13, 29), words(30, 54),
    dropBytes(12), words(55, 61), words(63, 69), words(71, 77), dropBytes(8),
    words(78, 79), words(80, 97), words(101, kDescriptionLast),
};
constexpr ChunkGroup kLayout8000[] = {
    words(0, 2),   words(4, 10),  words(11, 12), words(13, 29), words(30, 54), dropBytes(12),
    words(55, 61), words(63, 69), words(71, 79), words(80, 97), words(101, kDescriptionLast),
};
constexpr ChunkGroup kLayout7000[] = {
    words(0, 2),   words(4, 10),  words(11, 12), words(13, 29), words(30, 54), dropBytes(12),
    words(55, 58), words(71, 79), words(80, 97), words(101, kDescriptionLast),
};
constexpr ChunkGroup kLayout6000[] = {
    words(0, 2),   words(4, 10),  words(11, 12), words(13, 29), words(30, 54), dropBytes(12),
    words(55, 57), words(71, 79), words(80, 97), words(101, kDescriptionLast),
};
constexpr ChunkGroup kLayout5000[] = {
    words(0, 2),   words(4, 10),  words(11, 12), words(13, 29), words(30, 54), dropBytes(12),
    words(55, 57), words(71, 79), words(80, 95), words(101, kDescriptionLast),
};
// The memory image of layout 0x4000; also the compaction of every older image.
constexpr ChunkGroup kImage4000[] = {
    words(0, 2),   dropBytes(4),  words(4, 10),  words(11, 12), dropBytes(12),
    words(13, 29), dropBytes(44), words(30, 54), dropBytes(12), words(55, 57),
    words(71, 79), dropBytes(64), words(80, 95), dropBytes(48), words(101, kDescriptionLast),
    dropBytes(32),
};

constexpr size_t layoutBytes(std::span<const ChunkGroup> groups) {
    size_t total = 0;
    for (const ChunkGroup& group : groups) {
        total += static_cast<size_t>(group.wordCount) * 4;
    }
    return total;
}

static_assert(layoutBytes(kLayoutD000) == kChunkBytes);
static_assert(layoutBytes(kLayoutC000) == 880);
static_assert(layoutBytes(kLayoutB000) == 880);
static_assert(layoutBytes(kLayout8000) == 872);
static_assert(layoutBytes(kLayout7000) == 832);
static_assert(layoutBytes(kLayout6000) == 828);
static_assert(layoutBytes(kLayout5000) == 820);
static_assert(layoutBytes(kImage4000) == 1024);

struct LayoutInfo {
    uint32_t version;
    size_t bytes;
    std::span<const ChunkGroup> groups;  // empty for images older than 0x4000
};

constexpr LayoutInfo kLayouts[] = {
    {layout::vD000, 880, kLayoutD000},  {layout::vC000, 880, kLayoutC000},
    {layout::vB000, 880, kLayoutB000},  {layout::vA000, 880, kLayoutB000},
    {layout::v9000, 880, kLayoutB000},  {layout::v8000, 872, kLayout8000},
    {layout::v7000, 832, kLayout7000},  {layout::v6000, 828, kLayout6000},
    {layout::v5000, 820, kLayout5000},  {layout::v4000, 1024, kImage4000},
    {layout::v3000, 1056, {}},          {layout::v2000, 544, {}},
    {layout::v1000, 544, {}},
};

const LayoutInfo* findLayout(uint32_t version) {
    for (const LayoutInfo& info : kLayouts) {
        if (info.version == version) {
            return &info;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Little-endian words

uint32_t loadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void storeLE32(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t floatBits(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

// Reads the groups of a layout from data (which holds at least the layout's bytes) into the record.
void readGroups(ProgramRecord& record, const uint8_t* data, std::span<const ChunkGroup> groups) {
    for (const ChunkGroup& group : groups) {
        if (group.firstWord >= 0) {
            for (int i = 0; i < group.wordCount; ++i) {
                record.setU(group.firstWord + i, loadLE32(data + 4 * i));
            }
        }
        data += 4 * static_cast<size_t>(group.wordCount);
    }
}

// ---------------------------------------------------------------------------------------------
// Image steps

// Image word indices that the steps touch.
constexpr int kImageFlags = 2;
constexpr int kImagePhiCopy = 33;      // older images kept the inner angles here...
constexpr int kImageThetaCopy = 34;
constexpr int kImagePhi = 67;          // ...and 0x3000 moved them where the compaction reads them
constexpr int kImageTheta = 68;
constexpr int kImageDecayScale = 60;   // words 60 to 66: decay scales, mid center, mid Q, mid stretch
constexpr float kImage1000Defaults[] = {1.0f, 1.0f, 1.0f, 1.0f, 100.0f, 1.0f, 1.0f};
constexpr uint32_t kOldMultitapBits = 0x000F;

// The scratch area for images is shared by every reader of the process, hence the lock.
SpinLock gReaderLock;
alignas(16) uint8_t gImageScratch[kImageScratchBytes];

uint32_t imageWord(const uint8_t* image, int index) { return loadLE32(image + 4 * index); }
void setImageWord(uint8_t* image, int index, uint32_t value) { storeLE32(image + 4 * index, value); }

// Brings an image of the given layout to the form of a 0x4000 image, in place.
void upgradeImage(uint8_t* image, uint32_t version) {
    if (version == layout::v1000) {
        for (int i = 0; i < 7; ++i) {
            setImageWord(image, kImageDecayScale + i, floatBits(kImage1000Defaults[i]));
        }
    }
    if (version == layout::v1000 || version == layout::v2000) {
        setImageWord(image, kImagePhi, imageWord(image, kImagePhiCopy));
        setImageWord(image, kImageTheta, imageWord(image, kImageThetaCopy));
        uint32_t flags = imageWord(image, kImageFlags);
        if ((flags & kOldMultitapBits) != 0) {
            setImageWord(image, kImageFlags, flags | flag::crossMixing);
        }
        image[kOldImageDescriptionOffset] = 0;
    }
    if (version == layout::v1000 || version == layout::v2000 || version == layout::v3000) {
        std::memmove(image + kImageDescriptionOffset, image + kOldImageDescriptionOffset, kDescriptionBytes);
    }
}

// ---------------------------------------------------------------------------------------------
// Migration steps

constexpr uint32_t kTapFlagBitsOld = 0x0700;       // tap outputs of taps 1, 2, 3 before 0xC000
constexpr uint32_t kTapFlagTap1 = 0x0100;
constexpr uint32_t kTapFlagTap2 = 0x0200;
constexpr uint32_t kTapFlagTap3 = 0x0400;
constexpr uint32_t kFlagsKeptAtB000 = 0xFFFF1FEF;   // clears bits 4 and 13 to 15
constexpr uint32_t kMultitapSourceBits = 0x002F;    // what meant "multitap" before 0xB000
constexpr uint32_t kFlagsKeptAtC000 = 0xFFFFF8F0;   // clears bits 0 to 3 and 8 to 10

void setFloat(ProgramRecord& record, int index, float value) { record.setF(index, value); }

void migrate5000(ProgramRecord& r) {
    setFloat(r, word::inputGain, 1.0f);
    setFloat(r, word::outGain, 1.0f);
}

void migrate6000(ProgramRecord& r) { r.setU(word::lfo1 + lfo::shape, 0); }

void migrate7000(ProgramRecord& r) {
    setFloat(r, word::lfo1 + lfo::decayDepth, 0.0f);
    setFloat(r, word::lfo1 + lfo::levelDepth, 0.0f);
    setFloat(r, word::lfo1 + lfo::shift, 0.0f);
    setFloat(r, word::lfo2 + lfo::period, 1.0f);
    for (int i = lfo::delayDepth; i <= lfo::shift; ++i) {
        r.setU(word::lfo2 + i, 0);  // 0.0f, and the integer 0 for the shape
    }
}

void migrate8000(ProgramRecord& r) {
    setFloat(r, word::support, 0.0f);
    setFloat(r, word::envInverterDepth, 0.0f);
}

void migrate9000(ProgramRecord& r) {
    for (int line = 0; line < 4; ++line) {
        uint32_t tap1 = r.u(word::tap1 + line);
        r.setU(word::tap1 + line, r.u(word::tap3 + line));
        r.setU(word::tap3 + line, tap1);
    }
    r.setU(word::flags, r.u(word::flags) | flag::swapRowsColumns);
}

void migrateA000(ProgramRecord& r) {
    uint32_t flags = r.u(word::flags);
    uint32_t multitap = (flags & kMultitapSourceBits) != 0 ? flag::multitap : 0;
    r.setU(word::flags, (flags & kFlagsKeptAtB000) | multitap);
}

void migrateB000(ProgramRecord& r) {
    uint32_t flags = r.u(word::flags);
    setFloat(r, word::tapLevel + 0, (flags & kTapFlagTap1) != 0 ? 1.0f : 0.0f);
    setFloat(r, word::tapLevel + 1, (flags & kTapFlagTap2) != 0 ? 1.0f : 0.0f);
    setFloat(r, word::tapLevel + 2, (flags & kTapFlagTap3) != 0 ? 1.0f : 0.0f);
    setFloat(r, word::beta, -r.f(word::beta));
    setFloat(r, word::theta, -r.f(word::theta));
    uint32_t next = flags & ~flag::tapOutputs;
    if ((flags & kTapFlagBitsOld) != 0) {
        next |= flag::tapOutputs;
    }
    if ((flags & kOldMultitapBits) != 0) {
        next |= flag::innerFeedback;
    }
    r.setU(word::flags, next & kFlagsKeptAtC000);
}

void migrateC000(ProgramRecord& r) {
    setFloat(r, word::lfo1 + lfo::inverterDepth, 0.0f);
    setFloat(r, word::lfo2 + lfo::inverterDepth, 0.0f);
    setFloat(r, word::envInverterDepth, 0.0f);
}

struct MigrationStep {
    uint32_t from;
    void (*apply)(ProgramRecord&);
};

constexpr MigrationStep kMigrations[] = {
    {layout::v5000, migrate5000}, {layout::v6000, migrate6000}, {layout::v7000, migrate7000},
    {layout::v8000, migrate8000}, {layout::v9000, migrate9000}, {layout::vA000, migrateA000},
    {layout::vB000, migrateB000}, {layout::vC000, migrateC000},
};
constexpr uint32_t kLayoutStep = 0x1000;

// Applies every step from the record's version on; each step ends by moving the version up.
void migrateToCurrent(ProgramRecord& r) {
    for (const MigrationStep& step : kMigrations) {
        if (r.u(word::version) == step.from) {
            step.apply(r);
            r.setU(word::version, step.from + kLayoutStep);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Public interface

size_t chunkLayoutBytes(uint32_t version) {
    const LayoutInfo* info = findLayout(version);
    return info != nullptr ? info->bytes : 0;
}

bool isImageLayout(uint32_t version) {
    return version == layout::v1000 || version == layout::v2000 || version == layout::v3000 ||
           version == layout::v4000;
}

std::span<const ChunkGroup> chunkLayoutGroups(uint32_t version) {
    const LayoutInfo* info = findLayout(version);
    return info != nullptr ? info->groups : std::span<const ChunkGroup>{};
}

size_t writeChunk(uint8_t* buffer, const ProgramRecord& record) {
    uint8_t* out = buffer;
    for (const ChunkGroup& group : kLayoutD000) {
        for (int i = 0; i < group.wordCount; ++i, out += 4) {
            storeLE32(out, record.u(group.firstWord + i));
        }
    }
    return kChunkBytes;
}

bool readChunk(ProgramRecord& record, const uint8_t* data, size_t size) {
    constexpr size_t kHeaderBytes = 12;
    if (data == nullptr || size < kHeaderBytes) {
        return false;
    }
    const LayoutInfo* info = findLayout(loadLE32(data + 4 * word::version));
    if (info == nullptr || size < info->bytes) {
        return false;
    }

    LockGuard guard = LockGuard::locked(gReaderLock);
    // The result is built aside, so that the record changes only when the whole read succeeds; words
    // that the layout does not carry keep the values they had.
    ProgramRecord result = record;
    if (!isImageLayout(info->version)) {
        readGroups(result, data, info->groups);
    } else {
        std::memset(gImageScratch, 0, sizeof(gImageScratch));
        std::memcpy(gImageScratch, data, info->bytes);
        upgradeImage(gImageScratch, info->version);
        ProgramRecord compacted;
        readGroups(compacted, gImageScratch, kImage4000);
        compacted.setU(word::version, layout::v5000);
        result = compacted;
    }
    migrateToCurrent(result);
    record = result;
    return true;
}

}  // namespace tarsk

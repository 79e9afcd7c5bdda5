// Test helpers that build program chunks and .fxp files by hand, byte by byte, independently of the
// chunk writers under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tarsk::test {

inline uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

inline float floatOf(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// The value a hand-built chunk stores for record word w: distinct for every word, exact as a float.
inline uint32_t markOf(int w) { return bitsOf(1000.0f + static_cast<float>(w)); }

inline void putLE32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    bytes[offset + 0] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
    bytes[offset + 2] = static_cast<uint8_t>(value >> 16);
    bytes[offset + 3] = static_cast<uint8_t>(value >> 24);
}

inline uint32_t getLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

inline uint32_t getBE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[3]) | static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[0]) << 24;
}

// Builds a chunk sequentially (stream layouts) or at explicit offsets (images), and records which value
// each record word was given, so that a test can state what the record must hold after loading.
class ChunkBuilder {
public:
    explicit ChunkBuilder(size_t size, uint8_t filler = 0xEE) : bytes(size, filler) {
        for (uint32_t& w : stored) {
            w = 0;
        }
        for (bool& c : carried) {
            c = false;
        }
    }

    ChunkBuilder& at(size_t offset) {
        cursor = offset;
        return *this;
    }
    // Header words: magic, version, flags.
    ChunkBuilder& header(uint32_t magic, uint32_t version, uint32_t flags) {
        word(0, magic);
        word(1, version);
        return word(2, flags);
    }
    // One record word with an explicit value.
    ChunkBuilder& word(int w, uint32_t value) {
        putLE32(bytes, cursor, value);
        cursor += 4;
        stored[w] = value;
        carried[w] = true;
        return *this;
    }
    // Record words first..last, each with its mark.
    ChunkBuilder& words(int first, int last) {
        for (int w = first; w <= last; ++w) {
            word(w, markOf(w));
        }
        return *this;
    }
    // Bytes that the reader must drop, given a recognisable junk value.
    ChunkBuilder& dropped(size_t n, uint32_t junk = 0x7777AAAA) {
        for (size_t i = 0; i < n; i += 4) {
            putLE32(bytes, cursor + i, junk);
        }
        cursor += n;
        return *this;
    }
    // A text field over words first..first + bytes/4 - 1.
    ChunkBuilder& text(int first, size_t size, const std::string& value) {
        std::vector<uint8_t> field(size, 0);
        std::memcpy(field.data(), value.data(), value.size());
        for (size_t i = 0; i < size; i += 4) {
            word(first + static_cast<int>(i / 4), getLE32(field.data() + i));
        }
        return *this;
    }
    // Overwrites a word already placed, at a byte offset (for values a step takes from elsewhere).
    ChunkBuilder& poke(size_t offset, uint32_t value) {
        putLE32(bytes, offset, value);
        return *this;
    }

    size_t position() const { return cursor; }

    std::vector<uint8_t> bytes;
    uint32_t stored[221];
    bool carried[221];

private:
    size_t cursor = 0;
};

// A big-endian .fxp header in front of a chunk.
struct FxpFields {
    uint32_t chunkMagic = 0x43636E4B;  // "CcnK"
    uint32_t byteSize = 0;
    uint32_t fxMagic = 0x46504368;     // "FPCh"
    uint32_t version = 1;
    uint32_t fxId = 0x5D3B6001;
    uint32_t fxVersion = 760;
    uint32_t numParams = 0;
    std::string prgName = "whatever";
    int64_t chunkSize = -1;            // -1: the chunk's length
};

inline std::vector<uint8_t> makeFxp(const std::vector<uint8_t>& chunk, const FxpFields& fields = {}) {
    std::vector<uint8_t> file;
    auto be = [&file](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            file.push_back(static_cast<uint8_t>(v >> shift));
        }
    };
    be(fields.chunkMagic);
    be(fields.byteSize);
    be(fields.fxMagic);
    be(fields.version);
    be(fields.fxId);
    be(fields.fxVersion);
    be(fields.numParams);
    for (size_t i = 0; i < 28; ++i) {
        file.push_back(i < fields.prgName.size() ? static_cast<uint8_t>(fields.prgName[i]) : 0);
    }
    be(fields.chunkSize < 0 ? static_cast<uint32_t>(chunk.size()) : static_cast<uint32_t>(fields.chunkSize));
    file.insert(file.end(), chunk.begin(), chunk.end());
    return file;
}

}  // namespace tarsk::test

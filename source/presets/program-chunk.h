// Program chunks: the serialised program record in the current layout, and the readers of all
// thirteen layouts with their migration to the current one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "engine/program-record.h"

namespace tarsk {

constexpr size_t kChunkBytes = 880;       // the current layout
constexpr size_t kMaxChunkBytes = 4096;   // what a program file may carry

// Layout versions a chunk may declare in its second word.
namespace layout {
constexpr uint32_t v1000 = 0x1000, v2000 = 0x2000, v3000 = 0x3000, v4000 = 0x4000;
constexpr uint32_t v5000 = 0x5000, v6000 = 0x6000, v7000 = 0x7000, v8000 = 0x8000;
constexpr uint32_t v9000 = 0x9000, vA000 = 0xA000, vB000 = 0xB000, vC000 = 0xC000, vD000 = 0xD000;
}  // namespace layout

// The number of bytes a chunk of the given layout occupies, or 0 for an unknown layout.
size_t chunkLayoutBytes(uint32_t version);

// Layouts 0x1000 to 0x4000 stored an image of the program as it lay in memory; they are read through
// a scratch area of this size and compacted into a 0x5000 record.
constexpr size_t kImageScratchBytes = 1056;
constexpr size_t kImageDescriptionOffset = 512;     // 0x4000 images
constexpr size_t kOldImageDescriptionOffset = 544;  // 0x3000 images (0x1000 and 0x2000 have none)
bool isImageLayout(uint32_t version);

// One group of a layout, in stored order: wordCount record words from firstWord on, or, when
// firstWord is negative, wordCount words that are stored but dropped on reading.
struct ChunkGroup {
    int16_t firstWord;
    int16_t wordCount;
};

// The groups of a stream layout (0x5000 to 0xD000) or of the 0x4000 image, from the magic word to
// the end; empty for the older images and unknown layouts.
std::span<const ChunkGroup> chunkLayoutGroups(uint32_t version);

// Serialises the record into buffer (at least kChunkBytes) in the current layout; answers 880.
size_t writeChunk(uint8_t* buffer, const ProgramRecord& record);

// Reads a chunk of any known layout into the record and migrates it to the current layout.
// A chunk with an unknown layout, or shorter than its layout, is refused: the record stays untouched
// and the answer is false.
bool readChunk(ProgramRecord& record, const uint8_t* data, size_t size);

}  // namespace tarsk

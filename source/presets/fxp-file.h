// Program files (.fxp): the standard "CcnK"/"FPCh" framing around a program chunk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/program-record.h"
#include "tarsklib/stream.h"

namespace tarsk {

constexpr uint32_t kFxpChunkMagic = 0x43636E4B;  // "CcnK"
constexpr uint32_t kFxpOpaqueProgram = 0x46504368;  // "FPCh"
constexpr uint32_t kFxpFormatVersion = 1;
constexpr uint32_t kFxpPluginId = 0x5D3B6001;
constexpr uint32_t kFxpWrittenPluginVersion = 760;
constexpr size_t kFxpHeaderBytes = 60;
constexpr size_t kFxpByteSizeExcluded = 8;  // byteSize counts everything after itself

// Whoever holds program slots: the effect object loads a chunk into one of them.
class ChunkSlotLoader {
public:
    virtual ~ChunkSlotLoader() = default;
    // Loads a chunk into a slot; answers false when the chunk was refused.
    virtual bool loadSlot(const uint8_t* data, size_t size, uint32_t slot) = 0;
};

// Writes the record as a program file; answers false when the stream refused a write.
bool writeFxp(Stream& stream, const ProgramRecord& record);

// Reads a program file's header and chunk into data (which holds kMaxChunkBytes); on success data
// holds chunkSize bytes. Anything wrong with the header, a chunkSize above 4,096 or a file shorter than
// it claims answers false and leaves data and chunkSize unchanged. The stream stays big-endian.
bool readFxpChunk(Stream& stream, uint8_t* data, size_t& chunkSize);

// Reads a program file into a slot of the loader. A failed check leaves the slot unchanged.
bool readFxpIntoSlot(ChunkSlotLoader& loader, Stream& stream, uint32_t slot);

// Reads a program file straight into a record, without any lock.
bool readFxpIntoRecord(Stream& stream, ProgramRecord& record);

}  // namespace tarsk

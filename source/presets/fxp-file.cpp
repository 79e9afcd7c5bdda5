// Program files (.fxp): writing a record with the big-endian "CcnK"/"FPCh" header, and reading the
// header and chunk back into a slot or a record.
#include "presets/fxp-file.h"

#include <cstring>

#include "presets/program-chunk.h"

namespace tarsk {

bool writeFxp(Stream& stream, const ProgramRecord& record) {
    uint8_t chunk[kMaxChunkBytes] = {};
    const size_t size = writeChunk(chunk, record);
    const uint32_t chunkSize = static_cast<uint32_t>(size);

    stream.setFileByteOrder(kByteOrderBig);
    constexpr uint32_t kNumParams = 0;
    return stream.writeU32(kFxpChunkMagic) &&
           stream.writeU32(static_cast<uint32_t>(kFxpHeaderBytes - kFxpByteSizeExcluded) + chunkSize) &&
           stream.writeU32(kFxpOpaqueProgram) && stream.writeU32(kFxpFormatVersion) &&
           stream.writeU32(kFxpPluginId) && stream.writeU32(kFxpWrittenPluginVersion) &&
           stream.writeU32(kNumParams) && stream.writeBytes(record.name(), kNameBytes) &&
           stream.writeU32(chunkSize) && stream.writeBytes(chunk, size);
}

bool readFxpChunk(Stream& stream, uint8_t* data, size_t& chunkSize) {
    stream.setFileByteOrder(kByteOrderBig);
    uint32_t chunkMagic = 0;
    uint32_t byteSize = 0;
    uint32_t fxMagic = 0;
    uint32_t version = 0;
    uint32_t fxId = 0;
    uint32_t fxVersion = 0;
    uint32_t numParams = 0;
    uint8_t prgName[kNameBytes];
    uint32_t size = 0;

    if (!stream.readU32(chunkMagic) || chunkMagic != kFxpChunkMagic) {
        return false;
    }
    if (!stream.readU32(byteSize) || !stream.readU32(fxMagic) || fxMagic != kFxpOpaqueProgram) {
        return false;
    }
    if (!stream.readU32(version) || !stream.readU32(fxId) || !stream.readU32(fxVersion) ||
        version != kFxpFormatVersion || fxId != kFxpPluginId) {
        return false;
    }
    if (!stream.readU32(numParams) || !stream.readBytes(prgName, sizeof(prgName)) || !stream.readU32(size) ||
        size > kMaxChunkBytes) {
        return false;
    }
    // The chunk goes through a buffer of our own, so that a short file leaves the caller's data alone.
    uint8_t chunk[kMaxChunkBytes] = {};
    if (!stream.readBytes(chunk, size)) {
        return false;
    }
    std::memcpy(data, chunk, size);
    chunkSize = size;
    return true;
}

bool readFxpIntoSlot(ChunkSlotLoader& loader, Stream& stream, uint32_t slot) {
    uint8_t data[kMaxChunkBytes] = {};
    size_t size = 0;
    return readFxpChunk(stream, data, size) && loader.loadSlot(data, size, slot);
}

bool readFxpIntoRecord(Stream& stream, ProgramRecord& record) {
    uint8_t data[kMaxChunkBytes] = {};
    size_t size = 0;
    return readFxpChunk(stream, data, size) && readChunk(record, data, size);
}

}  // namespace tarsk

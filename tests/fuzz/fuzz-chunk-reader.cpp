// Fuzz target: the program chunk reader over any bytes. What it accepts must save as a current-layout
// chunk that reads back into the same record, and reading may never touch bytes past the input.
#include <cstring>
#include <vector>

#include "fuzz-target.h"
#include "presets/program-chunk.h"

namespace tarsk::fuzz {

void chunkReader(const uint8_t* data, size_t size) {
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    std::vector<uint8_t> input(data, data + size);
    ProgramRecord record;
    record.setF(20, 0.25f);  // words a layout does not carry keep what the record held
    const ProgramRecord before = record;
    const bool accepted = readChunk(record, input.data(), input.size());
    if (!accepted) {
        fuzzCheck(std::memcmp(&before, &record, sizeof(record)) == 0, "a refused chunk changed the record");
        return;
    }
    fuzzCheck(record.u(1) == layout::vD000, "an accepted chunk was not migrated to the current layout");
    std::vector<uint8_t> saved(kChunkBytes);
    fuzzCheck(writeChunk(saved.data(), record) == kChunkBytes, "writeChunk gave another size");
    ProgramRecord again;
    fuzzCheck(readChunk(again, saved.data(), saved.size()), "a saved chunk was refused");
    std::vector<uint8_t> resaved(kChunkBytes);
    writeChunk(resaved.data(), again);
    fuzzCheck(saved == resaved, "a saved chunk did not read back to the same chunk");
}

}  // namespace tarsk::fuzz

TARSK_FUZZ_ENTRY(tarsk::fuzz::chunkReader)

// Writes a program record as a chunk of any of the thirteen layouts, the exact inverse of the chunk
// reader: reading the written chunk gives back the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/program-record.h"
#include "presets/program-chunk.h"

namespace tarsk {

// The largest chunk this writer produces (a 0x3000 image).
constexpr size_t kLayoutWriterMaxBytes = kImageScratchBytes;

// Writes the record (which must be a current record: version word 0xD000, reserved word 0) into buffer
// (at least kLayoutWriterMaxBytes) in the given layout and answers the chunk size. A record that the
// layout cannot represent (a field the layout lacks holding a value other than the one loading sets,
// flag combinations the migrations cannot produce) answers 0 with a message in error.
size_t writeChunkInLayout(const ProgramRecord& record, uint32_t version, uint8_t* buffer, std::string& error);

}  // namespace tarsk

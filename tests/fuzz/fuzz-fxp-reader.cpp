// Fuzz target: program files (.fxp) over any bytes. A refused file leaves the record as it was; an
// accepted one writes a 940-byte file that reads back into the same record.
#include <cstring>
#include <vector>

#include "fuzz-target.h"
#include "presets/fxp-file.h"
#include "presets/program-chunk.h"

namespace tarsk::fuzz {

namespace {
constexpr size_t kCurrentFileBytes = 940;
}

void fxpReader(const uint8_t* data, size_t size) {
    std::vector<uint8_t> input(data, data + size);
    MemoryStream stream(input.data(), input.size());
    stream.setReadOnly(true);
    ProgramRecord record;
    const ProgramRecord before = record;
    if (!readFxpIntoRecord(stream, record)) {
        fuzzCheck(std::memcmp(&before, &record, sizeof(record)) == 0, "a refused file changed the record");
        return;
    }
    std::vector<uint8_t> file(kCurrentFileBytes * 2, 0);
    MemoryStream out(file.data(), file.size());
    fuzzCheck(writeFxp(out, record), "writeFxp failed on a record it had read");
    fuzzCheck(out.tell() == kCurrentFileBytes, "a written program file is not 940 bytes");
    MemoryStream back(file.data(), kCurrentFileBytes);
    ProgramRecord again;
    fuzzCheck(readFxpIntoRecord(back, again), "a written program file was refused");
    fuzzCheck(std::memcmp(&record, &again, sizeof(record)) == 0, "a written program file read back differently");
}

}  // namespace tarsk::fuzz

TARSK_FUZZ_ENTRY(tarsk::fuzz::fxpReader)

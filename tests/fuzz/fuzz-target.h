// One fuzz target: a function over an input that returns normally when the code under test behaved,
// and stops the process (fuzzCheck) when a property does not hold. With libFuzzer (TARSK_FUZZ builds)
// TARSK_FUZZ_ENTRY makes it the fuzzer's entry point; the replay test of the ordinary builds calls
// the functions directly over the seed corpora.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tarsk::fuzz {

inline void fuzzCheck(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz property failed: %s\n", what);
        std::abort();
    }
}

void chunkReader(const uint8_t* data, size_t size);
void fxpReader(const uint8_t* data, size_t size);
void zipArchive(const uint8_t* data, size_t size);
void settingsText(const uint8_t* data, size_t size);

}  // namespace tarsk::fuzz

#ifdef TARSK_FUZZ_ENTRY_POINT
#define TARSK_FUZZ_ENTRY(function)                                                     \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {        \
        function(data, size);                                                          \
        return 0;                                                                      \
    }
#else
#define TARSK_FUZZ_ENTRY(function)
#endif

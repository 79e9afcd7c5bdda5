// The capability table: the answer to each effCanDo text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk {

struct CanDoEntry {
    const char* text;
    int32_t answer;  // 1 yes, -1 no, 0 don't know
};

// The table in the order it is searched.
const CanDoEntry* canDoTable(size_t& count);
// Exact, case-sensitive lookup; a text not in the table answers 0.
int32_t lookupCanDo(const char* text);

}  // namespace tarsk

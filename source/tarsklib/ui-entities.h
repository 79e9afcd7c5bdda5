// Character references in editor text: the named entity table and the numeric forms.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarsk {

struct UiEntity {
    const char* name;  // at most 11 characters
    uint32_t codePoint;
};

constexpr size_t kEntityCount = 277;

// The table, sorted by the byte order of the names.
const UiEntity* entityTable();

// Resolves the text between "&" and ";": "#x" and hexadecimal digits, "#" and decimal digits (a number
// ends at the first character that is no digit; no digits give 0), or a name of the table (the whole
// name must match). Answers false for a name that is not in the table.
bool lookupEntity(const char* name, size_t length, uint32_t& codePoint);

}  // namespace tarsk

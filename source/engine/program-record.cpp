// The program record's text helpers: setting the name and description, copying the shown name.
#include "engine/program-record.h"

#include <cstring>

namespace tarsk {

namespace {

size_t boundedLength(const char* text, size_t limit) {
    size_t length = 0;
    while (length < limit && text[length] != 0) {
        ++length;
    }
    return length;
}

// Copies at most capacity - 1 bytes of text into field, terminates it and zeroes the rest, so that
// two records with the same text compare equal byte for byte.
void copyTextField(char* field, size_t capacity, const char* text) {
    size_t length = text != nullptr ? boundedLength(text, capacity - 1) : 0;
    if (length > 0) {
        std::memmove(field, text, length);  // text may lie inside the field itself
    }
    std::memset(field + length, 0, capacity - length);
}

}  // namespace

void ProgramRecord::setName(const char* text) { copyTextField(name(), kNameBytes, text); }

void ProgramRecord::setDescription(const char* text) { copyTextField(description(), kDescriptionBytes, text); }

void copyShownName(const ProgramRecord& record, char* text) {
    size_t length = boundedLength(record.name(), kShownNameChars);
    std::memcpy(text, record.name(), length);
    std::memset(text + length, 0, kShownNameChars + 1 - length);
}

}  // namespace tarsk

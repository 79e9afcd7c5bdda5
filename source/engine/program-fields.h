// The named fields of the program record: name, first word, word count and kind of every field,
// covering all 221 words once, with lookup by name and by word.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tarsk {

enum class FieldKind : uint8_t {
    Float,    // IEEE single-precision words
    Integer,  // unsigned 32-bit words (header words, flags, LFO shapes)
    Text,     // a NUL-terminated byte array over whole words (name, description)
};

struct ProgramField {
    const char* name;
    int16_t firstWord;
    int16_t wordCount;
    FieldKind kind;
};

// Every field of the record in word order; together they cover words 0 to 220 exactly once.
std::span<const ProgramField> programFields();

// The field with the given name, or nullptr.
const ProgramField* findProgramField(std::string_view name);

// The field that holds the given word, or nullptr for a word outside the record.
const ProgramField* programFieldAtWord(int word);

}  // namespace tarsk

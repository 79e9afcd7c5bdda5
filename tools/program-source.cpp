// Readable program sources: parsing and formatting the one-field-per-line text, and building the
// .fxp file of a source through the old-layout writer.
#include "program-source.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/program-fields.h"
#include "layout-writer.h"
#include "tarsklib/stream.h"

namespace tarsk {

using namespace std::string_literals;

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trim(std::string_view text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool startsWithHexPrefix(std::string_view token) {
    return token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
}

bool parseInteger(std::string_view token, uint32_t& value) {
    int base = 10;
    if (startsWithHexPrefix(token)) {
        token.remove_prefix(2);
        base = 16;
    }
    uint64_t parsed = 0;
    const char* end = token.data() + token.size();
    auto [stop, status] = std::from_chars(token.data(), end, parsed, base);
    if (token.empty() || status != std::errc() || stop != end || parsed > 0xFFFFFFFFull) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

// Plain decimal only: digits, one sign, a point and an exponent; no hexadecimal, inf or nan.
bool parseFloat(std::string_view token, float& value) {
    if (token.empty() || token.find_first_not_of("0123456789+-.eE") != std::string_view::npos) {
        return false;
    }
    if (token[0] == '+') {
        token.remove_prefix(1);
    }
    float parsed = 0.0f;
    const char* end = token.data() + token.size();
    auto [stop, status] = std::from_chars(token.data(), end, parsed, std::chars_format::general);
    if (status != std::errc() || stop != end || !std::isfinite(parsed)) {
        return false;
    }
    value = parsed;
    return true;
}

bool unescape(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
            case 'n': out.push_back('\n'); break;
            case 't': out.push_back('\t'); break;
            case '\\': out.push_back('\\'); break;
            default: return false;
        }
    }
    return true;
}

std::string escape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\\': out += "\\\\"; break;
            default: out.push_back(c); break;
        }
    }
    return out;
}

// The file-level entries and where a source keeps them.
struct FileEntry {
    const char* name;
    uint32_t ProgramSource::*value;
};
constexpr FileEntry kFileEntries[] = {
    {"layout", &ProgramSource::layout},
    {"fxpVersion", &ProgramSource::fxpVersion},
    {"fxpByteSize", &ProgramSource::fxpByteSize},
    {"fxpNumParams", &ProgramSource::fxpNumParams},
};
constexpr size_t kFileEntryCount = sizeof(kFileEntries) / sizeof(kFileEntries[0]);
constexpr std::string_view kTailEntry = "tail";
constexpr std::string_view kTailSustain = "sustain";
constexpr double kMaxTailSeconds = 600.0;
constexpr std::string_view kExemptEntry = "exempt";
struct FigureName {
    std::string_view name;
    uint32_t figures;
};
constexpr FigureName kFigureNames[] = {
    {"peakiness", kFigurePeakiness}, {"correlation", kFigureCorrelation}, {"bass", kFigureBass},
    {"density", kFigureDensity},     {"all", kAllFigures},
};

class Parser {
public:
    Parser(std::string_view fileName, std::string& error) : fileName(fileName), error(error) {}

    bool parse(std::string_view text, ProgramSource& source) {
        const size_t fieldCount = programFields().size();
        // The last two for the tail and the exemption.
        std::vector<int> seenAt(fieldCount + kFileEntryCount + 2, 0);
        size_t position = 0;
        while (position <= text.size()) {
            size_t end = text.find('\n', position);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            std::string_view line = text.substr(position, end - position);
            position = end + 1;
            ++lineNumber;
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            line = trim(line);
            if (line.empty() || line[0] == '#') {
                continue;
            }
            size_t keyEnd = line.find_first_of(kBlanks);
            std::string_view key = line.substr(0, keyEnd);
            std::string_view rest = keyEnd == std::string_view::npos ? std::string_view{} : trim(line.substr(keyEnd));

            size_t slot = 0;
            const ProgramField* field = findProgramField(key);
            if (field != nullptr) {
                slot = static_cast<size_t>(field - programFields().data());
            } else if (key == kTailEntry) {
                slot = fieldCount + kFileEntryCount;
            } else if (key == kExemptEntry) {
                slot = fieldCount + kFileEntryCount + 1;
            } else {
                slot = fieldCount;
                while (slot < fieldCount + kFileEntryCount && key != kFileEntries[slot - fieldCount].name) {
                    ++slot;
                }
                if (slot == fieldCount + kFileEntryCount) {
                    return fail("unknown field '"s + std::string(key) + "'");
                }
            }
            if (seenAt[slot] != 0) {
                return fail("'"s + std::string(key) + "' given twice (first on line " + std::to_string(seenAt[slot]) +
                            ")");
            }
            seenAt[slot] = lineNumber;

            bool ok = field != nullptr                             ? parseField(*field, rest, source.record)
                      : slot == fieldCount + kFileEntryCount     ? parseTail(rest, source)
                      : slot == fieldCount + kFileEntryCount + 1 ? parseExempt(rest, source)
                                                                 : parseFileEntry(kFileEntries[slot - fieldCount], rest, source);
            if (!ok) {
                return false;
            }
        }
        return true;
    }

private:
    bool fail(const std::string& what) {
        error = std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + what;
        return false;
    }

    // Splits the values of a numeric line, up to a trailing comment.
    static std::vector<std::string_view> values(std::string_view rest) {
        std::vector<std::string_view> tokens;
        size_t position = 0;
        while (true) {
            size_t first = rest.find_first_not_of(kBlanks, position);
            if (first == std::string_view::npos || rest[first] == '#') {
                break;
            }
            size_t last = rest.find_first_of(kBlanks, first);
            if (last == std::string_view::npos) {
                last = rest.size();
            }
            tokens.push_back(rest.substr(first, last - first));
            position = last;
        }
        return tokens;
    }

    bool parseField(const ProgramField& field, std::string_view rest, ProgramRecord& record) {
        if (field.kind == FieldKind::Text) {
            std::string text;
            if (!unescape(rest, text)) {
                return fail(std::string("bad escape in ") + field.name + " (only \\n, \\t and \\\\ are known)");
            }
            const size_t capacity = static_cast<size_t>(field.wordCount) * 4;
            if (text.size() >= capacity) {
                return fail(std::string(field.name) + " is " + std::to_string(text.size()) + " bytes, at most " +
                            std::to_string(capacity - 1) + " fit");
            }
            if (text.find('\0') != std::string::npos) {
                return fail(std::string(field.name) + " holds a NUL character");
            }
            text.resize(capacity, '\0');
            std::memcpy(&record.words[field.firstWord], text.data(), capacity);
            return true;
        }
        std::vector<std::string_view> tokens = values(rest);
        if (tokens.size() != static_cast<size_t>(field.wordCount)) {
            return fail(std::string(field.name) + " takes " + std::to_string(field.wordCount) + " value" +
                        (field.wordCount == 1 ? "" : "s") + ", " + std::to_string(tokens.size()) + " given");
        }
        for (int i = 0; i < field.wordCount; ++i) {
            std::string_view token = tokens[static_cast<size_t>(i)];
            if (field.kind == FieldKind::Integer) {
                uint32_t value = 0;
                if (!parseInteger(token, value)) {
                    return fail("'"s + std::string(token) + "' is not an unsigned 32-bit integer (" + field.name + ")");
                }
                record.setU(field.firstWord + i, value);
            } else {
                float value = 0.0f;
                if (!parseFloat(token, value)) {
                    return fail("'"s + std::string(token) + "' is not a finite decimal number (" + field.name + ")");
                }
                record.setF(field.firstWord + i, value);
            }
        }
        return true;
    }

    bool parseFileEntry(const FileEntry& entry, std::string_view rest, ProgramSource& source) {
        std::vector<std::string_view> tokens = values(rest);
        uint32_t value = 0;
        if (tokens.size() != 1 || !parseInteger(tokens[0], value)) {
            return fail(std::string(entry.name) + " takes one unsigned integer");
        }
        if (entry.value == &ProgramSource::layout && chunkLayoutBytes(value) == 0) {
            return fail("unknown layout '"s + std::string(tokens[0]) + "'");
        }
        source.*entry.value = value;
        if (entry.value == &ProgramSource::fxpByteSize) {
            source.hasFxpByteSize = true;
        }
        return true;
    }

    bool parseTail(std::string_view rest, ProgramSource& source) {
        std::vector<std::string_view> tokens = values(rest);
        if (tokens.size() == 1 && tokens[0] == kTailSustain) {
            source.tail = TailPromise::sustain;
            return true;
        }
        float seconds = 0.0f;
        if (tokens.size() != 1 || !parseFloat(tokens[0], seconds) || seconds <= 0.0f || seconds > kMaxTailSeconds) {
            return fail("tail takes the seconds the sound needs to die away (above 0, at most 600) or 'sustain'");
        }
        source.tail = TailPromise::seconds;
        source.tailSeconds = seconds;
        return true;
    }

    bool parseExempt(std::string_view rest, ProgramSource& source) {
        const size_t listEnd = rest.find_first_of(kBlanks);
        std::string_view list = rest.substr(0, listEnd);
        const std::string_view reason = listEnd == std::string_view::npos ? std::string_view{} : trim(rest.substr(listEnd));
        uint32_t figures = 0;
        while (!list.empty()) {
            const size_t comma = list.find(',');
            const std::string_view name = list.substr(0, comma);
            list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
            const FigureName* known = nullptr;
            for (const FigureName& f : kFigureNames) {
                if (f.name == name) {
                    known = &f;
                }
            }
            if (known == nullptr) {
                return fail("exempt takes figures from peakiness, correlation, bass, density or all, not '"s +
                            std::string(name) + "'");
            }
            figures |= known->figures;
        }
        if (figures == 0 || reason.empty()) {
            return fail("exempt takes the figures (comma-separated) and the reason the program does not meet them");
        }
        source.exemptFigures = figures;
        source.exemptReason = std::string(reason);
        return true;
    }

    std::string_view fileName;
    std::string& error;
    int lineNumber = 0;
};

std::string hexText(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

size_t textLength(const char* text, size_t capacity) {
    size_t length = 0;
    while (length < capacity && text[length] != 0) {
        ++length;
    }
    return length;
}

}  // namespace

bool parseProgramSource(std::string_view text, std::string_view fileName, ProgramSource& source,
                        std::string& error) {
    ProgramSource parsed;
    Parser parser(fileName, error);
    if (!parser.parse(text, parsed)) {
        return false;
    }
    source = parsed;
    return true;
}

bool readProgramSourceFile(const std::string& path, ProgramSource& source, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes)) {
        error = path + ": cannot be read";
        return false;
    }
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return parseProgramSource(text, path, source, error);
}

bool formatProgramSource(const ProgramSource& source, std::string& text, std::string& error) {
    text.clear();
    if (source.layout != kCurrentLayout) {
        text += "layout "s + hexText(source.layout) + "\n";
    }
    if (source.fxpVersion != kFxpWrittenPluginVersion) {
        text += "fxpVersion "s + std::to_string(source.fxpVersion) + "\n";
    }
    if (source.hasFxpByteSize) {
        text += "fxpByteSize "s + std::to_string(source.fxpByteSize) + "\n";
    }
    if (source.fxpNumParams != 0) {
        text += "fxpNumParams "s + std::to_string(source.fxpNumParams) + "\n";
    }
    if (source.tail == TailPromise::sustain) {
        text += "tail sustain\n";
    } else if (source.tail == TailPromise::seconds) {
        char seconds[32];
        std::snprintf(seconds, sizeof(seconds), "%.9g", source.tailSeconds);
        text += "tail "s + seconds + "\n";
    }
    if (source.exemptFigures != 0) {
        std::string names;
        for (const FigureName& f : kFigureNames) {
            if ((source.exemptFigures & f.figures) == f.figures && f.figures != kAllFigures) {
                names += (names.empty() ? "" : ",") + std::string(f.name);
            }
        }
        text += "exempt "s + names + " " + source.exemptReason + "\n";
    }
    const ProgramRecord& record = source.record;
    for (const ProgramField& field : programFields()) {
        std::string line = field.name;
        if (field.kind == FieldKind::Text) {
            const char* bytes = reinterpret_cast<const char*>(&record.words[field.firstWord]);
            std::string_view value(bytes, textLength(bytes, static_cast<size_t>(field.wordCount) * 4));
            if (!value.empty()) {
                line += ' ';
                line += escape(value);
            }
        }
        for (int i = 0; field.kind != FieldKind::Text && i < field.wordCount; ++i) {
            const int index = field.firstWord + i;
            if (field.kind == FieldKind::Integer) {
                line += ' ';
                line += field.firstWord <= word::reserved ? hexText(record.u(index)) : std::to_string(record.u(index));
                continue;
            }
            const float value = record.f(index);
            if (!std::isfinite(value)) {
                error = std::string(field.name) + " holds a value that is not a finite number";
                return false;
            }
            char number[32];
            auto [end, status] = std::to_chars(number, number + sizeof(number), value);
            line += ' ';
            line.append(number, status == std::errc() ? end : number);
        }
        text += line + "\n";
    }
    return true;
}

bool buildProgramFile(const ProgramSource& source, std::vector<uint8_t>& bytes, std::string& error) {
    uint8_t chunk[kLayoutWriterMaxBytes];
    const size_t size = writeChunkInLayout(source.record, source.layout, chunk, error);
    if (size == 0) {
        return false;
    }
    const uint32_t chunkSize = static_cast<uint32_t>(size);
    const uint32_t byteSize = source.hasFxpByteSize
                                  ? source.fxpByteSize
                                  : chunkSize + static_cast<uint32_t>(kFxpHeaderBytes - kFxpByteSizeExcluded);
    std::vector<uint8_t> file(kFxpHeaderBytes + size, 0);
    MemoryStream stream(file.data(), file.size());
    stream.setFileByteOrder(kByteOrderBig);
    bool written = stream.writeU32(kFxpChunkMagic) && stream.writeU32(byteSize) &&
                   stream.writeU32(kFxpOpaqueProgram) && stream.writeU32(kFxpFormatVersion) &&
                   stream.writeU32(kFxpPluginId) && stream.writeU32(source.fxpVersion) &&
                   stream.writeU32(source.fxpNumParams) && stream.writeBytes(source.record.name(), kNameBytes) &&
                   stream.writeU32(chunkSize) && stream.writeBytes(chunk, size);
    if (!written) {
        error = "the file could not be assembled";
        return false;
    }
    bytes = std::move(file);
    return true;
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FileStream file(path.c_str(), kOpenRead);
    if (!file.isOpen() || !file.seek(0, kSeekFromEnd)) {
        return false;
    }
    const uint64_t size = file.tell();
    if (!file.seek(0, kSeekFromStart)) {
        return false;
    }
    std::vector<uint8_t> content(static_cast<size_t>(size));
    if (!file.readBytes(content.data(), content.size())) {
        return false;
    }
    bytes = std::move(content);
    return true;
}

bool writeWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FileStream file(path.c_str(), kOpenWrite);
    return file.isOpen() && file.writeBytes(bytes.data(), bytes.size()) && file.flush();
}

}  // namespace tarsk

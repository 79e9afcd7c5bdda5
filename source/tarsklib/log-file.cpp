// LogFile: building the prefixed format and writing it with the caller's arguments.
#include "log-file.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform-clock.h"

namespace tarsk {

namespace {

constexpr int kTimeTextCapacity = 64;
constexpr const char* kIndentText = " . ";

// The tick count of the process's first print; the first call stores it (thread-safe once).
uint32_t firstPrintTicks() {
    static const uint32_t ticks = tickCountMs();
    return ticks;
}

// Appends to a format of bounded length in whole pieces: a piece that does not fit ends the format,
// so that a conversion is never cut in two.
class FormatBuilder {
public:
    FormatBuilder(char* text, int capacity) : out(text), limit(capacity) { out[0] = '\0'; }

    bool append(const char* piece, int n) {
        if (full || length + n > limit) {
            full = true;
            return false;
        }
        std::memcpy(out + length, piece, static_cast<size_t>(n));
        length += n;
        out[length] = '\0';
        return true;
    }
    // Appends literal text: every '%' in it is doubled, and the text goes in whole or not at all.
    bool appendLiteral(const char* literal) {
        char escaped[2 * 128];
        int n = 0;
        for (const char* c = literal; *c != '\0' && n + 2 <= static_cast<int>(sizeof(escaped)); ++c) {
            escaped[n++] = *c;
            if (*c == '%') {
                escaped[n++] = '%';
            }
        }
        return append(escaped, n);
    }

private:
    char* out;
    int limit;
    int length = 0;
    bool full = false;
};

// The length of the conversion that starts at format[0] == '%': flags, argument position, width,
// precision, length modifiers and the conversion character; 0 when the text ends before it does.
int conversionLength(const char* format) {
    int n = 1;
    while (format[n] != '\0' && std::strchr("-+ #0123456789$.*'hlLqjzt", format[n]) != nullptr) {
        ++n;
    }
    return format[n] != '\0' ? n + 1 : 0;
}

}  // namespace

LogFile::~LogFile() { close(); }

bool LogFile::open(const char* path) {
    close();
    if (path == nullptr) {
        return false;
    }
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) {
        return false;
    }
    char now[kTimeTextCapacity];
    localTimeText(now, sizeof(now));
    std::fprintf(f, "\nLogfile opened at %s\n", now);
    std::fflush(f);
    file = f;
    return true;
}

void LogFile::print(const char* format, ...) {
    if (file == nullptr || format == nullptr) {
        return;
    }
    uint32_t start = firstPrintTicks();  // stamped before the tick count is read on the first call
    uint32_t since = tickCountMs() - start;

    char prefix[16 + kMaxDepth * 3 + 1];
    std::snprintf(prefix, sizeof(prefix), "% 6d: ", static_cast<int>(since));
    for (int level = 0; level < indentDepth && level < kMaxDepth; ++level) {
        std::strcat(prefix, kIndentText);
    }

    char built[kMaxFormat + 1];
    FormatBuilder builder(built, kMaxFormat);
    builder.appendLiteral(prefix);
    for (const char* c = format; *c != '\0';) {
        if (*c == '%') {
            int n = conversionLength(c);
            if (n == 0 || !builder.append(c, n)) {
                break;
            }
            c += n;
        } else if (*c == '\n') {
            if (!builder.append(c, 1)) {
                break;
            }
            ++c;
            if (*c != '\0' && !builder.appendLiteral(prefix)) {
                break;
            }
        } else {
            if (!builder.append(c, 1)) {
                break;
            }
            ++c;
        }
    }

    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(static_cast<FILE*>(file), built, arguments);
    va_end(arguments);
}

void LogFile::indent() {
    if (indentDepth < kMaxDepth) {
        ++indentDepth;
    }
}

void LogFile::outdent() {
    if (file != nullptr) {
        std::fflush(static_cast<FILE*>(file));
    }
    if (indentDepth > 0) {
        --indentDepth;
    }
}

void LogFile::close() {
    if (file == nullptr) {
        indentDepth = 0;
        return;
    }
    std::fflush(static_cast<FILE*>(file));
    indentDepth = 0;
    std::fclose(static_cast<FILE*>(file));
    file = nullptr;
}

}  // namespace tarsk

// LogFile: a plain diagnostic log with a millisecond time prefix and indentation.
#pragma once

namespace tarsk {

class LogFile {
public:
    static constexpr int kMaxDepth = 15;
    static constexpr int kMaxFormat = 1022;  // the built format (prefixes and caller's format) at most

    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Creates (or empties) the file and writes the opening line; answers false when it cannot.
    bool open(const char* path);
    bool isOpen() const { return file != nullptr; }
    // Prints like printf, each line prefixed with the milliseconds since the process's first print
    // and the indentation. Nothing happens without an open file.
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void indent();
    void outdent();
    void close();
    int depth() const { return indentDepth; }

private:
    void* file = nullptr;  // FILE*
    int indentDepth = 0;
};

}  // namespace tarsk

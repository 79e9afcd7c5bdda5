// Settings keys as small text files under $XDG_CONFIG_HOME: one "name=value" line per entry,
// replaced atomically (temporary file in the same folder, fsync, rename).
#include "settings-file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform-folders.h"

namespace tarsk {

namespace {

constexpr std::string_view kRegistryRoot = "Software/";
constexpr size_t kMaxFileBytes = 1 << 20;  // larger files are read only this far
constexpr mode_t kFileMode = 0644;
constexpr char kEscape = '\\';
constexpr char kSeparator = '=';

// Backslash, line feed and carriage return are escaped everywhere, '=' only in names
// (the first unescaped '=' ends the name).
void appendEscaped(std::string& line, const std::string& text, bool isName) {
    for (char c : text) {
        switch (c) {
            case '\\': line += "\\\\"; break;
            case '\n': line += "\\n"; break;
            case '\r': line += "\\r"; break;
            case '=':
                if (isName) {
                    line += "\\=";
                } else {
                    line += c;
                }
                break;
            default: line += c; break;
        }
    }
}

// Decodes one line (without its line feed); answers false for a line that cannot be read.
bool decodeLine(std::string_view line, SettingsEntry& entry) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);  // a line ending written by another system
    }
    entry.name.clear();
    entry.text.clear();
    std::string* target = &entry.name;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '\0' || c == '\r') {
            return false;
        }
        if (c == kSeparator && target == &entry.name) {
            target = &entry.text;
            continue;
        }
        if (c != kEscape) {
            *target += c;
            continue;
        }
        if (++i == line.size()) {
            return false;
        }
        switch (line[i]) {
            case '\\': *target += '\\'; break;
            case 'n': *target += '\n'; break;
            case 'r': *target += '\r'; break;
            case '=': *target += '='; break;
            default: return false;
        }
    }
    return target == &entry.text;
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Makes a finished rename durable; a folder that cannot be synced is not an error.
void syncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::string formatSettingsText(const std::vector<SettingsEntry>& entries) {
    std::string bytes;
    for (const SettingsEntry& entry : entries) {
        appendEscaped(bytes, entry.name, true);
        bytes += kSeparator;
        appendEscaped(bytes, entry.text, false);
        bytes += '\n';
    }
    return bytes;
}

void parseSettingsText(std::string_view text, std::vector<SettingsEntry>& entries) {
    entries.clear();
    std::string_view rest = text;
    SettingsEntry entry;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && decodeLine(line, entry)) {
            entries.push_back(entry);
        }
    }
}

std::string settingsKeyLocation(const std::string& keyPath) {
    std::string_view relative(keyPath);
    if (relative.substr(0, kRegistryRoot.size()) == kRegistryRoot) {
        relative.remove_prefix(kRegistryRoot.size());  // the registry's root has no place in the config folder
    }
    std::string folder = configurationFolder();
    if (folder.empty() || relative.empty()) {
        return std::string();
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder.append(relative);
}

bool readSettingsKey(const std::string& keyPath, std::vector<SettingsEntry>& entries) {
    entries.clear();
    std::string location = settingsKeyLocation(keyPath);
    if (location.empty()) {
        return false;
    }
    int fd = ::open(location.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::string bytes;
    char chunk[4096];
    while (bytes.size() < kMaxFileBytes) {
        ssize_t n = ::read(fd, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        bytes.append(chunk, static_cast<size_t>(n));
    }
    ::close(fd);
    parseSettingsText(bytes, entries);
    return true;
}

bool writeSettingsKey(const std::string& keyPath, const std::vector<SettingsEntry>& entries) {
    std::string location = settingsKeyLocation(keyPath);
    size_t slash = location.rfind('/');
    if (location.empty() || slash == std::string::npos) {
        return false;
    }
    std::string folder = location.substr(0, slash);
    if (!createFolders(folder)) {
        return false;
    }

    const std::string bytes = formatSettingsText(entries);
    std::string temporary = location + ".XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool written = fchmod(fd, kFileMode) == 0 && writeAll(fd, bytes) && fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (!written || std::rename(temporary.c_str(), location.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolder(folder);
    return true;
}

}  // namespace tarsk

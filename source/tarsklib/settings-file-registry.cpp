// Settings keys in the Windows registry: one string value (REG_SZ) per entry under
// HKEY_CURRENT_USER\<key path>. Settings written by an installer under HKEY_LOCAL_MACHINE are read
// when the user has none of their own; they are never written there, since ordinary users may not.
#include "settings-file.h"

#include <windows.h>

#include <algorithm>

namespace tarsk {

namespace {

constexpr const char* kUserRootName = "HKEY_CURRENT_USER\\";
// Registry limits: value names have at most 16,383 characters.
constexpr DWORD kMaxValueName = 16384;
constexpr DWORD kMaxValueBytes = 1 << 20;  // larger values are skipped

std::string registryPath(const std::string& keyPath) {
    std::string path = keyPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Reads every string value of an open key.
void readValues(HKEY key, std::vector<SettingsEntry>& entries) {
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS) {
        return;
    }
    std::string name(std::min(longestName + 1, kMaxValueName), '\0');
    std::string data(std::min(longestData + 1, kMaxValueBytes), '\0');
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        LONG result = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type,
                                    reinterpret_cast<BYTE*>(data.data()), &dataLength);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            continue;  // a value of another kind, or one that grew while we read
        }
        // The stored length usually counts the terminating NUL, but need not.
        while (dataLength > 0 && data[dataLength - 1] == '\0') {
            --dataLength;
        }
        entries.push_back(SettingsEntry{std::string(name.data(), nameLength), std::string(data.data(), dataLength)});
    }
}

bool namedIn(const std::vector<SettingsEntry>& entries, const char* name) {
    return std::any_of(entries.begin(), entries.end(), [name](const SettingsEntry& e) { return e.name == name; });
}

}  // namespace

std::string settingsKeyLocation(const std::string& keyPath) {
    if (keyPath.empty()) {
        return std::string();
    }
    return kUserRootName + registryPath(keyPath);
}

bool readSettingsKey(const std::string& keyPath, std::vector<SettingsEntry>& entries) {
    entries.clear();
    if (keyPath.empty()) {
        return false;
    }
    const std::string path = registryPath(keyPath);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS &&
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    readValues(key, entries);
    RegCloseKey(key);
    return true;
}

bool writeSettingsKey(const std::string& keyPath, const std::vector<SettingsEntry>& entries) {
    if (keyPath.empty()) {
        return false;
    }
    const std::string path = registryPath(keyPath);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE | KEY_QUERY_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    // Values that are no longer entries go first (each value is replaced on its own; the registry
    // has no way to replace a whole key at once).
    std::vector<SettingsEntry> stored;
    readValues(key, stored);
    for (const SettingsEntry& old : stored) {
        if (!namedIn(entries, old.name.c_str())) {
            RegDeleteValueA(key, old.name.c_str());
        }
    }
    bool all = true;
    for (const SettingsEntry& entry : entries) {
        if (entry.name.find('\0') != std::string::npos || entry.text.find('\0') != std::string::npos) {
            all = false;  // a string value ends at its first NUL
            continue;
        }
        const DWORD bytes = static_cast<DWORD>(entry.text.size() + 1);
        all = RegSetValueExA(key, entry.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.text.c_str()),
                             bytes) == ERROR_SUCCESS &&
              all;
    }
    RegCloseKey(key);
    return all;
}

}  // namespace tarsk

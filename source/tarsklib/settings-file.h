// The persistence behind SettingsStore: all entries of one settings key, read and written as a whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarsk {

struct SettingsEntry {
    std::string name;
    std::string text;
};

// keyPath is the store's key path, e.g. "Software/Tarskcode/Tarskverb".
// Reads the entries stored under the key; answers false when nothing is stored there.
// Entries that cannot be read are skipped.
bool readSettingsKey(const std::string& keyPath, std::vector<SettingsEntry>& entries);
// Replaces what is stored under the key with the entries; answers whether all were stored.
// An interrupted write leaves the previous contents in place.
bool writeSettingsKey(const std::string& keyPath, const std::vector<SettingsEntry>& entries);
// The text form of a key: one "name=value" line per entry; backslash, line feed and carriage return
// are escaped everywhere, '=' in names. Lines that cannot be read are skipped by the parser.
std::string formatSettingsText(const std::vector<SettingsEntry>& entries);
void parseSettingsText(std::string_view text, std::vector<SettingsEntry>& entries);
// Where the key is kept (on this platform a file path); empty when that cannot be known.
std::string settingsKeyLocation(const std::string& keyPath);

}  // namespace tarsk

// Fuzz target: the settings file's text. Whatever it parses must format and parse back to the same
// entries, and the settings store must give back the last text stored under each name.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz-target.h"
#include "tarsklib/settings-file.h"
#include "tarsklib/settings-store.h"

namespace tarsk::fuzz {

void settingsText(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<SettingsEntry> entries;
    parseSettingsText(text, entries);
    std::vector<SettingsEntry> again;
    parseSettingsText(formatSettingsText(entries), again);
    fuzzCheck(again.size() == entries.size(), "formatted settings parse to another number of entries");
    for (size_t i = 0; i < entries.size() && i < again.size(); ++i) {
        fuzzCheck(again[i].name == entries[i].name && again[i].text == entries[i].text,
                  "formatted settings parse to other entries");
    }
    SettingsStore store(7);  // few buckets: long chains
    for (const SettingsEntry& entry : entries) {
        store.set(entry.name, entry.text);
    }
    std::map<std::string, std::string> last;
    for (const SettingsEntry& entry : entries) {
        last[entry.name] = entry.text;
    }
    fuzzCheck(store.size() == last.size(), "the store holds another number of names");
    for (const auto& [name, value] : last) {
        fuzzCheck(store.get(name, "\x01missing") == value, "the store does not give back the last text stored");
    }
}

}  // namespace tarsk::fuzz

TARSK_FUZZ_ENTRY(tarsk::fuzz::settingsText)

// SettingsStore: the chained hash table, the key path of an identifier and loading and saving through the backend.
#include "settings-store.h"

#include "settings-file.h"

namespace tarsk {

namespace {

constexpr std::string_view kKeyRoot = "Software/";
constexpr uint32_t kHashStart = 1;
constexpr uint32_t kHashFactor = 7;

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

SettingsStore::SettingsStore(size_t count) : buckets(count > 0 ? count : 1, nullptr) {}

SettingsStore::~SettingsStore() { clear(); }

uint32_t SettingsStore::hashName(std::string_view name) {
    uint32_t h = kHashStart;
    for (char c : name) {
        h = h * kHashFactor + static_cast<uint8_t>(c);
    }
    return h;
}

SettingsStore::Node* SettingsStore::find(std::string_view name) const {
    for (Node* node = buckets[hashName(name) % buckets.size()]; node != nullptr; node = node->next) {
        if (node->name == name) {
            return node;
        }
    }
    return nullptr;
}

std::string SettingsStore::get(std::string_view name, std::string_view fallback) const {
    const Node* node = find(name);
    return std::string(node != nullptr ? std::string_view(node->text) : fallback);
}

void SettingsStore::set(std::string_view name, std::string_view text) {
    if (Node* node = find(name)) {
        node->text.assign(text);
        return;
    }
    Node*& head = buckets[hashName(name) % buckets.size()];
    head = new Node{std::string(name), std::string(text), head};
    ++entryCount;
}

void SettingsStore::clear() {
    for (Node*& head : buckets) {
        while (head != nullptr) {
            Node* next = head->next;
            delete head;
            head = next;
        }
    }
    entryCount = 0;
}

bool SettingsStore::keyPath(const char* identifier, std::string& path) {
    path.clear();
    if (identifier == nullptr) {
        return false;
    }
    std::string_view rest(identifier);
    std::string_view parts[3];
    for (int i = 0; i < 3; ++i) {
        size_t dot = rest.find('.');
        if (i < 2 && dot == std::string_view::npos) {
            return false;  // fewer than three components
        }
        parts[i] = rest.substr(0, dot);
        rest = dot == std::string_view::npos ? std::string_view() : rest.substr(dot + 1);
    }
    for (int i = 1; i < 3; ++i) {
        if (parts[i].empty() || parts[i].find('/') != std::string_view::npos ||
            parts[i].find('\\') != std::string_view::npos) {
            return false;
        }
    }
    if (kKeyRoot.size() + parts[1].size() + 1 + parts[2].size() > kMaxKeyPathLength) {
        return false;
    }
    path.assign(kKeyRoot);
    path += asciiUpper(parts[1][0]);
    path.append(parts[1].substr(1));
    path += '/';
    path += asciiUpper(parts[2][0]);
    path.append(parts[2].substr(1));
    return true;
}

bool SettingsStore::load(const char* identifier) {
    std::string path;
    std::vector<SettingsEntry> entries;
    if (!keyPath(identifier, path) || !readSettingsKey(path, entries)) {
        return false;
    }
    for (const SettingsEntry& entry : entries) {
        set(entry.name, entry.text);
    }
    return true;
}

bool SettingsStore::save(const char* identifier) const {
    std::string path;
    if (!keyPath(identifier, path)) {
        return false;
    }
    std::vector<SettingsEntry> entries;
    entries.reserve(entryCount);
    for (const Node* head : buckets) {
        for (const Node* node = head; node != nullptr; node = node->next) {
            entries.push_back(SettingsEntry{node->name, node->text});
        }
    }
    return writeSettingsKey(path, entries);
}

}  // namespace tarsk

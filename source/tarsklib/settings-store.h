// SettingsStore: named text values of one application, kept in a hash table and persisted per identifier.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarsk {

class SettingsStore {
public:
    static constexpr size_t kDefaultBucketCount = 61;
    static constexpr size_t kMaxKeyPathLength = 255;  // key paths of 256 characters or more are refused

    explicit SettingsStore(size_t bucketCount = kDefaultBucketCount);
    ~SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Reads the values stored for the identifier into the map (they replace entries of the same name).
    // Answers false when the identifier is refused or nothing is stored for it.
    bool load(const char* identifier);
    // Writes every entry of the map for the identifier; answers whether they were stored.
    bool save(const char* identifier) const;

    // The text stored under the name, or the fallback when the name is not in the map.
    std::string get(std::string_view name, std::string_view fallback) const;
    void set(std::string_view name, std::string_view text);
    size_t size() const { return entryCount; }
    size_t bucketCount() const { return buckets.size(); }
    void clear();

    // h = 1, then h = h * 7 + byte for every byte of the name.
    static uint32_t hashName(std::string_view name);
    // "com.tarskcode.tarskverb" -> "Software/Tarskcode/Tarskverb": the first component is skipped,
    // the second and third are taken with their first letters upper-cased (further ones are ignored).
    // Answers false for fewer than three components, an empty or '/'-holding second or third component,
    // or a path of kMaxKeyPathLength + 1 characters or more.
    static bool keyPath(const char* identifier, std::string& path);

private:
    struct Node {
        std::string name;
        std::string text;
        Node* next;
    };

    Node* find(std::string_view name) const;

    std::vector<Node*> buckets;
    size_t entryCount = 0;
};

}  // namespace tarsk

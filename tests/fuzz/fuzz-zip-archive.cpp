// Fuzz target: the ZIP archive node over any bytes: open, walk every folder, test and read every
// member. Nothing may crash or read outside the archive; what a walk reports as a file must exist.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz-target.h"
#include "presets/zip-archive-node.h"

namespace tarsk::fuzz {

namespace {
constexpr int kMaxEntries = 256;  // bounds the work per input
}

void zipArchive(const uint8_t* data, size_t size) {
    void* block = std::malloc(size > 0 ? size : 1);
    if (size > 0) {
        std::memcpy(block, data, size);
    }
    auto stream = std::make_shared<MemoryStream>(block, size);
    stream->setOwnsBlock(true);
    stream->setReadOnly(true);
    ZipArchiveNode node(stream);
    fuzzCheck(!node.exists(""), "the empty path exists");
    if (!node.isOpen()) {
        fuzzCheck(node.openFolder("") == nullptr && node.open("a", kOpenRead) == nullptr,
                  "a node without an archive served something");
        return;
    }
    std::vector<std::string> folders = {"", "presets"};
    int entries = 0;
    for (size_t f = 0; f < folders.size() && entries < kMaxEntries; ++f) {
        std::unique_ptr<FolderIterator> it = node.openFolder(folders[f]);
        for (; it != nullptr && it->valid() && entries < kMaxEntries; it->next(), ++entries) {
            const std::string prefix = folders[f].empty() ? "" : folders[f] + "/";
            const std::string path = prefix + it->name();
            if (it->type() == kEntryTypeFolder) {
                if (folders.size() < kMaxEntries) {
                    folders.push_back(path);
                }
                continue;
            }
            std::unique_ptr<Stream> member = node.open(path, kOpenRead);
            if (member != nullptr) {
                std::vector<uint8_t> bytes(4096);
                while (member->read(bytes.data(), 1, bytes.size()) == bytes.size()) {
                }
            }
            fuzzCheck(node.open(path, kOpenWrite) == nullptr, "an archive member opened for writing");
        }
    }
}

}  // namespace tarsk::fuzz

TARSK_FUZZ_ENTRY(tarsk::fuzz::zipArchive)

// ZipArchiveNode: a read-only program file system node over a ZIP archive in memory, read with
// minizip's unzip interface; ZipFolderIterator walks an archive folder's members.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "presets/program-file-system.h"
#include "tarsklib/stream.h"

namespace tarsk {

// Members larger than this are not served.
constexpr uint64_t kMaxZipMemberBytes = 0x1000000;
constexpr size_t kMaxZipNameChars = 255;

// The archive state that the node and its iterators share: the stream, the unzip handle and the
// lock that serialises every use of the handle.
struct ZipArchive;

class ZipArchiveNode final : public ProgramNode {
public:
    // Opens the unzip handle over the stream; an archive that cannot be opened gives a node without
    // a handle, which answers false and null to everything.
    explicit ZipArchiveNode(std::shared_ptr<MemoryStream> archive);
    ~ZipArchiveNode() override;

    bool isOpen() const;
    // True when a member of exactly that name (case-sensitive) exists.
    bool exists(std::string_view path) override;
    // Mode kOpenRead only: the whole member (at most kMaxZipMemberBytes) in a memory stream of its own.
    std::unique_ptr<Stream> open(std::string_view path, uint32_t mode) override;
    // Every member below the folder, in archive order, starting after the folder's own entry.
    std::unique_ptr<FolderIterator> openFolder(std::string_view path) override;

private:
    std::shared_ptr<ZipArchive> zip;
};

class ZipFolderIterator final : public FolderIterator {
public:
    ZipFolderIterator(std::shared_ptr<ZipArchive> zip, std::string_view prefix);

    bool valid() const override { return isValid; }
    // The member name after the prefix (and the '/' that follows it), without a folder's trailing '/'.
    const char* name() const override;
    uint32_t type() const override { return isFolder ? kEntryTypeFolder : kEntryTypeFile; }
    void next() override;

private:
    friend class ZipArchiveNode;
    // Moves from the saved position to the next member; the archive's lock is held by the caller.
    void advanceLocked();
    // Saves the handle's current member as the position; the archive's lock is held by the caller.
    void savePositionLocked();

    std::shared_ptr<ZipArchive> zip;
    std::string prefix;
    uint64_t directoryOffset = 0;  // the saved file position
    uint64_t fileNumber = 0;
    char current[kMaxZipNameChars + 1] = {};
    bool isValid = false;
    bool isFolder = false;
};

}  // namespace tarsk

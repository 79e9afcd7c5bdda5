// The program file system: absolute '/'-separated paths whose first component names a mount ("res",
// "user"), the node interface that mounts implement, folder iterators, and the disk folder node.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tarsklib/spin-lock.h"
#include "tarsklib/stream.h"

namespace tarsk {

constexpr uint32_t kEntryTypeFile = 1;
constexpr uint32_t kEntryTypeFolder = 2;

// Mount names and the well-known paths.
constexpr const char* kResourceMount = "res";
constexpr const char* kUserMount = "user";
constexpr const char* kFactoryProgramsPath = "/res/presets";
constexpr const char* kUserRootPath = "/user/";
constexpr const char* kUserProgramsPath = "/user/programs";
constexpr const char* kDefaultFolderSuffix = "/Default Folder/";
constexpr const char* kUserFolderName = "/Tarskverb";  // appended to the application-data folder

// Walks the entries of one folder. Iterators do not change the file system.
class FolderIterator {
public:
    virtual ~FolderIterator() = default;
    virtual bool valid() const = 0;
    // The entry's name relative to the folder; valid only while valid() is true.
    virtual const char* name() const = 0;
    // kEntryTypeFile or kEntryTypeFolder.
    virtual uint32_t type() const = 0;
    virtual void next() = 0;
};

// A mounted tree. Paths are relative to the node; leading slashes do not matter.
class ProgramNode {
public:
    virtual ~ProgramNode() = default;
    virtual bool exists(std::string_view path) = 0;
    // Mode kOpenRead (0x201) or kOpenWrite (0x206, created or truncated); null when refused.
    virtual std::unique_ptr<Stream> open(std::string_view path, uint32_t mode) = 0;
    virtual std::unique_ptr<FolderIterator> openFolder(std::string_view path) = 0;
    virtual bool makeFolder(std::string_view /*path*/) { return false; }
    // Replaces the file with the bytes in one step: afterwards the file holds either all of them or
    // what it held before. error receives the system's error number on failure.
    virtual bool replaceFile(std::string_view /*path*/, const void* /*data*/, size_t /*size*/, int& error) {
        error = EROFS;
        return false;
    }
    // The path on disk, empty for nodes that are not on disk.
    virtual std::string realPath(std::string_view /*path*/) { return std::string(); }
};

// A folder on disk. The root keeps a trailing '/'; a disk path is the root followed by the relative
// path without its leading slashes.
class DiskFolderNode final : public ProgramNode {
public:
    explicit DiskFolderNode(std::string root);

    const std::string& root() const { return rootPath; }
    bool exists(std::string_view path) override;
    std::unique_ptr<Stream> open(std::string_view path, uint32_t mode) override;
    std::unique_ptr<FolderIterator> openFolder(std::string_view path) override;
    // Makes the folder and any missing parent (the application-data folder itself may be missing
    // on a fresh account); true when the folder exists afterwards.
    bool makeFolder(std::string_view path) override;
    bool replaceFile(std::string_view path, const void* data, size_t size, int& error) override;
    std::string realPath(std::string_view path) override;

private:
    std::string rootPath;
};

// The path without its leading slashes.
std::string_view withoutLeadingSlashes(std::string_view path);

// Mounts and the node operations on absolute paths. Safe to use from several threads; the nodes
// themselves serialise what needs serialising.
class ProgramFileSystem {
public:
    ProgramFileSystem() = default;
    ProgramFileSystem(const ProgramFileSystem&) = delete;
    ProgramFileSystem& operator=(const ProgramFileSystem&) = delete;

    // Mounts a node under a name, replacing an earlier mount of that name; a null node unmounts it.
    void mount(std::string_view name, std::shared_ptr<ProgramNode> node);
    // Releases every mount.
    void unmountAll();

    bool exists(std::string_view path);
    std::unique_ptr<Stream> open(std::string_view path, uint32_t mode);
    std::unique_ptr<FolderIterator> openFolder(std::string_view path);
    bool makeFolder(std::string_view path);
    // A path without a mount reports ENOENT.
    bool replaceFile(std::string_view path, const void* data, size_t size, int& error);
    std::string realPath(std::string_view path);

private:
    struct Mount {
        std::string name;
        std::shared_ptr<ProgramNode> node;
    };
    // Splits an absolute path into its mount's node and the rest.
    std::shared_ptr<ProgramNode> resolve(std::string_view path, std::string_view& rest);

    SpinLock lock;  // guards mounts
    std::vector<Mount> mounts;
};

// The process-wide file system of the program library.
ProgramFileSystem& fileSystem();

// The disk folder of the "user" mount: the application-data folder followed by "/Tarskverb";
// empty when the application-data folder is unknown.
std::string userFolderRoot();

}  // namespace tarsk

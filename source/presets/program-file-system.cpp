// The program file system: mount table and path splitting, and the disk folder node over the
// platform's file and folder calls.
#include "presets/program-file-system.h"

#include <cerrno>
#include <new>

#include "tarsklib/platform-files.h"
#include "tarsklib/platform-folders.h"

namespace tarsk {

namespace {

// Iterates a snapshot of a disk folder's entries, taken when the folder was opened.
class DiskFolderIterator final : public FolderIterator {
public:
    explicit DiskFolderIterator(std::vector<FolderEntry> entries) : entries(std::move(entries)) {}

    bool valid() const override { return position < entries.size(); }
    const char* name() const override { return valid() ? entries[position].name.c_str() : ""; }
    uint32_t type() const override { return valid() ? entries[position].type : 0; }
    void next() override {
        if (valid()) {
            ++position;
        }
    }

private:
    std::vector<FolderEntry> entries;
    size_t position = 0;
};

}  // namespace

std::string_view withoutLeadingSlashes(std::string_view path) {
    size_t first = path.find_first_not_of('/');
    return first == std::string_view::npos ? std::string_view() : path.substr(first);
}

// ---------------------------------------------------------------------------------------------
// DiskFolderNode

DiskFolderNode::DiskFolderNode(std::string root) : rootPath(std::move(root)) {
    if (rootPath.empty() || rootPath.back() != '/') {
        rootPath += '/';
    }
}

std::string DiskFolderNode::realPath(std::string_view path) {
    std::string disk = rootPath;
    disk += withoutLeadingSlashes(path);
    return disk;
}

bool DiskFolderNode::exists(std::string_view path) { return pathExists(realPath(path)); }

std::unique_ptr<Stream> DiskFolderNode::open(std::string_view path, uint32_t mode) {
    std::unique_ptr<FileStream> stream(new (std::nothrow) FileStream(realPath(path).c_str(), mode));
    if (stream == nullptr || !stream->isOpen()) {
        return nullptr;
    }
    return stream;
}

std::unique_ptr<FolderIterator> DiskFolderNode::openFolder(std::string_view path) {
    std::vector<FolderEntry> entries;
    if (!listFolder(realPath(path), entries)) {
        return nullptr;
    }
    return std::unique_ptr<FolderIterator>(new (std::nothrow) DiskFolderIterator(std::move(entries)));
}

bool DiskFolderNode::makeFolder(std::string_view path) { return createFolders(realPath(path)); }

bool DiskFolderNode::replaceFile(std::string_view path, const void* data, size_t size, int& error) {
    return tarsk::replaceFile(realPath(path), data, size, error);
}

// ---------------------------------------------------------------------------------------------
// ProgramFileSystem

void ProgramFileSystem::mount(std::string_view name, std::shared_ptr<ProgramNode> node) {
    std::shared_ptr<ProgramNode> replaced;  // released outside the lock
    LockGuard guard = LockGuard::locked(lock);
    for (size_t i = 0; i < mounts.size(); ++i) {
        if (mounts[i].name == name) {
            replaced = std::move(mounts[i].node);
            if (node != nullptr) {
                mounts[i].node = std::move(node);
            } else {
                mounts.erase(mounts.begin() + static_cast<std::ptrdiff_t>(i));
            }
            return;
        }
    }
    if (node != nullptr) {
        mounts.push_back(Mount{std::string(name), std::move(node)});
    }
}

void ProgramFileSystem::unmountAll() {
    std::vector<Mount> released;
    LockGuard guard = LockGuard::locked(lock);
    released.swap(mounts);
    guard.release();
}

std::shared_ptr<ProgramNode> ProgramFileSystem::resolve(std::string_view path, std::string_view& rest) {
    path = withoutLeadingSlashes(path);
    size_t slash = path.find('/');
    std::string_view name = path.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    if (name.empty()) {
        return nullptr;
    }
    LockGuard guard = LockGuard::locked(lock);
    for (const Mount& mount : mounts) {
        if (mount.name == name) {
            return mount.node;
        }
    }
    return nullptr;
}

bool ProgramFileSystem::exists(std::string_view path) {
    std::string_view rest;
    std::shared_ptr<ProgramNode> node = resolve(path, rest);
    return node != nullptr && node->exists(rest);
}

std::unique_ptr<Stream> ProgramFileSystem::open(std::string_view path, uint32_t mode) {
    std::string_view rest;
    std::shared_ptr<ProgramNode> node = resolve(path, rest);
    return node != nullptr ? node->open(rest, mode) : nullptr;
}

std::unique_ptr<FolderIterator> ProgramFileSystem::openFolder(std::string_view path) {
    std::string_view rest;
    std::shared_ptr<ProgramNode> node = resolve(path, rest);
    return node != nullptr ? node->openFolder(rest) : nullptr;
}

bool ProgramFileSystem::makeFolder(std::string_view path) {
    std::string_view rest;
    std::shared_ptr<ProgramNode> node = resolve(path, rest);
    return node != nullptr && node->makeFolder(rest);
}

bool ProgramFileSystem::replaceFile(std::string_view path, const void* data, size_t size, int& error) {
    std::string_view rest;
    std::shared_ptr<ProgramNode> node = resolve(path, rest);
    if (node == nullptr) {
        error = ENOENT;
        return false;
    }
    return node->replaceFile(rest, data, size, error);
}

std::string ProgramFileSystem::realPath(std::string_view path) {
    std::string_view rest;
    std::shared_ptr<ProgramNode> node = resolve(path, rest);
    return node != nullptr ? node->realPath(rest) : std::string();
}

ProgramFileSystem& fileSystem() {
    static ProgramFileSystem instance;
    return instance;
}

std::string userFolderRoot() {
    std::string data = applicationDataFolder();
    if (data.empty()) {
        return data;
    }
    while (data.size() > 1 && data.back() == '/') {
        data.pop_back();
    }
    return data + kUserFolderName;
}

}  // namespace tarsk

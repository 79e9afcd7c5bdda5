// ZipArchiveNode: minizip's unzip interface over a shared memory stream through seven stream callbacks,
// member lookup and reading, and folder iteration with saved file positions.
#include "presets/zip-archive-node.h"

#include <unzip.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "tarsklib/spin-lock.h"

namespace tarsk {

constexpr int kCaseSensitive = 1;  // unzLocateFile compares names with strcmp

struct ZipArchive {
    std::shared_ptr<MemoryStream> stream;
    unzFile handle = nullptr;
    SpinLock lock;  // one node operation or iterator step at a time

    ~ZipArchive() {
        if (handle != nullptr) {
            unzClose(handle);
        }
    }
};

namespace {

// ---------------------------------------------------------------------------------------------
// Stream callbacks: the opaque pointer is the archive's MemoryStream, which is also the "file".

MemoryStream* streamOf(voidpf file) { return static_cast<MemoryStream*>(file); }

voidpf openCallback(voidpf opaque, const char* /*fileName*/, int mode) {
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ || opaque == nullptr) {
        return nullptr;  // read-only
    }
    streamOf(opaque)->seek(0, kSeekFromStart);
    return opaque;
}

uLong readCallback(voidpf /*opaque*/, voidpf file, void* buffer, uLong size) {
    return static_cast<uLong>(streamOf(file)->read(buffer, 1, size));
}

uLong writeCallback(voidpf /*opaque*/, voidpf /*file*/, const void* /*buffer*/, uLong /*size*/) { return 0; }

long tellCallback(voidpf /*opaque*/, voidpf file) { return static_cast<long>(streamOf(file)->tell()); }

// Seeks inside the block; a target outside it fails (the memory stream alone would stop at the end).
long seekCallback(voidpf /*opaque*/, voidpf file, uLong offset, int origin) {
    MemoryStream* stream = streamOf(file);
    const uint64_t size = stream->length();
    uint64_t base = 0;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
        case ZLIB_FILEFUNC_SEEK_CUR: base = stream->tell(); break;
        case ZLIB_FILEFUNC_SEEK_END: base = size; break;
        default: return -1;
    }
    if (offset > size - base) {
        return -1;
    }
    return stream->seek(static_cast<int64_t>(base + offset), kSeekFromStart) ? 0 : -1;
}

int closeCallback(voidpf /*opaque*/, voidpf /*file*/) { return 0; }  // the node owns the stream

int errorCallback(voidpf /*opaque*/, voidpf /*file*/) { return 0; }

// The name of the handle's current member, at most kMaxZipNameChars characters.
bool currentName(unzFile handle, char (&name)[kMaxZipNameChars + 1], unz_file_info* info = nullptr) {
    unz_file_info scratch;
    std::memset(name, 0, sizeof(name));
    // A name that does not fit is cut, and minizip leaves it unterminated: the last byte stays 0.
    return unzGetCurrentFileInfo(handle, info != nullptr ? info : &scratch, name, kMaxZipNameChars, nullptr, 0,
                                 nullptr, 0) == UNZ_OK;
}

std::string pathInArchive(std::string_view path) { return std::string(withoutLeadingSlashes(path)); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// ZipArchiveNode

ZipArchiveNode::ZipArchiveNode(std::shared_ptr<MemoryStream> archive) : zip(new (std::nothrow) ZipArchive) {
    if (zip == nullptr || archive == nullptr || archive->length() == 0) {
        return;
    }
    zip->stream = std::move(archive);
    zlib_filefunc_def callbacks{};
    callbacks.zopen_file = openCallback;
    callbacks.zread_file = readCallback;
    callbacks.zwrite_file = writeCallback;
    callbacks.ztell_file = tellCallback;
    callbacks.zseek_file = seekCallback;
    callbacks.zclose_file = closeCallback;
    callbacks.zerror_file = errorCallback;
    callbacks.opaque = zip->stream.get();
    zip->handle = unzOpen2("presets.zip", &callbacks);
}

ZipArchiveNode::~ZipArchiveNode() = default;

bool ZipArchiveNode::isOpen() const { return zip != nullptr && zip->handle != nullptr; }

bool ZipArchiveNode::exists(std::string_view path) {
    std::string name = pathInArchive(path);
    if (!isOpen() || name.empty()) {
        return false;
    }
    LockGuard guard = LockGuard::locked(zip->lock);
    return unzLocateFile(zip->handle, name.c_str(), kCaseSensitive) == UNZ_OK;
}

std::unique_ptr<Stream> ZipArchiveNode::open(std::string_view path, uint32_t mode) {
    std::string name = pathInArchive(path);
    if (mode != kOpenRead || !isOpen() || name.empty()) {
        return nullptr;
    }
    LockGuard guard = LockGuard::locked(zip->lock);
    unz_file_info info;
    char found[kMaxZipNameChars + 1];
    if (unzLocateFile(zip->handle, name.c_str(), kCaseSensitive) != UNZ_OK || !currentName(zip->handle, found, &info) ||
        info.uncompressed_size > kMaxZipMemberBytes) {
        return nullptr;
    }
    const size_t size = static_cast<size_t>(info.uncompressed_size);
    uint8_t* block = static_cast<uint8_t*>(std::calloc(size > 0 ? size : 1, 1));
    if (block == nullptr) {
        return nullptr;
    }
    // A member that fails to open or inflate keeps whatever was read (zeros after it); the
    // program-file checks reject what is damaged.
    if (unzOpenCurrentFile(zip->handle) == UNZ_OK) {
        size_t done = 0;
        while (done < size) {
            int got = unzReadCurrentFile(zip->handle, block + done, static_cast<unsigned>(size - done));
            if (got <= 0) {
                break;
            }
            done += static_cast<size_t>(got);
        }
        unzCloseCurrentFile(zip->handle);
    }
    std::unique_ptr<MemoryStream> stream(new (std::nothrow) MemoryStream(block, size));
    if (stream == nullptr) {
        std::free(block);
        return nullptr;
    }
    stream->setOwnsBlock(true);
    stream->setReadOnly(true);
    return stream;
}

std::unique_ptr<FolderIterator> ZipArchiveNode::openFolder(std::string_view path) {
    if (!isOpen()) {
        return nullptr;
    }
    std::unique_ptr<ZipFolderIterator> iterator(new (std::nothrow) ZipFolderIterator(zip, withoutLeadingSlashes(path)));
    if (iterator == nullptr) {
        return nullptr;
    }
    const std::string& prefix = iterator->prefix;
    LockGuard guard = LockGuard::locked(zip->lock);
    // The folder's own entry: the first member that starts with the prefix and ends in '/'.
    char name[kMaxZipNameChars + 1];
    for (int status = unzGoToFirstFile(zip->handle); status == UNZ_OK; status = unzGoToNextFile(zip->handle)) {
        if (!currentName(zip->handle, name, nullptr)) {
            return nullptr;
        }
        const size_t length = std::strlen(name);
        if (length >= prefix.size() && length > 0 && name[length - 1] == '/' &&
            std::memcmp(name, prefix.data(), prefix.size()) == 0) {
            iterator->savePositionLocked();
            iterator->isValid = true;
            iterator->advanceLocked();
            return iterator;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// ZipFolderIterator

ZipFolderIterator::ZipFolderIterator(std::shared_ptr<ZipArchive> archive, std::string_view folder)
    : zip(std::move(archive)), prefix(folder) {}

const char* ZipFolderIterator::name() const {
    if (!isValid) {
        return "";
    }
    const char* after = current + prefix.size();
    return *after == '/' ? after + 1 : after;
}

void ZipFolderIterator::next() {
    if (!isValid) {
        return;
    }
    LockGuard guard = LockGuard::locked(zip->lock);
    advanceLocked();
}

void ZipFolderIterator::savePositionLocked() {
    unz_file_pos position{};
    if (unzGetFilePos(zip->handle, &position) != UNZ_OK) {
        isValid = false;
        return;
    }
    directoryOffset = position.pos_in_zip_directory;
    fileNumber = position.num_of_file;
}

void ZipFolderIterator::advanceLocked() {
    if (!isValid) {
        return;
    }
    unz_file_pos position{};
    position.pos_in_zip_directory = static_cast<uLong>(directoryOffset);
    position.num_of_file = static_cast<uLong>(fileNumber);
    if (unzGoToFilePos(zip->handle, &position) != UNZ_OK || unzGoToNextFile(zip->handle) != UNZ_OK ||
        !currentName(zip->handle, current, nullptr)) {
        isValid = false;
        return;
    }
    size_t length = std::strlen(current);
    isFolder = length > 0 && current[length - 1] == '/';
    if (isFolder) {
        current[length - 1] = '\0';
        --length;
    }
    if (length < prefix.size() || std::memcmp(current, prefix.data(), prefix.size()) != 0) {
        isValid = false;  // the folder's members end at the first member outside it
        return;
    }
    savePositionLocked();
}

}  // namespace tarsk

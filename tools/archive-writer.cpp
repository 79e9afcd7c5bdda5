// ArchiveWriter: zipOpen / zipOpenNewFileInZip / zipWriteInFileInZip / zipCloseFileInZip / zipClose with
// a fixed date and fixed attributes on every member.
#include "archive-writer.h"

#include <zip.h>
#include <zlib.h>

#include <limits>

namespace tarsk {

namespace {

constexpr uLong kFolderAttribute = 0x10;  // MS-DOS directory bit
constexpr int kArchiveYear = 2024;        // every member is dated 1 January 2024, 00:00:00

zip_fileinfo fixedInfo(bool folder) {
    zip_fileinfo info{};
    info.tmz_date.tm_year = kArchiveYear;
    info.tmz_date.tm_mon = 0;
    info.tmz_date.tm_mday = 1;
    info.dosDate = 0;  // use tmz_date
    info.internal_fa = 0;
    info.external_fa = folder ? kFolderAttribute : 0;
    return info;
}

}  // namespace

ArchiveWriter::~ArchiveWriter() {
    if (zip != nullptr) {
        zipClose(static_cast<zipFile>(zip), nullptr);
    }
}

bool ArchiveWriter::open(const std::string& path, std::string& error) {
    if (zip != nullptr) {
        error = "an archive is already open";
        return false;
    }
    zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        error = "cannot create '" + path + "'";
        return false;
    }
    return true;
}

bool ArchiveWriter::addMember(const std::string& name, const uint8_t* bytes, size_t size, bool folder,
                              bool compress, std::string& error) {
    if (zip == nullptr) {
        error = "no archive is open";
        return false;
    }
    if (size > std::numeric_limits<unsigned>::max()) {
        error = "'" + name + "' is too large";
        return false;
    }
    zipFile file = static_cast<zipFile>(zip);
    const zip_fileinfo info = fixedInfo(folder);
    const int method = compress ? Z_DEFLATED : 0;
    const int level = compress ? Z_BEST_COMPRESSION : 0;
    if (zipOpenNewFileInZip(file, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method, level) != ZIP_OK) {
        error = "cannot add '" + name + "'";
        return false;
    }
    bool written = size == 0 || zipWriteInFileInZip(file, bytes, static_cast<unsigned>(size)) == ZIP_OK;
    if (zipCloseFileInZip(file) != ZIP_OK || !written) {
        error = "cannot write '" + name + "'";
        return false;
    }
    return true;
}

bool ArchiveWriter::addFolder(const std::string& name, std::string& error) {
    std::string folder = name;
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return addMember(folder, nullptr, 0, true, false, error);
}

bool ArchiveWriter::addFile(const std::string& name, const std::vector<uint8_t>& bytes, bool compress,
                            std::string& error) {
    return addMember(name, bytes.data(), bytes.size(), false, compress, error);
}

bool ArchiveWriter::close(std::string& error) {
    if (zip == nullptr) {
        error = "no archive is open";
        return false;
    }
    const int status = zipClose(static_cast<zipFile>(zip), nullptr);
    zip = nullptr;
    if (status != ZIP_OK) {
        error = "cannot finish the archive";
        return false;
    }
    return true;
}

}  // namespace tarsk

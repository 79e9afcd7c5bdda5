// ArchiveWriter: writes a ZIP archive with minizip's zip interface, member by member, with fixed
// timestamps so that the same members always give the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarsk {

class ArchiveWriter {
public:
    ArchiveWriter() = default;
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Creates (or replaces) the archive file.
    bool open(const std::string& path, std::string& error);
    // A folder entry: the name ends in '/' (added when missing), no data.
    bool addFolder(const std::string& name, std::string& error);
    // A file member, deflated (or stored when compress is false).
    bool addFile(const std::string& name, const std::vector<uint8_t>& bytes, bool compress, std::string& error);
    // Writes the central directory and closes the file.
    bool close(std::string& error);

private:
    bool addMember(const std::string& name, const uint8_t* bytes, size_t size, bool folder, bool compress,
                   std::string& error);

    void* zip = nullptr;  // zipFile
};

}  // namespace tarsk

// The factory archive: every readable program source under resources/factory/<Category>/ built into
// its .fxp file and stored in presets.zip under presets/<Category>/<encoded program name>.fxp.
#pragma once

#include <cstddef>
#include <string>

namespace tarsk {

constexpr const char* kFactoryArchiveRoot = "presets/";
constexpr const char* kProgramSourceExtension = ".program";

struct FactoryArchiveSummary {
    size_t programs = 0;
    size_t categories = 0;
};

// Reads the sources and writes the archive: "presets/" first, then for each category, in byte order of
// the names, its folder entry followed by its programs in byte order of their member names. Members
// carry fixed dates, so the same sources always give the same archive. The archive appears only when
// everything succeeded. Folders and files whose names begin with '.' are skipped.
bool makeFactoryArchive(const std::string& factoryFolder, const std::string& archivePath,
                        FactoryArchiveSummary& summary, std::string& error);

}  // namespace tarsk

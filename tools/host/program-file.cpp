// Reading and checking .fxp program files for the render and measure commands.
#include "host/program-file.h"

#include <cstdio>

#include "engine/program-record.h"
#include "host/input-file.h"
#include "presets/fxp-file.h"
#include "presets/program-chunk.h"
#include "tarsklib/stream.h"

namespace tarskhost {

namespace {

constexpr size_t kMinimumChunkBytes = 17;  // what the plug-in's effSetChunk takes at the least

uint32_t firstWord(const uint8_t* data) {
    return uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24;
}

std::string hexWord(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", value);
    return text;
}

}  // namespace

bool checkProgramChunk(const uint8_t* data, size_t size, std::string& error) {
    if (data == nullptr || size < kMinimumChunkBytes) {
        error = "its chunk of " + std::to_string(size) + " bytes is too short for a program";
        return false;
    }
    const uint32_t magic = firstWord(data);
    if (magic != tarsk::kProgramMagic && magic != tarsk::kProgramMagicOld) {
        error = "its chunk starts with " + hexWord(magic) + ", not with a program's magic word (" +
                hexWord(tarsk::kProgramMagic) + " or " + hexWord(tarsk::kProgramMagicOld) + ")";
        return false;
    }
    tarsk::ProgramRecord record;
    if (!tarsk::readChunk(record, data, size)) {
        error = "an unknown layout, or shorter than its layout";
        return false;
    }
    return true;
}

bool chunkOfFxp(const std::vector<uint8_t>& bytes, const std::string& name, std::vector<uint8_t>& chunk,
                std::string& error) {
    tarsk::MemoryStream stream(bytes.data(), bytes.size());
    std::vector<uint8_t> data(tarsk::kMaxChunkBytes);
    size_t size = 0;
    if (!tarsk::readFxpChunk(stream, data.data(), size)) {
        error = "'" + name + "' is not a TarskVerb program file: its .fxp header or chunk size is wrong";
        return false;
    }
    std::string reason;
    if (!checkProgramChunk(data.data(), size, reason)) {
        error = "'" + name + "' holds no readable program: " + reason;
        return false;
    }
    data.resize(size);
    chunk = std::move(data);
    return true;
}

bool writeProgramFile(const std::string& path, const uint8_t* chunk, size_t size, std::string& error) {
    std::string reason;
    if (!checkProgramChunk(chunk, size, reason)) {
        error = "the plug-in's program chunk is not a program: " + reason;
        return false;
    }
    tarsk::ProgramRecord record;
    tarsk::readChunk(record, chunk, size);
    tarsk::FileStream file(path.c_str(), tarsk::kOpenWrite);
    if (!file.isOpen() || !tarsk::writeFxp(file, record) || !file.flush()) {
        error = "cannot write the program file '" + path + "'";
        return false;
    }
    return true;
}

bool readProgramFile(const std::string& path, std::vector<uint8_t>& chunk, std::string& error) {
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!readRegularFile(path, kMaxProgramFileBytes, bytes, reason)) {
        error = "cannot open the program file '" + path + "': " + reason;
        return false;
    }
    return chunkOfFxp(bytes, path, chunk, error);
}

}  // namespace tarskhost

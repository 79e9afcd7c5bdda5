// Sound files for the command-line tools: the libsndfile calls behind SoundFileReader and SoundFileWriter.
#include "host/sound-file.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cctype>

#include "host/input-file.h"

namespace tarskhost {

namespace {

std::string lowerExtension(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return "";
    }
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

int majorFormat(Container container) {
    switch (container) {
        case Container::wav:
            return SF_FORMAT_WAV;
        case Container::aiff:
            return SF_FORMAT_AIFF;
        case Container::flac:
            return SF_FORMAT_FLAC;
        case Container::unknown:
            break;
    }
    return 0;
}

int subFormat(SampleFormat format) {
    switch (format) {
        case SampleFormat::float32:
            return SF_FORMAT_FLOAT;
        case SampleFormat::pcm16:
            return SF_FORMAT_PCM_16;
        case SampleFormat::pcm24:
            return SF_FORMAT_PCM_24;
    }
    return 0;
}

}  // namespace

Container containerForPath(const std::string& path) {
    std::string extension = lowerExtension(path);
    if (extension == "wav") {
        return Container::wav;
    }
    if (extension == "aif" || extension == "aiff") {
        return Container::aiff;
    }
    if (extension == "flac") {
        return Container::flac;
    }
    return Container::unknown;
}

const char* containerName(Container container) {
    switch (container) {
        case Container::wav:
            return "WAV";
        case Container::aiff:
            return "AIFF";
        case Container::flac:
            return "FLAC";
        case Container::unknown:
            break;
    }
    return "unknown";
}

bool containerHolds(Container container, SampleFormat format) {
    if (container == Container::unknown) {
        return false;
    }
    return !(container == Container::flac && format == SampleFormat::float32);
}

SampleFormat defaultSampleFormat(Container container) {
    return containerHolds(container, SampleFormat::float32) ? SampleFormat::float32 : SampleFormat::pcm24;
}

bool parseSampleFormat(const std::string& text, SampleFormat& format) {
    if (text == "float") {
        format = SampleFormat::float32;
    } else if (text == "pcm16") {
        format = SampleFormat::pcm16;
    } else if (text == "pcm24") {
        format = SampleFormat::pcm24;
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Frames and channels

void spreadFrames(const float* interleaved, int fileChannels, bool mean, int64_t count, float* left, float* right) {
    if (fileChannels == 1) {
        std::copy(interleaved, interleaved + count, left);
        std::copy(interleaved, interleaved + count, right);
    } else if (mean) {
        for (int64_t i = 0; i < count; ++i) {
            left[i] = 0.5f * (interleaved[2 * i] + interleaved[2 * i + 1]);
        }
        std::copy(left, left + count, right);
    } else {
        for (int64_t i = 0; i < count; ++i) {
            left[i] = interleaved[2 * i];
            right[i] = interleaved[2 * i + 1];
        }
    }
}

int64_t interleaveFrames(const float* left, const float* right, int64_t count, float* interleaved) {
    // A float is not finite when all its exponent bits are set (NaN and infinities).
    constexpr uint32_t kExponentBits = 0x7F800000u;
    int64_t nonFinite = 0;
    for (int64_t i = 0; i < count; ++i) {
        const float l = left[i];
        const float r = right[i];
        interleaved[2 * i] = l;
        interleaved[2 * i + 1] = r;
        nonFinite += ((std::bit_cast<uint32_t>(l) & kExponentBits) == kExponentBits ? 1 : 0) +
                     ((std::bit_cast<uint32_t>(r) & kExponentBits) == kExponentBits ? 1 : 0);
    }
    return nonFinite;
}

// ---------------------------------------------------------------------------------------------
// Reading

SoundFileReader::~SoundFileReader() {
    if (file != nullptr) {
        sf_close(file);
    }
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

bool SoundFileReader::open(const std::string& path, std::string& error) {
    info = SF_INFO{};
    // Opened here rather than by libsndfile, so that a FIFO or a device is refused before it blocks.
    descriptor = openRegularFile(path, error);
    if (descriptor < 0) {
        return false;
    }
    file = sf_open_fd(descriptor, SFM_READ, &info, SF_FALSE);
    if (file == nullptr) {
        error = sf_strerror(nullptr);
        ::close(descriptor);
        descriptor = -1;
        return false;
    }
    return true;
}

int64_t SoundFileReader::read(float* interleaved, int64_t count, std::string& error) {
    sf_count_t got = sf_readf_float(file, interleaved, count);
    if (got < count && sf_error(file) != SF_ERR_NO_ERROR) {
        error = sf_strerror(file);
        return -1;
    }
    return got;
}

// ---------------------------------------------------------------------------------------------
// Writing

SoundFileWriter::~SoundFileWriter() {
    if (file != nullptr) {
        sf_close(file);
    }
}

bool SoundFileWriter::open(const std::string& path, Container container, SampleFormat format, int sampleRate,
                           int channels, std::string& error) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = majorFormat(container) | subFormat(format);
    if (!containerHolds(container, format) || sf_format_check(&info) == 0) {
        error = std::string(containerName(container)) + " cannot hold this sample format at this rate";
        return false;
    }
    file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        error = sf_strerror(nullptr);
        return false;
    }
    if (format != SampleFormat::float32) {
        // Without clipping, libsndfile wraps values beyond full scale around to the opposite sign.
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    // No PEAK chunk in float files: keeping it up to date costs a scan of every sample written (a
    // tenth of a whole render), and with its time stamp two renders of the same input would differ.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    return true;
}

bool SoundFileWriter::write(const float* interleaved, int64_t count, std::string& error) {
    if (sf_writef_float(file, interleaved, count) != count) {
        error = sf_strerror(file);
        return false;
    }
    return true;
}

bool SoundFileWriter::close(std::string& error) {
    if (file == nullptr) {
        return true;
    }
    // No sf_write_sync here: it only flushes the samples to disk before sf_close writes the final
    // header, so it bought no durable file, yet it made every render wait for the disk.
    int status = sf_error(file);
    if (status != SF_ERR_NO_ERROR) {
        error = sf_error_number(status);
    }
    int closed = sf_close(file);
    file = nullptr;
    if (status == SF_ERR_NO_ERROR && closed != 0) {
        error = sf_error_number(closed);
        status = closed;
    }
    return status == SF_ERR_NO_ERROR;
}

}  // namespace tarskhost

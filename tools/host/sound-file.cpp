// Sound files for the command-line tools: the libsndfile calls behind SoundFileReader and SoundFileWriter.
#include "host/sound-file.h"

#include <algorithm>
#include <cctype>

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
// Reading

SoundFileReader::~SoundFileReader() {
    if (file != nullptr) {
        sf_close(file);
    }
}

bool SoundFileReader::open(const std::string& path, std::string& error) {
    info = SF_INFO{};
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        error = sf_strerror(nullptr);
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
    sf_write_sync(file);
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

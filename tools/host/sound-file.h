// Sound files for the command-line tools: WAV, AIFF and FLAC read and written through libsndfile.
#pragma once

#include <sndfile.h>

#include <cstdint>
#include <string>

namespace tarskhost {

enum class Container { unknown, wav, aiff, flac };
enum class SampleFormat { float32, pcm16, pcm24 };

// The container a file name asks for by its extension (.wav, .aif, .aiff, .flac, in any letter case).
Container containerForPath(const std::string& path);
const char* containerName(Container container);
// Whether the container can hold samples of the format (FLAC holds integers only).
bool containerHolds(Container container, SampleFormat format);
// 32-bit float where the container holds it, 24-bit integers otherwise.
SampleFormat defaultSampleFormat(Container container);
// Parses "float", "pcm16" or "pcm24"; answers false for anything else.
bool parseSampleFormat(const std::string& text, SampleFormat& format);

// Frames between a sound file's interleaved samples and a plug-in's channel buffers.
// Spreads count frames of a mono or stereo file over two channels: mono feeds both, stereo goes
// left and right, or with `mean` both get the mean of the pair (a plug-in with one input).
void spreadFrames(const float* interleaved, int fileChannels, bool mean, int64_t count, float* left, float* right);
// Interleaves count frames of two channels; answers how many of the samples are not finite.
int64_t interleaveFrames(const float* left, const float* right, int64_t count, float* interleaved);

// Reads interleaved float frames; integer files come scaled to -1..1.
class SoundFileReader {
public:
    SoundFileReader() = default;
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    bool open(const std::string& path, std::string& error);
    int channels() const { return info.channels; }
    int sampleRate() const { return info.samplerate; }
    int64_t frames() const { return info.frames; }
    // Reads up to count frames into interleaved; answers the number read (0 at the end), or -1 with a
    // message in error when the file could not be read.
    int64_t read(float* interleaved, int64_t count, std::string& error);

private:
    SNDFILE* file = nullptr;
    int descriptor = -1;  // the file libsndfile reads; closed after it
    SF_INFO info{};
};

// Writes interleaved float frames; integer formats are rounded and clipped to their range.
class SoundFileWriter {
public:
    SoundFileWriter() = default;
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    bool open(const std::string& path, Container container, SampleFormat format, int sampleRate, int channels,
              std::string& error);
    bool write(const float* interleaved, int64_t count, std::string& error);
    // Finishes the file (headers, sizes); answers false when that failed.
    bool close(std::string& error);

private:
    SNDFILE* file = nullptr;
};

}  // namespace tarskhost

// The measure command of tarskverb-host: renders a noise burst through the plug-in with one or more
// programs and prints one line of measurements for each, for tuning programs by their numbers.
#include "host/measure-command.h"

#include <cstdio>

#include "host/command-line.h"
#include "host/exit-codes.h"
#include "host/factory-programs.h"
#include "host/input-file.h"
#include "host/program-file.h"
#include "host/program-measure.h"
#include "program-source.h"

namespace tarskhost {

const char* const kMeasureUsage =
    "  measure [OPTIONS] PLUGIN.so [PROGRAM...]\n"
    "                    play one second of white noise (peaks at -12 dBFS) through each PROGRAM\n"
    "                    and print the output's peak, its level against the input, how long the\n"
    "                    tail takes to fall below -90 dBFS, its RT60 and the spectral centre during\n"
    "                    and after the noise; then, from the wet impulse response, the late tail's\n"
    "                    spectral peakiness (2 = noise-like), its left/right correlation, the bass\n"
    "                    ratio T30(125 Hz)/T30(1 kHz) and the ms from the first arrival until the\n"
    "                    echo density stays >= 0.9. PROGRAM is a FILE.fxp, a readable FILE.program or\n"
    "                    a factory program \"CATEGORY/NAME\"; without one, every factory program\n"
    "    --rate HZ            sample rate (default 48000)\n"
    "    --tempo BPM          tempo the host reports (default 120)\n"
    "    --max-tail SECONDS   longest tail rendered after the noise (default 30)\n";

namespace {

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The chunk of a program argument: a .fxp file, a readable source or a factory program.
bool programChunk(const std::string& pluginPath, const std::string& program, std::vector<uint8_t>& chunk,
                  std::string& error) {
    if (endsWith(program, ".program")) {
        std::vector<uint8_t> text;
        std::string reason;
        if (!readRegularFile(program, kMaxProgramFileBytes, text, reason)) {
            error = "cannot read the program source '" + program + "': " + reason;
            return false;
        }
        tarsk::ProgramSource source;
        std::vector<uint8_t> bytes;
        if (!tarsk::parseProgramSource(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                                       program, source, error) ||
            !tarsk::buildProgramFile(source, bytes, error)) {
            return false;
        }
        return chunkOfFxp(bytes, program, chunk, error);
    }
    if (endsWith(program, ".fxp")) {
        return readProgramFile(program, chunk, error);
    }
    return loadFactoryProgram(pluginPath, program, chunk, error);
}

int usageError(const std::string& message) { return reportUsageError("measure", message); }

const OptionSpec kMeasureOptions[] = {{"--rate", true}, {"--tempo", true}, {"--max-tail", true}};

// Program arguments may start with one dash; only "--" marks an option.
constexpr OptionSyntax kMeasureSyntax{.optionStart = "--"};

constexpr double kMinRate = 8000.0;
constexpr double kMaxRate = 384000.0;
constexpr double kMinTempo = 1.0;
constexpr double kMaxTempo = 999.0;
constexpr double kMinTailSeconds = 0.1;
constexpr double kMaxTailSeconds = 600.0;

}  // namespace

int runMeasure(const std::vector<std::string>& args) {
    MeasureSettings settings;
    std::vector<std::string> positional;
    CommandLine line(args, kMeasureOptions, kMeasureSyntax);
    for (CommandLine::Item item = line.next(); item != CommandLine::Item::end; item = line.next()) {
        if (item == CommandLine::Item::error) {
            return usageError(line.error());
        }
        if (item == CommandLine::Item::positional) {
            positional.push_back(line.value());
            continue;
        }
        const std::string& value = line.value();
        if (line.is("--rate")) {
            if (!readDecimal(value, kMinRate, kMaxRate, settings.sampleRate)) {
                return usageError("--rate takes hertz from " + limitText(kMinRate) + " to " + limitText(kMaxRate) +
                                  ", not '" + value + "'");
            }
        } else if (line.is("--tempo")) {
            if (!readDecimal(value, kMinTempo, kMaxTempo, settings.tempo)) {
                return usageError("--tempo takes beats per minute from " + limitText(kMinTempo) + " to " +
                                  limitText(kMaxTempo) + ", not '" + value + "'");
            }
        } else if (!readDecimal(value, kMinTailSeconds, kMaxTailSeconds, settings.maxTailSeconds)) {
            return usageError("--max-tail takes seconds from " + limitText(kMinTailSeconds) + " to " +
                              limitText(kMaxTailSeconds) + ", not '" + value + "'");
        }
    }
    if (positional.empty()) {
        return usageError("expected PLUGIN.so");
    }
    const std::string pluginPath = positional[0];
    std::vector<std::string> programs(positional.begin() + 1, positional.end());
    std::string error;
    if (programs.empty() && !listFactoryPrograms(pluginPath, programs, error)) {
        return reportFailure(error);
    }

    std::printf("%8s %7s %7s %7s %8s %8s %6s %6s %6s %6s  %s\n", "peak", "gain", "tail", "rt60", "centre", "tail at",
                "peaky", "corr", "bass", "dense", "program");
    std::printf("%8s %7s %7s %7s %8s %8s %6s %6s %6s %6s\n", "dBFS", "dB", "s", "s", "Hz", "Hz", "", "", "", "ms");
    int status = kExitOk;
    for (const std::string& program : programs) {
        std::vector<uint8_t> chunk;
        ProgramMeasurement m;
        TailFigures figures;
        if (!programChunk(pluginPath, program, chunk, error) || !measureProgram(pluginPath, chunk, settings, m, error) ||
            (m.finite && !measureTailFigures(pluginPath, chunk, settings, figures, error))) {
            status = reportFailure(error);
            continue;
        }
        char tail[16];
        if (m.sustains) {
            std::snprintf(tail, sizeof(tail), "%s", "sust.");
        } else {
            std::snprintf(tail, sizeof(tail), "%.2f", m.tailSeconds);
        }
        char tailFigures[64];
        if (figures.valid) {
            std::snprintf(tailFigures, sizeof(tailFigures), "%6.2f %+6.2f %6.2f %6.0f", figures.peakiness,
                          figures.correlation, figures.bassRatio, figures.densitySeconds * 1000.0);
        } else {
            std::snprintf(tailFigures, sizeof(tailFigures), "%6s %6s %6s %6s", "-", "-", "-", "-");
        }
        std::printf("%8.1f %7.1f %7s %7.2f %8.0f %8.0f %s  %s%s\n", m.peakDbfs, m.gainDb, tail, m.decaySeconds,
                    m.burstCentroidHz, m.tailCentroidHz, tailFigures, program.c_str(), m.finite ? "" : "  NOT FINITE");
        std::fflush(stdout);
        if (!m.finite) {
            status = kExitFailure;
        }
    }
    return status;
}

}  // namespace tarskhost

// The measure command of tarskverb-host: renders a noise burst through the plug-in with one or more
// programs and prints one line of measurements for each, for tuning programs by their numbers.
#include "host/measure-command.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

bool parseInRange(const std::string& text, double low, double high, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && errno == 0 && value >= low && value <= high;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "tarskverb-host measure: %s\n(tarskverb-host --help lists the options)\n", message.c_str());
    return kExitUsage;
}

}  // namespace

int runMeasure(const std::vector<std::string>& args) {
    MeasureSettings settings;
    std::vector<std::string> positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--rate" || arg == "--tempo" || arg == "--max-tail") {
            if (i + 1 >= args.size()) {
                return usageError(arg + " needs a value");
            }
            const std::string& value = args[++i];
            double number = 0.0;
            if (arg == "--rate") {
                if (!parseInRange(value, 8000.0, 384000.0, number)) {
                    return usageError("--rate takes hertz from 8000 to 384000, not '" + value + "'");
                }
                settings.sampleRate = number;
            } else if (arg == "--tempo") {
                if (!parseInRange(value, 1.0, 999.0, number)) {
                    return usageError("--tempo takes beats per minute from 1 to 999, not '" + value + "'");
                }
                settings.tempo = number;
            } else {
                if (!parseInRange(value, 0.1, 600.0, number)) {
                    return usageError("--max-tail takes seconds from 0.1 to 600, not '" + value + "'");
                }
                settings.maxTailSeconds = number;
            }
        } else if (arg.rfind("--", 0) == 0) {
            return usageError("unknown option '" + arg + "'");
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty()) {
        return usageError("expected PLUGIN.so");
    }
    const std::string pluginPath = positional[0];
    std::vector<std::string> programs(positional.begin() + 1, positional.end());
    std::string error;
    if (programs.empty() && !listFactoryPrograms(pluginPath, programs, error)) {
        std::fprintf(stderr, "tarskverb-host: %s\n", error.c_str());
        return kExitFailure;
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
            std::fprintf(stderr, "tarskverb-host: %s\n", error.c_str());
            status = kExitFailure;
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

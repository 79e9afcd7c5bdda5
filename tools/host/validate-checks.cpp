// The checks of tarskverb-host validate. They assume nothing about the plug-in beyond the VST 2.x
// interface: any effect with processReplacing can be validated; what a plug-in does not announce
// (chunks, programs, an editor) is skipped.
#include "host/validate-checks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include "host/validate-alloc.h"
#include "host/validate-editor-window.h"
#include "host/validate-instance.h"

namespace tarskhost::validate {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kRate = 48000.0;
constexpr int32_t kBlock = 512;
constexpr float kSignal = 0.25f;        // -12 dBFS test noise
constexpr float kBurst = 1.0f;          // 0 dBFS burst
constexpr float kPeakLimit = 1000.0f;   // +60 dBFS: more than any effect should give for a -12 dBFS input
constexpr int32_t kMaxProgramsChecked = 8;
constexpr int32_t kMaxEditorSide = 4096;

// ---------------------------------------------------------------------------------------------
// Small helpers

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char text[1024];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof(text), pattern, args);
    va_end(args);
    return text;
}

CheckResult pass(std::string detail) { return {CheckStatus::pass, std::move(detail)}; }
CheckResult fail(std::string detail) { return {CheckStatus::fail, std::move(detail)}; }
CheckResult skip(std::string detail) { return {CheckStatus::skip, std::move(detail)}; }

double decibels(double ratio) { return ratio > 0.0 ? 20.0 * std::log10(ratio) : -999.0; }

int32_t framesOf(double seconds, double rate) { return static_cast<int32_t>(seconds * rate); }

bool hasChunks(const vst2::AEffect& e) { return (e.flags & vst2::effFlagsProgramChunks) != 0; }

int32_t programsChecked(const vst2::AEffect& e) { return std::clamp(e.numPrograms, 0, kMaxProgramsChecked); }

// The first byte at which two chunks differ, or -1 when they are identical.
long firstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(n);
}

// The library and the instances of one check.
struct Session {
    PluginLibrary library;
    std::vector<std::unique_ptr<Instance>> instances;
    std::string error;

    bool load(const CheckContext& context) { return library.load(context.pluginPath, error); }

    // A new instance, started at the rate and block size; null (with error set) when creation fails.
    Instance* make(double rate = kRate, int32_t block = kBlock) {
        auto instance = std::make_unique<Instance>(library);
        if (!instance->create(rate, block, error)) {
            return nullptr;
        }
        instances.push_back(std::move(instance));
        return instances.back().get();
    }
};

// Renders seconds of audio in blocks: noise at amplitude (0 = silence); the outputs of every block
// are added to totals, and, when kept is given, the first output channel is appended to it.
void render(Instance& instance, AudioBlock& block, Noise& noise, double seconds, float amplitude, RunTotals& totals,
            std::vector<float>* kept = nullptr, int32_t blockFrames = kBlock) {
    int32_t remaining = framesOf(seconds, instance.rate());
    blockFrames = std::min(blockFrames, block.capacity());
    while (remaining > 0) {
        const int32_t n = std::min(remaining, blockFrames);
        if (amplitude > 0.0f) {
            noise.fill(block, n, amplitude);
        } else {
            fillConstant(block, n, 0.0f);
        }
        totals.add(block.process(instance, n));
        if (kept != nullptr && block.outputCount() > 0) {
            kept->insert(kept->end(), block.output(0), block.output(0) + n);
        }
        remaining -= n;
    }
}

std::string problemsOf(const RunTotals& totals) {
    std::string text;
    if (totals.unwrittenBlocks > 0) {
        text += format("%lld of %lld blocks left unwritten; ", static_cast<long long>(totals.unwrittenBlocks),
                       static_cast<long long>(totals.blocks));
    }
    if (totals.overrunBlocks > 0) {
        text += format("%lld blocks written past their end; ", static_cast<long long>(totals.overrunBlocks));
    }
    if (totals.nonFinite > 0) {
        text += format("%lld non-finite samples; ", static_cast<long long>(totals.nonFinite));
    }
    if (totals.peak > kPeakLimit) {
        text += format("peak %.1f dBFS for a -12 dBFS input; ", decibels(totals.peak));
    }
    if (!text.empty()) {
        text.resize(text.size() - 2);
    }
    return text;
}

bool healthy(const RunTotals& totals) { return totals.clean() && totals.peak <= kPeakLimit; }

// ---------------------------------------------------------------------------------------------
// Open and close

CheckResult checkOpenClose(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    const int cycles = context.quick ? 10 : 50;
    Noise noise(context.seed);
    RunTotals totals;
    const auto start = Clock::now();
    for (int i = 0; i < cycles; ++i) {
        Instance instance(s.library);
        if (!instance.create(kRate, kBlock, s.error)) {
            return fail(format("cycle %d: %s", i + 1, s.error.c_str()));
        }
        AudioBlock block(*instance.effect(), kBlock);
        render(instance, block, noise, 4.0 * kBlock / kRate, kSignal, totals);
    }
    const double perCycle = std::chrono::duration<double, std::milli>(Clock::now() - start).count() / cycles;
    // Interleaved lives: the second instance outlives the first and must keep working.
    {
        Instance first(s.library);
        Instance second(s.library);
        if (!first.create(kRate, kBlock, s.error) || !second.create(44100.0, 256, s.error)) {
            return fail("two instances at once: " + s.error);
        }
        AudioBlock block(*second.effect(), 256);
        render(second, block, noise, 0.05, kSignal, totals, nullptr, 256);
        first.destroy();
        render(second, block, noise, 0.05, kSignal, totals, nullptr, 256);
    }
    std::string detail = format("%d open/close cycles (%.2f ms each) and two overlapping instances; %s", cycles,
                                perCycle, totals.describe().c_str());
    return healthy(totals) ? pass(detail) : fail(problemsOf(totals) + " (" + detail + ")");
}

// ---------------------------------------------------------------------------------------------
// State round trip

CheckResult checkStateRoundTrip(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* a = s.make();
    Instance* b = s.make();
    if (a == nullptr || b == nullptr) {
        return fail(s.error);
    }
    if (!hasChunks(*a->effect())) {
        return skip("the plug-in keeps no chunks (effFlagsProgramChunks clear)");
    }
    Noise noise(context.seed);
    AudioBlock block(*a->effect(), kBlock);
    RunTotals totals;
    const int32_t programs = std::max(programsChecked(*a->effect()), 1);
    size_t smallest = std::numeric_limits<size_t>::max();
    size_t largest = 0;
    int programChunks = 0;
    for (int32_t p = 0; p < programs; ++p) {
        if (a->effect()->numPrograms > 0) {
            a->dispatch(vst2::effSetProgram, 0, p);
        }
        for (bool isProgram : {false, true}) {
            const char* kind = isProgram ? "program chunk" : "bank chunk";
            std::vector<uint8_t> saved = a->saveChunk(isProgram);
            if (saved.empty()) {
                if (isProgram) {
                    continue;  // program chunks are optional
                }
                return fail(format("program %d: effGetChunk answered no bank chunk", p));
            }
            programChunks += isProgram ? 1 : 0;
            smallest = std::min(smallest, saved.size());
            largest = std::max(largest, saved.size());
            render(*a, block, noise, 0.1, kSignal, totals);
            std::vector<uint8_t> afterAudio = a->saveChunk(isProgram);
            if (long at = firstDifference(saved, afterAudio); at >= 0) {
                return fail(format("program %d: processing audio changed the %s (%zu -> %zu bytes, first difference at "
                                   "byte %ld)", p, kind, saved.size(), afterAudio.size(), at));
            }
            a->loadChunk(saved, isProgram);
            std::vector<uint8_t> again = a->saveChunk(isProgram);
            if (long at = firstDifference(saved, again); at >= 0) {
                return fail(format("program %d: %s not byte-identical after setChunk and getChunk (%zu -> %zu bytes, "
                                   "first difference at byte %ld)", p, kind, saved.size(), again.size(), at));
            }
            if (b->effect()->numPrograms > 0) {
                b->dispatch(vst2::effSetProgram, 0, p);
            }
            b->loadChunk(saved, isProgram);
            std::vector<uint8_t> across = b->saveChunk(isProgram);
            if (long at = firstDifference(saved, across); at >= 0) {
                return fail(format("program %d: %s loaded into a second instance comes back different (%zu -> %zu "
                                   "bytes, first difference at byte %ld)", p, kind, saved.size(), across.size(), at));
            }
        }
    }
    std::string detail = format("%d programs, %zu to %zu bytes: bank chunks%s byte-identical after reload, in a second "
                                "instance and after processing",
                                programs, smallest, largest, programChunks > 0 ? " and program chunks" : "");
    return healthy(totals) ? pass(detail) : fail(problemsOf(totals));
}

// ---------------------------------------------------------------------------------------------
// Damaged chunks

enum class ChunkDamage { randomBytes, changedWords, truncated, extended, count };
const char* const kDamageNames[] = {"random bytes", "changed words", "truncated", "extended"};

// Values a changed word takes: extremes of integers and floats, and plausible parameter values.
uint32_t hostileWord(Noise& noise) {
    static const float kFloats[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 2.0f, 4.0f, -4.0f, 100.0f, 1e6f, -1e6f, 1e30f,
                                    -1e30f, 1e-30f, 1e-40f, std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest()};
    static const uint32_t kIntegers[] = {0u, 1u, 2u, 3u, 4u, 7u, 8u, 255u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFu};
    const uint64_t pick = noise.next();
    switch (pick % 3) {
        case 0: {
            const float f = kFloats[(pick >> 8) % std::size(kFloats)];
            uint32_t bits;
            std::memcpy(&bits, &f, sizeof(bits));
            return bits;
        }
        case 1:
            return kIntegers[(pick >> 8) % std::size(kIntegers)];
        default:
            return static_cast<uint32_t>(pick >> 32);
    }
}

// A damaged copy of a valid chunk (or random bytes); how says what was done, to reproduce it.
std::vector<uint8_t> damage(ChunkDamage kind, const std::vector<uint8_t>& valid, Noise& noise, std::string& how) {
    how.clear();
    std::vector<uint8_t> chunk;
    switch (kind) {
        case ChunkDamage::randomBytes: {
            chunk.resize(noise.next() % (valid.size() * 2 + 64));
            for (auto& byte : chunk) {
                byte = static_cast<uint8_t>(noise.next());
            }
            break;
        }
        case ChunkDamage::changedWords: {
            chunk = valid;
            const size_t words = chunk.size() / 4;
            const int changes = 1 + static_cast<int>(noise.next() % 4);
            for (int i = 0; i < changes && words > 1; ++i) {
                // Word 0 is often a magic number: change it rarely so that most chunks get past it.
                const size_t at = 1 + noise.next() % (words - 1);
                const uint32_t value = hostileWord(noise);
                std::memcpy(chunk.data() + at * 4, &value, sizeof(value));
                how += format("%sword %zu = 0x%08X", how.empty() ? "" : ", ", at, value);
            }
            break;
        }
        case ChunkDamage::truncated:
            chunk.assign(valid.begin(), valid.begin() + static_cast<long>(noise.next() % valid.size()));
            break;
        case ChunkDamage::extended: {
            chunk = valid;
            const size_t extra = 1 + noise.next() % 64;
            for (size_t i = 0; i < extra; ++i) {
                chunk.push_back(static_cast<uint8_t>(noise.next()));
            }
            break;
        }
        case ChunkDamage::count:
            break;
    }
    return chunk;
}

CheckResult checkDamagedChunks(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* instance = s.make();
    if (instance == nullptr) {
        return fail(s.error);
    }
    if (!hasChunks(*instance->effect())) {
        return skip("the plug-in keeps no chunks (effFlagsProgramChunks clear)");
    }
    // Two different valid states when the plug-in has them: the base the instance returns to, and
    // another whose damaged copies are loaded over it.
    std::vector<std::vector<uint8_t>> valid;
    for (int32_t p = 0; p < std::max(programsChecked(*instance->effect()), 1); ++p) {
        instance->dispatch(vst2::effSetProgram, 0, p);
        std::vector<uint8_t> chunk = instance->saveChunk();
        if (!chunk.empty() && std::find(valid.begin(), valid.end(), chunk) == valid.end()) {
            valid.push_back(std::move(chunk));
        }
    }
    if (valid.empty()) {
        return fail("effGetChunk answered no chunk");
    }
    instance->dispatch(vst2::effSetProgram, 0, 0);
    const std::vector<uint8_t> base = instance->saveChunk();

    Noise noise(context.seed);
    AudioBlock block(*instance->effect(), kBlock);
    const int trials = context.quick ? 200 : 1500;
    int refused = 0;
    int accepted = 0;
    int halfLoaded = 0;
    int unsafe = 0;
    int unstable = 0;
    std::string firstProblem;
    for (int trial = 0; trial < trials; ++trial) {
        const auto kind = static_cast<ChunkDamage>(trial % static_cast<int>(ChunkDamage::count));
        const std::vector<uint8_t>& source = valid[noise.next() % valid.size()];
        std::string how;
        const std::vector<uint8_t> chunk = damage(kind, source, noise, how);
        const std::vector<uint8_t> before = instance->saveChunk();
        const intptr_t answer = instance->loadChunk(chunk);
        const std::vector<uint8_t> after = instance->saveChunk();
        auto note = [&](const char* what) {
            if (firstProblem.empty()) {
                firstProblem = format("chunk %d (%s%s%s, %zu bytes) %s", trial, kDamageNames[static_cast<int>(kind)],
                                      how.empty() ? "" : ": ", how.c_str(), chunk.size(), what);
            }
        };
        if (after == before) {
            ++refused;
        } else {
            ++accepted;
            if (kind == ChunkDamage::truncated && answer == 0 && after != source) {
                // Neither refused nor loaded: part of a chunk was taken over while the call reported nothing.
                ++halfLoaded;
                note("was loaded in part");
            }
            RunTotals totals;
            // Long enough for a feedback loop with a gain above 1 to grow past the peak limit.
            render(*instance, block, noise, 0.4, kSignal, totals);
            render(*instance, block, noise, 0.4, 0.0f, totals);
            if (!healthy(totals)) {
                ++unsafe;
                note(("was accepted and plays badly: " + problemsOf(totals)).c_str());
            }
            // What the plug-in accepted it must also save and reload as it is.
            const std::vector<uint8_t> resaved = instance->saveChunk();
            instance->loadChunk(resaved);
            if (instance->saveChunk() != resaved) {
                ++unstable;
                note("was accepted, but its saved state does not reload identically");
            }
        }
        instance->loadChunk(base);
        instance->resume();
        if (instance->saveChunk() != base) {
            return fail(format("after chunk %d the instance no longer returns to its saved state", trial));
        }
    }
    std::string detail = format("%d damaged chunks: %d refused, %d accepted; %d loaded in part, %d accepted and unsafe "
                                "to play, %d not reloading identically",
                                trials, refused, accepted, halfLoaded, unsafe, unstable);
    if (halfLoaded + unsafe + unstable > 0) {
        return fail(detail + "; first: " + firstProblem);
    }
    return pass(detail);
}

// ---------------------------------------------------------------------------------------------
// State changes from another thread while audio runs

struct PacedAudio {
    std::atomic<bool> stop{false};
    // A host under full load (or rendering offline while its user interface stays live) runs the
    // blocks back to back; otherwise two blocks per block period.
    bool fullLoad = false;
    RunTotals totals;
};

// The audio thread of a host: blocks of 512 frames paced at two per block period, or, at full load,
// blocks of 4096 frames back to back, so that dispatcher calls meet running blocks often.
constexpr int32_t kPacedFrames = 512;
constexpr int32_t kFullLoadFrames = 4096;  // offline renders use large blocks

void audioLoop(Instance& instance, PacedAudio& audio, uint64_t seed) {
    const int32_t kFrames = audio.fullLoad ? kFullLoadFrames : kPacedFrames;
    AudioBlock block(*instance.effect(), kFrames);
    Noise noise(seed);
    const auto period = std::chrono::duration<double>(kFrames / kRate / 2.0);
    auto next = Clock::now();
    while (!audio.stop.load(std::memory_order_acquire)) {
        noise.fill(block, kFrames, kSignal);
        audio.totals.add(block.process(instance, kFrames));
        if (audio.fullLoad) {
            continue;
        }
        next += std::chrono::duration_cast<Clock::duration>(period);
        std::this_thread::sleep_until(next);
    }
}

using UiStep = std::function<void(Instance& instance, int step)>;
using AppliedTest = std::function<bool(Instance& instance, int lastStep, std::string& why)>;

CheckResult stateChangesWhileProcessing(const CheckContext& context, Session& s, int instanceCount,
                                        const UiStep& uiStep, const char* what, const AppliedTest& applied) {
    std::vector<Instance*> all;
    for (int i = 0; i < instanceCount; ++i) {
        Instance* instance = s.make(kRate, i % 2 == 1 ? kFullLoadFrames : kPacedFrames);
        if (instance == nullptr) {
            return fail(s.error);
        }
        all.push_back(instance);
    }
    const double seconds = context.quick ? 2.0 : 10.0;
    std::vector<std::unique_ptr<PacedAudio>> audio;
    std::vector<int> lastStep(instanceCount, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < instanceCount; ++i) {
        audio.push_back(std::make_unique<PacedAudio>());
        audio.back()->fullLoad = i % 2 == 1;  // as the instance's block size above
    }
    for (int i = 0; i < instanceCount; ++i) {
        threads.emplace_back(audioLoop, std::ref(*all[i]), std::ref(*audio[i]), context.seed + i);
    }
    std::atomic<bool> uiStop{false};
    // The rest of a busy host: one spinning thread per processor, so that the plug-in's threads are
    // preempted now and then, also while they hold a lock.
    std::vector<std::thread> load;
    for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i) {
        load.emplace_back([&uiStop] {
            volatile uint64_t spins = 0;
            while (!uiStop.load(std::memory_order_relaxed)) {
                spins = spins + 1;
            }
        });
    }
    for (int i = 0; i < instanceCount; ++i) {
        threads.emplace_back([&, i] {
            int step = 0;
            auto next = Clock::now();
            while (!uiStop.load(std::memory_order_acquire)) {
                uiStep(*all[i], step);
                lastStep[i] = step++;
                next += std::chrono::milliseconds(1);
                std::this_thread::sleep_until(next);
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    uiStop.store(true, std::memory_order_release);
    for (int i = 0; i < instanceCount; ++i) {
        threads[instanceCount + i].join();
    }
    for (auto& thread : load) {
        thread.join();
    }
    // Audio keeps running a little after the last change: it must be applied and heard.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (auto& a : audio) {
        a->stop.store(true, std::memory_order_release);
    }
    for (int i = 0; i < instanceCount; ++i) {
        threads[i].join();
    }
    RunTotals totals;
    int steps = 0;
    std::string notApplied;
    for (int i = 0; i < instanceCount; ++i) {
        totals.merge(audio[i]->totals);
        steps += lastStep[i] + 1;
        std::string why;
        if (notApplied.empty() && !applied(*all[i], lastStep[i], why)) {
            notApplied = format("instance %d: %s", i + 1, why.c_str());
        }
    }
    // After the storm the instances must still play: no silence latched by a lost race.
    RunTotals after;
    Noise noise(context.seed);
    for (Instance* instance : all) {
        AudioBlock block(*instance->effect(), kPacedFrames);
        render(*instance, block, noise, 0.05, kSignal, after, nullptr, kPacedFrames);
    }
    std::string detail = format("%d instances (half of them at full load) on a busy machine, %.1f s, %d %s from other threads against "
                                "%lld audio blocks", instanceCount, seconds, steps, what, static_cast<long long>(totals.blocks));
    if (!healthy(totals)) {
        return fail(problemsOf(totals) + " (" + detail + ")");
    }
    if (!healthy(after)) {
        return fail("afterwards: " + problemsOf(after) + " (" + detail + ")");
    }
    if (!notApplied.empty()) {
        return fail(notApplied + " (" + detail + ")");
    }
    return pass(detail + ": every block written, the last change applied");
}

CheckResult checkProgramSwitches(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* probe = s.make();
    if (probe == nullptr) {
        return fail(s.error);
    }
    const int32_t programs = probe->effect()->numPrograms;
    if (programs < 2) {
        return skip(format("the plug-in has %d program(s)", programs));
    }
    s.instances.clear();
    auto step = [programs](Instance& instance, int k) { instance.dispatch(vst2::effSetProgram, 0, k % programs); };
    auto applied = [programs](Instance& instance, int last, std::string& why) {
        const intptr_t now = instance.dispatch(vst2::effGetProgram);
        if (last >= 0 && now != last % programs) {
            why = format("the last program set was %d, effGetProgram answers %ld", last % programs,
                         static_cast<long>(now));
            return false;
        }
        return true;
    };
    return stateChangesWhileProcessing(context, s, context.quick ? 4 : 8, step, "program switches", applied);
}

CheckResult checkChunkLoadsWhileProcessing(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* probe = s.make();
    if (probe == nullptr) {
        return fail(s.error);
    }
    if (!hasChunks(*probe->effect())) {
        return skip("the plug-in keeps no chunks (effFlagsProgramChunks clear)");
    }
    // Two states to alternate between: the first two programs, or the one state there is.
    std::vector<std::vector<uint8_t>> states;
    states.push_back(probe->saveChunk());
    if (probe->effect()->numPrograms > 1) {
        probe->dispatch(vst2::effSetProgram, 0, 1);
        states.push_back(probe->saveChunk());
    }
    if (states.front().empty()) {
        return fail("effGetChunk answered no chunk");
    }
    s.instances.clear();
    auto step = [&states](Instance& instance, int k) { instance.loadChunk(states[k % states.size()]); };
    auto applied = [&states](Instance& instance, int last, std::string& why) {
        if (last >= 0 && instance.saveChunk() != states[last % states.size()]) {
            why = "the state saved afterwards is not the last chunk loaded";
            return false;
        }
        return true;
    };
    return stateChangesWhileProcessing(context, s, context.quick ? 4 : 8, step, "chunk loads", applied);
}

// ---------------------------------------------------------------------------------------------
// Concurrent saves

CheckResult checkConcurrentSaves(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    constexpr int kInstances = 4;
    std::vector<Instance*> all;
    for (int i = 0; i < kInstances; ++i) {
        Instance* instance = s.make();
        if (instance == nullptr) {
            return fail(s.error);
        }
        all.push_back(instance);
    }
    if (!hasChunks(*all[0]->effect())) {
        return skip("the plug-in keeps no chunks (effFlagsProgramChunks clear)");
    }
    const int32_t programs = std::max(all[0]->effect()->numPrograms, 1);
    std::vector<std::vector<uint8_t>> expected;
    for (int i = 0; i < kInstances; ++i) {
        all[i]->dispatch(vst2::effSetProgram, 0, i % programs);
        expected.push_back(all[i]->saveChunk());
        if (expected.back().empty()) {
            return fail("effGetChunk answered no chunk");
        }
    }
    const bool distinct = expected[0] != expected[1];

    // One after the other: the buffer instance 1 handed out must survive instance 2's save.
    void* first = nullptr;
    void* second = nullptr;
    const intptr_t firstSize = all[0]->dispatch(vst2::effGetChunk, 0, 0, &first);
    all[1]->dispatch(vst2::effGetChunk, 0, 0, &second);
    std::string sequential;
    if (first != nullptr && first == second) {
        sequential = "two instances hand out the same chunk buffer; ";
    }
    if (first != nullptr && firstSize > 0 &&
        std::memcmp(first, expected[0].data(), std::min<size_t>(expected[0].size(), static_cast<size_t>(firstSize))) != 0) {
        sequential += "instance 2's save overwrote the chunk instance 1 had just handed out; ";
    }

    const int saves = context.quick ? 2000 : 20000;
    std::vector<int> mismatches(kInstances, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kInstances; ++i) {
        threads.emplace_back([&, i] {
            for (int k = 0; k < saves; ++k) {
                if (all[i]->saveChunk() != expected[i]) {
                    ++mismatches[i];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    int wrong = 0;
    for (int m : mismatches) {
        wrong += m;
    }
    std::string detail = format("%d instances x %d saves at once: %d came back with another state%s", kInstances,
                                saves, wrong, distinct ? "" : " (the instances hold equal states: buffers compared only)");
    return wrong == 0 && sequential.empty() ? pass(detail) : fail(sequential + detail);
}

// ---------------------------------------------------------------------------------------------
// Block sizes

CheckResult checkBlockSizes(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* instance = s.make(kRate, kBlock);
    if (instance == nullptr) {
        return fail(s.error);
    }
    Noise noise(context.seed);
    RunTotals totals;
    std::string firstProblem;
    auto play = [&](AudioBlock& block, int32_t frames, const char* situation) {
        noise.fill(block, frames, kSignal);
        RunTotals one;
        one.add(block.process(*instance, frames));
        if (!healthy(one) && firstProblem.empty()) {
            firstProblem = format("%s, %d frames: %s", situation, frames, problemsOf(one).c_str());
        }
        totals.merge(one);
    };
    // Sizes up to the announced 512, 0 among them.
    {
        AudioBlock block(*instance->effect(), kBlock);
        for (int32_t frames : {1, 2, 3, 5, 7, 16, 31, 64, 100, 127, 128, 256, 333, 511, 512, 0, 1, 0, 512}) {
            play(block, frames, "announced 512");
        }
        const int randomBlocks = context.quick ? 100 : 1000;
        for (int i = 0; i < randomBlocks; ++i) {
            play(block, static_cast<int32_t>(noise.next() % (kBlock + 1)), "announced 512");
        }
    }
    // Larger announced sizes up to 8192.
    for (int32_t announced : {1, 1024, 4096, 8192}) {
        instance->restart(kRate, announced);
        AudioBlock block(*instance->effect(), announced);
        play(block, announced, "announced size");
        for (int i = 0; i < 8; ++i) {
            play(block, 1 + static_cast<int32_t>(noise.next() % static_cast<uint64_t>(announced)), "announced size");
        }
    }
    // Hosts that send more than they announced.
    instance->restart(kRate, 64);
    {
        AudioBlock block(*instance->effect(), 8192);
        for (int32_t frames : {65, 128, 512, 4096, 8192, 64}) {
            play(block, frames, "announced 64");
        }
    }
    std::string detail = format("0 to 8192 frames, announced and larger than announced; %s", totals.describe().c_str());
    return healthy(totals) ? pass(detail) : fail(firstProblem + " (" + detail + ")");
}

// ---------------------------------------------------------------------------------------------
// Sample rates

CheckResult checkSampleRates(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    static const double kRates[] = {8000.0,   11025.0,  16000.0,  22050.0,  32000.0,  44100.0,  48000.0, 88200.0,
                                    96000.0, 176400.0, 192000.0, 352800.0, 384000.0, 705600.0, 768000.0};
    Noise noise(context.seed);
    RunTotals totals;
    std::string problems;
    for (double rate : kRates) {
        Instance instance(s.library);
        if (!instance.create(rate, kBlock, s.error)) {
            return fail(format("%.0f Hz: %s", rate, s.error.c_str()));
        }
        AudioBlock block(*instance.effect(), kBlock);
        RunTotals one;
        render(instance, block, noise, context.quick ? 0.2 : 1.0, kSignal, one);
        render(instance, block, noise, context.quick ? 0.3 : 2.0, 0.0f, one);
        // A rate change on a running instance, as hosts do when the project's rate changes.
        instance.restart(rate == 48000.0 ? 44100.0 : 48000.0, kBlock);
        render(instance, block, noise, 0.05, kSignal, one);
        if (!healthy(one)) {
            problems += format("%.0f Hz: %s; ", rate, problemsOf(one).c_str());
        }
        totals.merge(one);
    }
    std::string detail = format("%zu rates from 8000 to 768000 Hz, %lld blocks, peak %.1f dBFS", std::size(kRates),
                                static_cast<long long>(totals.blocks), decibels(totals.peak));
    return problems.empty() ? pass(detail) : fail(problems + "(" + detail + ")");
}

// ---------------------------------------------------------------------------------------------
// In-place buffers

CheckResult checkInPlace(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* separateA = s.make();
    Instance* separateB = s.make();
    Instance* inPlace = s.make();
    if (separateA == nullptr || separateB == nullptr || inPlace == nullptr) {
        return fail(s.error);
    }
    AudioBlock blockA(*separateA->effect(), kBlock);
    AudioBlock blockB(*separateB->effect(), kBlock);
    AudioBlock blockC(*inPlace->effect(), kBlock);
    Noise noise(context.seed);
    std::vector<float> a;
    std::vector<float> b;
    std::vector<float> c;
    RunTotals totals;
    const int blocks = framesOf(context.quick ? 0.5 : 2.0, kRate) / kBlock;
    for (int i = 0; i < blocks; ++i) {
        noise.fill(blockA, kBlock, i < blocks / 2 ? kSignal : 0.0f);
        for (int32_t ch = 0; ch < blockA.inputCount(); ++ch) {
            std::copy(blockA.input(ch), blockA.input(ch) + kBlock, blockB.input(ch));
            std::copy(blockA.input(ch), blockA.input(ch) + kBlock, blockC.input(ch));
        }
        totals.add(blockA.process(*separateA, kBlock));
        totals.add(blockB.process(*separateB, kBlock));
        totals.add(blockC.processInPlace(*inPlace, kBlock));
        for (int32_t ch = 0; ch < blockA.outputCount(); ++ch) {
            a.insert(a.end(), blockA.output(ch), blockA.output(ch) + kBlock);
            b.insert(b.end(), blockB.output(ch), blockB.output(ch) + kBlock);
            c.insert(c.end(), blockC.output(ch), blockC.output(ch) + kBlock);
        }
    }
    if (!healthy(totals)) {
        return fail(problemsOf(totals));
    }
    auto identical = [](const std::vector<float>& x, const std::vector<float>& y) {
        return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0;
    };
    if (!identical(a, b)) {
        return pass(format("%d in-place blocks finite; two fresh instances render differently, so in-place output "
                           "was not compared", blocks));
    }
    if (!identical(a, c)) {
        size_t at = 0;
        while (at < a.size() && a[at] == c[at]) {
            ++at;
        }
        return fail(format("in-place output differs from separate buffers from sample %zu on", at));
    }
    return pass(format("%d blocks: in-place output identical to separate buffers", blocks));
}

// ---------------------------------------------------------------------------------------------
// NaN, infinity and denormal input

// A bad input stays bad at the output for at most this long after it stops, or, failing that,
// until the host resets the plug-in (effMainsChanged 0 then 1).
constexpr double kRecoverySeconds = 2.0;

struct BadInput {
    const char* name;
    float value;
    double seconds;
};

CheckResult checkBadInput(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    const BadInput kInputs[] = {
        {"NaN", std::numeric_limits<float>::quiet_NaN(), 512 / kRate},
        {"+Inf", std::numeric_limits<float>::infinity(), 512 / kRate},
        {"-Inf", -std::numeric_limits<float>::infinity(), 512 / kRate},
        {"1e30", 1e30f, 512 / kRate},
        {"denormal", 1e-40f, 1.0},
        {"one NaN sample", std::numeric_limits<float>::quiet_NaN(), 1 / kRate},
    };
    Noise noise(context.seed);
    std::string figures;
    std::string problems;
    for (const BadInput& bad : kInputs) {
        Instance instance(s.library);
        if (!instance.create(kRate, kBlock, s.error)) {
            return fail(s.error);
        }
        AudioBlock block(*instance.effect(), kBlock);
        RunTotals before;
        render(instance, block, noise, 0.2, kSignal, before);
        // The bad input, in blocks; a single bad sample sits in the middle of a noise block.
        int32_t remaining = std::max(1, framesOf(bad.seconds, kRate));
        RunTotals during;
        while (remaining > 0) {
            const int32_t n = std::min(remaining, kBlock);
            if (n == 1) {
                noise.fill(block, kBlock, kSignal);
                for (int32_t ch = 0; ch < block.inputCount(); ++ch) {
                    block.input(ch)[kBlock / 2] = bad.value;
                }
                during.add(block.process(instance, kBlock));
            } else {
                fillConstant(block, n, bad.value);
                during.add(block.process(instance, n));
            }
            remaining -= n;
        }
        const bool denormal = bad.value != 0.0f && std::fabs(bad.value) < std::numeric_limits<float>::min();
        if (denormal && !healthy(during)) {
            problems += format("denormal input gives %s; ", problemsOf(during).c_str());
        }
        // Normal input again: find the last block that was not finite.
        const int blocks = framesOf(kRecoverySeconds * 2.0, kRate) / kBlock;
        int lastBad = -1;
        int64_t unwritten = 0;
        for (int i = 0; i < blocks; ++i) {
            noise.fill(block, kBlock, kSignal);
            const BlockReport report = block.process(instance, kBlock);
            unwritten += report.unwritten;
            if (report.nonFinite > 0 || report.unwritten > 0) {
                lastBad = i;
            }
        }
        const double recovery = (lastBad + 1) * kBlock / kRate;
        if (lastBad < 0) {
            figures += format("%s: finite at once; ", bad.name);
        } else if (recovery <= kRecoverySeconds) {
            figures += format("%s: finite after %.0f ms; ", bad.name, recovery * 1000.0);
        } else {
            instance.resume();
            RunTotals afterReset;
            render(instance, block, noise, kRecoverySeconds, kSignal, afterReset);
            if (afterReset.clean()) {
                figures += format("%s: finite only after a reset; ", bad.name);
            } else {
                problems += format("%s input: output stays %s even after a reset; ", bad.name,
                                   unwritten > 0 ? "unwritten" : "non-finite");
            }
        }
    }
    if (!figures.empty()) {
        figures.resize(figures.size() - 2);
    }
    if (!problems.empty()) {
        return fail(problems + figures);
    }
    return pass(figures);
}

// ---------------------------------------------------------------------------------------------
// Processing time in silence after a burst (denormals)

// Silence after a burst may cost at most this many times a block of ordinary signal ...
constexpr double kSilenceCostRatio = 4.0;
// ... unless the difference is below this (timer resolution and scheduling on a busy machine).
constexpr double kSilenceCostSlackNs = 5000.0;

double medianNs(std::vector<double> values) {
    if (values.empty()) {
        return 0.0;
    }
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

std::vector<double> timeBlocks(Instance& instance, AudioBlock& block, Noise& noise, double seconds, float amplitude,
                               RunTotals& totals) {
    std::vector<double> times;
    const int blocks = framesOf(seconds, kRate) / kBlock;
    times.reserve(static_cast<size_t>(blocks));
    for (int i = 0; i < blocks; ++i) {
        if (amplitude > 0.0f) {
            noise.fill(block, kBlock, amplitude);
        } else {
            fillConstant(block, kBlock, 0.0f);
        }
        const auto start = Clock::now();
        const BlockReport report = block.process(instance, kBlock);
        times.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
        totals.add(report);
    }
    return times;
}

CheckResult checkSilenceAfterBurst(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* instance = s.make();
    if (instance == nullptr) {
        return fail(s.error);
    }
    AudioBlock block(*instance->effect(), kBlock);
    Noise noise(context.seed);
    RunTotals totals;
    const double signalSeconds = context.quick ? 3.0 : 10.0;
    // Long enough for a decaying tail to fall from full scale into the denormal range (about
    // -760 dBFS) in effects that lose a few dB per 100 ms.
    const double silenceSeconds = context.quick ? 40.0 : 90.0;
    const double measuredSeconds = context.quick ? 10.0 : 30.0;
    std::vector<double> signal = timeBlocks(*instance, block, noise, signalSeconds, kSignal, totals);
    timeBlocks(*instance, block, noise, 1.0, kBurst, totals);
    timeBlocks(*instance, block, noise, silenceSeconds - measuredSeconds, 0.0f, totals);
    std::vector<double> silence = timeBlocks(*instance, block, noise, measuredSeconds, 0.0f, totals);
    // The signal again, to see that the machine did not simply get slower in the meantime.
    std::vector<double> signalAgain = timeBlocks(*instance, block, noise, signalSeconds, kSignal, totals);
    const double signalNs = std::min(medianNs(signal), medianNs(signalAgain));
    const double silenceNs = medianNs(silence);
    const double ratio = signalNs > 0.0 ? silenceNs / signalNs : 0.0;
    std::string detail = format("signal %.1f us per %d-frame block, silence %.0f s after a 0 dBFS burst %.1f us (x%.2f)",
                                signalNs / 1000.0, kBlock, silenceSeconds, silenceNs / 1000.0, ratio);
    if (!totals.clean()) {
        return fail(problemsOf(totals) + " (" + detail + ")");
    }
    if (silenceNs > signalNs * kSilenceCostRatio && silenceNs - signalNs > kSilenceCostSlackNs) {
        return fail(detail + format(": silence costs more than x%.0f (denormals?)", kSilenceCostRatio));
    }
    return pass(detail);
}

// ---------------------------------------------------------------------------------------------
// Heap calls inside processReplacing

CheckResult checkNoHeapInProcess(const CheckContext& context) {
    if (!heapCallsCounted()) {
        return skip("this build of tarskverb-host cannot count heap calls (sanitizer build)");
    }
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* instance = s.make();
    if (instance == nullptr) {
        return fail(s.error);
    }
    AudioBlock block(*instance->effect(), kBlock);
    Noise noise(context.seed);
    RunTotals totals;
    // The first block may allocate (lazy set-up); nothing after it may.
    noise.fill(block, kBlock, kSignal);
    totals.add(block.process(*instance, kBlock));
    const HeapCalls start = watchedHeapCalls();
    const int blocks = context.quick ? 500 : 5000;
    for (int i = 0; i < blocks; ++i) {
        const int32_t frames = i % 7 == 0 ? 1 + static_cast<int32_t>(noise.next() % kBlock) : kBlock;
        noise.fill(block, frames, i % 100 < 80 ? kSignal : 0.0f);
        if (i == blocks / 2) {
            instance->time.tempo = 97.0;  // a tempo change on the way
        }
        watchHeapCalls(true);
        const BlockReport report = block.process(*instance, frames);
        watchHeapCalls(false);
        totals.add(report);
    }
    const HeapCalls end = watchedHeapCalls();
    const uint64_t allocations = end.allocations - start.allocations;
    const uint64_t releases = end.releases - start.releases;
    std::string detail = format("%d blocks after the first: %llu allocations, %llu releases", blocks,
                                static_cast<unsigned long long>(allocations), static_cast<unsigned long long>(releases));
    if (allocations + releases > 0) {
        return fail(detail);
    }
    return totals.clean() ? pass(detail) : fail(problemsOf(totals) + " (" + detail + ")");
}

// ---------------------------------------------------------------------------------------------
// Tempo ramps and hostile time information

struct TimeSituation {
    const char* name;
    double seconds;
    double value;  // the hostile value the situation uses, if any
    void (*apply)(HostTime& time, double progress, double value);
};

CheckResult checkTempo(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    auto setTempo = [](HostTime& t, double, double value) { t.tempo = value; };
    const TimeSituation kSituations[] = {
        {"steady 120 BPM", 1.0, 0.0, [](HostTime& t, double, double) { t = HostTime{}; }},
        {"ramp 120 to 240 BPM", 2.0, 0.0, [](HostTime& t, double p, double) { t.tempo = 120.0 + 120.0 * p; }},
        {"ramp 240 to 60 BPM", 1.0, 0.0, [](HostTime& t, double p, double) { t.tempo = 240.0 - 180.0 * p; }},
        {"jumps 60/180 BPM", 0.5, 0.0,
         [](HostTime& t, double p, double) { t.tempo = static_cast<int>(p * 40) % 2 != 0 ? 60.0 : 180.0; }},
        {"NaN tempo", 0.25, nan, setTempo},
        {"infinite tempo", 0.25, inf, setTempo},
        {"tempo 0", 0.25, 0.0, setTempo},
        {"tempo -120", 0.25, -120.0, setTempo},
        {"tempo 1e9", 0.25, 1e9, setTempo},
        {"tempo 1e-9", 0.25, 1e-9, setTempo},
        {"no time information", 0.25, 0.0, [](HostTime& t, double, double) { t = HostTime{}; t.answerNull = true; }},
        {"tempo valid flag with a NaN tempo", 0.25, nan, [](HostTime& t, double, double v) { t = HostTime{}; t.tempo = v; }},
        {"tempo without its valid flag", 0.25, 77.0,
         [](HostTime& t, double, double v) { t = HostTime{}; t.tempo = v; t.flags = 0; }},
        {"time information with rate -1", 0.25, -1.0,
         [](HostTime& t, double, double v) { t = HostTime{}; t.sampleRate = v; }},
        {"back to 120 BPM", 1.0, 0.0, [](HostTime& t, double, double) { t = HostTime{}; }},
    };
    Instance* instance = s.make();
    if (instance == nullptr) {
        return fail(s.error);
    }
    AudioBlock block(*instance->effect(), kBlock);
    Noise noise(context.seed);
    RunTotals totals;
    std::string problems;
    double steadyEnergy = 0.0;
    double rampEnergy = 0.0;
    int steadyFrames = 0;
    int rampFrames = 0;
    for (size_t k = 0; k < std::size(kSituations); ++k) {
        const TimeSituation& situation = kSituations[k];
        const int blocks = std::max(1, framesOf(situation.seconds, kRate) / kBlock);
        RunTotals one;
        for (int i = 0; i < blocks; ++i) {
            situation.apply(instance->time, static_cast<double>(i) / blocks, situation.value);
            // Echo and reverb tails need a signal that stops now and then.
            noise.fill(block, kBlock, (i / 20) % 2 == 0 ? kSignal : 0.0f);
            one.add(block.process(*instance, kBlock));
            double energy = 0.0;
            for (int32_t ch = 0; ch < block.outputCount(); ++ch) {
                for (int32_t f = 0; f < kBlock; ++f) {
                    const float v = block.output(ch)[f];
                    energy += std::isfinite(v) ? static_cast<double>(v) * v : 0.0;
                }
            }
            if (k == 0) {
                steadyEnergy += energy;
                steadyFrames += kBlock;
            } else if (k == 1) {
                rampEnergy += energy;
                rampFrames += kBlock;
            }
        }
        if (!healthy(one)) {
            problems += format("%s: %s; ", situation.name, problemsOf(one).c_str());
        }
        totals.merge(one);
    }
    instance->time = HostTime{};
    const double steadyDb = 10.0 * std::log10(std::max(steadyEnergy / std::max(steadyFrames, 1), 1e-30));
    const double rampDb = 10.0 * std::log10(std::max(rampEnergy / std::max(rampFrames, 1), 1e-30));
    std::string detail = format("%zu time situations, %lld blocks; output level steady %.1f dB, during the ramp %.1f dB; "
                                "peak %.1f dBFS", std::size(kSituations), static_cast<long long>(totals.blocks),
                                steadyDb, rampDb, decibels(totals.peak));
    return problems.empty() ? pass(detail) : fail(problems + "(" + detail + ")");
}

// ---------------------------------------------------------------------------------------------
// Reset reproducibility

// The level of the difference of two renders against the first render, in dB; -999 when identical.
double differenceDb(const std::vector<float>& reference, const std::vector<float>& other) {
    double signal = 0.0;
    double difference = 0.0;
    const size_t n = std::min(reference.size(), other.size());
    for (size_t i = 0; i < n; ++i) {
        const double r = reference[i];
        const double d = r - static_cast<double>(other[i]);
        signal += r * r;
        difference += d * d;
    }
    if (difference == 0.0 && reference.size() == other.size()) {
        return -999.0;
    }
    return 10.0 * std::log10(std::max(difference, 1e-300) / std::max(signal, 1e-300));
}

CheckResult checkResetReproducibility(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* probe = s.make();
    if (probe == nullptr) {
        return fail(s.error);
    }
    const int32_t programs = std::clamp(probe->effect()->numPrograms, 1, 4);
    s.instances.clear();
    const double seconds = context.quick ? 1.0 : 3.0;
    std::string figures;
    std::string problems;
    int promised = 0;
    for (int32_t p = 0; p < programs; ++p) {
        Instance a(s.library);
        Instance b(s.library);
        if (!a.create(kRate, kBlock, s.error) || !b.create(kRate, kBlock, s.error)) {
            return fail(s.error);
        }
        for (Instance* instance : {&a, &b}) {
            if (instance->effect()->numPrograms > 0) {
                instance->dispatch(vst2::effSetProgram, 0, p);
            }
            instance->resume();
        }
        AudioBlock blockA(*a.effect(), kBlock);
        AudioBlock blockB(*b.effect(), kBlock);
        std::vector<float> first;
        std::vector<float> fresh;
        std::vector<float> again;
        RunTotals totals;
        Noise noiseA(context.seed);
        render(a, blockA, noiseA, seconds, kSignal, totals, &first);
        render(a, blockA, noiseA, seconds, 0.0f, totals, &first);
        Noise noiseB(context.seed);
        render(b, blockB, noiseB, seconds, kSignal, totals, &fresh);
        render(b, blockB, noiseB, seconds, 0.0f, totals, &fresh);
        a.resume();
        Noise noiseAgain(context.seed);
        render(a, blockA, noiseAgain, seconds, kSignal, totals, &again);
        render(a, blockA, noiseAgain, seconds, 0.0f, totals, &again);
        const double freshDb = differenceDb(first, fresh);
        const double resetDb = differenceDb(first, again);
        if (freshDb <= -999.0) {
            // Fresh instances render identically: the plug-in's output is a function of its state and
            // input, and a reset must bring that state back.
            ++promised;
            if (resetDb > -999.0) {
                problems += format("program %d: a render after effMainsChanged(0/1) differs by %.1f dB from the first; ",
                                   p, resetDb);
            } else {
                figures += format("program %d identical; ", p);
            }
        } else {
            figures += format("program %d: fresh instances differ by %.1f dB, after a reset %.1f dB; ", p, freshDb,
                              resetDb);
        }
        if (!totals.clean()) {
            problems += format("program %d: %s; ", p, problemsOf(totals).c_str());
        }
    }
    if (!figures.empty()) {
        figures.resize(figures.size() - 2);
    }
    if (!problems.empty()) {
        return fail(problems + "(fresh instances render identically, so renders after a reset must too)");
    }
    if (promised == 0) {
        return skip("renders are not reproducible between fresh instances either: " + figures);
    }
    return pass(format("%d of %d programs: two renders with a reset between them identical", promised, programs) +
                (figures.empty() ? "" : "; " + figures));
}

// ---------------------------------------------------------------------------------------------
// Editor

struct EditorSize {
    int width = 0;
    int height = 0;
};

bool editorRect(Instance& instance, EditorSize& size) {
    vst2::ERect* rect = nullptr;
    if (instance.dispatch(vst2::effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr) {
        return false;
    }
    size.width = rect->right - rect->left;
    size.height = rect->bottom - rect->top;
    return size.width > 0 && size.height > 0 && size.width <= kMaxEditorSide && size.height <= kMaxEditorSide;
}

CheckResult checkEditor(const CheckContext& context) {
    Session s;
    if (!s.load(context)) {
        return fail(s.error);
    }
    Instance* instance = s.make();
    if (instance == nullptr) {
        return fail(s.error);
    }
    if ((instance->effect()->flags & vst2::effFlagsHasEditor) == 0) {
        return skip("the plug-in has no editor (effFlagsHasEditor clear)");
    }
    std::string reason;
    if (!hostWindowAvailable(reason)) {
        return skip("no display: " + reason);
    }
    EditorSize before;
    const bool rectBefore = editorRect(*instance, before);
    const int cycles = context.quick ? 3 : 10;
    std::string problem;
    EditorSize after;
    bool rectAfter = false;
    int idles = 0;
    auto openIdleClose = [&](uintptr_t parent, const std::function<void()>& pump, int idleCount) {
        if (instance->dispatch(vst2::effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) == 0) {
            if (problem.empty()) {
                problem = "effEditOpen answered 0 although the plug-in announces an editor";
            }
            return;
        }
        rectAfter = editorRect(*instance, after) || rectAfter;
        for (int i = 0; i < idleCount; ++i) {
            instance->dispatch(vst2::effEditIdle);
            pump();
            ++idles;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        instance->dispatch(vst2::effEditClose);
        pump();
    };
    const int width = rectBefore ? before.width : 0;
    const int height = rectBefore ? before.height : 0;
    std::string error;
    for (int i = 0; i < cycles && problem.empty(); ++i) {
        if (!runInHostWindow(width, height, [&](uintptr_t parent, const std::function<void()>& pump) {
                openIdleClose(parent, pump, 10);
            }, error)) {
            return skip("cannot make a host window: " + error);
        }
    }
    // Opening while audio runs and the program changes from the host's side.
    PacedAudio audio;
    std::thread audioThread(audioLoop, std::ref(*instance), std::ref(audio), context.seed);
    const int32_t programs = instance->effect()->numPrograms;
    for (int i = 0; i < cycles && problem.empty(); ++i) {
        runInHostWindow(width, height, [&](uintptr_t parent, const std::function<void()>& pump) {
            if (programs > 1) {
                instance->dispatch(vst2::effSetProgram, 0, i % programs);
            }
            openIdleClose(parent, pump, 15);
        }, error);
    }
    audio.stop.store(true, std::memory_order_release);
    audioThread.join();
    if (!problem.empty()) {
        return fail(problem);
    }
    if (!rectAfter) {
        return fail("effEditGetRect gives no usable size while the editor is open");
    }
    std::string detail = format("%d open/idle/close cycles, %d more while audio runs (%d idles); size %dx%d%s; audio "
                                "%s", cycles, cycles, idles, after.width, after.height,
                                rectBefore ? "" : " (unknown before opening)", audio.totals.describe().c_str());
    return healthy(audio.totals) ? pass(detail) : fail(problemsOf(audio.totals) + " (" + detail + ")");
}

const Check kChecks[] = {
    {"open-close", checkOpenClose},
    {"state-round-trip", checkStateRoundTrip},
    {"damaged-chunks", checkDamagedChunks},
    {"program-switches-while-processing", checkProgramSwitches},
    {"chunk-loads-while-processing", checkChunkLoadsWhileProcessing},
    {"concurrent-saves", checkConcurrentSaves},
    {"block-sizes", checkBlockSizes},
    {"sample-rates", checkSampleRates},
    {"in-place-buffers", checkInPlace},
    {"nan-inf-denormal-input", checkBadInput},
    {"silence-after-burst", checkSilenceAfterBurst},
    {"no-heap-in-process", checkNoHeapInProcess},
    {"tempo-and-time-info", checkTempo},
    {"reset-reproducibility", checkResetReproducibility},
    {"editor", checkEditor},
};

}  // namespace

std::span<const Check> validateChecks() { return kChecks; }

}  // namespace tarskhost::validate

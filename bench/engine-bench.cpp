// Nanoseconds per stereo frame of the engine's process at 48 kHz, per kind of program and block size.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "bench-programs.h"
#include "engine/engine.h"

namespace {

using tarsk::Engine;
using tarsk::LoopBuild;

constexpr float kSampleRate = 48000.0f;

void runProgram(benchmark::State& state, const tarsk::ProgramRecord& record, LoopBuild build) {
    const uint32_t block = static_cast<uint32_t>(state.range(0));
    std::unique_ptr<float[]> ring(new float[tarsk::kRingWords]());
    auto engine = std::make_unique<Engine>();
    engine->attachRing(ring.get());
    engine->setSampleRate(kSampleRate);
    engine->setTempo(120.0f);
    engine->setLoopBuild(build);
    engine->cook(record, tarsk::CookRequest{});
    engine->reset();

    // Noise at about -12 dBFS, one second long, read block by block.
    std::vector<float> left(48000), right(48000), outL(block), outR(block);
    uint32_t seed = 12345;
    for (size_t i = 0; i < left.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        left[i] = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 0.5f;
        seed = seed * 1664525u + 1013904223u;
        right[i] = (static_cast<float>(seed >> 8) / 16777216.0f - 0.5f) * 0.5f;
    }
    size_t position = 0;
    for (auto _ : state) {
        if (position + block > left.size()) {
            position = 0;
        }
        engine->process(left.data() + position, right.data() + position, outL.data(), outR.data(), block);
        benchmark::DoNotOptimize(outL.data());
        benchmark::ClobberMemory();
        position += block;
    }
    state.counters["time/frame"] = benchmark::Counter(static_cast<double>(block),
                                                    benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

int registerAll() {
    for (const tarsk::bench::BenchProgram& program : tarsk::bench::benchPrograms()) {
        for (LoopBuild build : {LoopBuild::sse2, LoopBuild::sse}) {
            std::string name = program.name + (build == LoopBuild::sse2 ? "/sse2" : "/sse");
            tarsk::ProgramRecord record = program.record;
            benchmark::RegisterBenchmark(name.c_str(), [record, build](benchmark::State& state) {
                runProgram(state, record, build);
            })->Arg(64)->Arg(512);
        }
    }
    return 0;
}

const int registered = registerAll();

}  // namespace

BENCHMARK_MAIN();

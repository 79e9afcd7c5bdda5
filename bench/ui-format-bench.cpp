// Time to render the texts of one editor page's worth of values (150): number box formats and parameter texts.
#include <benchmark/benchmark.h>

#include <cmath>

#include "tarsklib/ui-number-format.h"
#include "tarsklib/ui-param-value.h"

namespace {

constexpr int kPageValues = 150;

constexpr char kNoteLengths[] = "~1/1\0" "3/4\0" "1/2\0" "3/8\0" "1/4\0" "3/16\0" "1/8\0" "3/32\0" "1/16\0"
                                "3/64\0" "1/32\0" "3/128\0" "1/64\0" "~";

// The formats a page uses, each with a range of values it shows.
struct Field {
    const char* format;
    float low, high;
};

constexpr Field kFields[] = {
    {"@s", 0.0002f, 5.0f},         {"#Hz", 1.0f, 1e6f},      {"%1.2f", 0.0f, 100.0f},
    {"$&times;", 0.0001f, 100.0f}, {kNoteLengths, 0.0f, 12.0f}, {"%1.1f dB", -60.0f, 60.0f},
};
constexpr int kFieldCount = sizeof kFields / sizeof kFields[0];

void formatPage(benchmark::State& state) {
    float values[kPageValues];
    for (int i = 0; i < kPageValues; ++i) {
        const Field& field = kFields[i % kFieldCount];
        values[i] = field.low + (field.high - field.low) * static_cast<float>((i * 37) % 101) / 100.0f;
    }
    char text[tarsk::kValueBoxTextSize], unit[tarsk::kValueBoxTextSize];
    for (auto _ : state) {
        for (int i = 0; i < kPageValues; ++i) {
            tarsk::formatValueBoxText(kFields[i % kFieldCount].format, values[i], text, sizeof text, unit, sizeof unit);
            benchmark::DoNotOptimize(text);
            benchmark::DoNotOptimize(unit);
        }
    }
    state.SetItemsProcessed(state.iterations() * kPageValues);
}
BENCHMARK(formatPage);

// The drag arithmetic of 150 boxes in one frame (each moved by a pixel).
void dragPage(benchmark::State& state) {
    float values[kPageValues];
    for (int i = 0; i < kPageValues; ++i) values[i] = 0.001f + static_cast<float>(i);
    for (auto _ : state) {
        for (int i = 0; i < kPageValues; ++i) {
            const uint32_t mapping = static_cast<uint32_t>(i & 3);
            values[i] = tarsk::valueBoxApply(values[i], 0.001f, 200.0f, mapping, tarsk::valueBoxDelta(1.0, i & 4, false))
                            .value;
        }
        benchmark::DoNotOptimize(values);
    }
    state.SetItemsProcessed(state.iterations() * kPageValues);
}
BENCHMARK(dragPage);

// 150 host parameters set from positions and asked for their texts, half with SI prefixes.
void parameterTexts(benchmark::State& state) {
    static tarsk::ParamValue params[kPageValues];
    for (int i = 0; i < kPageValues; ++i) {
        tarsk::ParamValue& param = params[i];
        param.mappingType = tarsk::kParamMappingExponential;
        param.offset = std::log2(0.001f);
        param.span = std::log2(10000.0f);
        param.siDisplay = (i & 1) != 0;
        param.format = "%1.2f";
        param.unit = "s";
    }
    char value[tarsk::kParamValueTextSize], unit[tarsk::kParamUnitTextSize];
    int frame = 0;
    for (auto _ : state) {
        ++frame;
        for (int i = 0; i < kPageValues; ++i) {
            params[i].setPosition(static_cast<float>((i * 37 + frame) % 101) / 100.0f);
            params[i].valueText(value);
            params[i].unitText(unit);
            benchmark::DoNotOptimize(value);
            benchmark::DoNotOptimize(unit);
        }
    }
    state.SetItemsProcessed(state.iterations() * kPageValues);
}
BENCHMARK(parameterTexts);

}  // namespace

BENCHMARK_MAIN();

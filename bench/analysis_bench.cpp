// Cost of the pulse analyzer per sample, beside a floor: a plain sum over the same samples.
// Run: build/bench/analysis_bench --benchmark_repetitions=3
// Beside another build, in turn under the same load: bench/analysis_compare.sh build OTHER/build
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "analysis/pulse_analyzer.h"
#include "tools/pulse/synthetic_pulse.h"

namespace sphyra {
namespace {

constexpr std::size_t kBatch = 80;  // a full frame

const std::vector<std::uint16_t>& Samples(double hz) {
    static std::vector<std::uint16_t> cache[2];
    auto& samples = cache[hz > 200 ? 1 : 0];
    if (samples.empty()) {
        SyntheticPulseConfig c;
        c.bpm = 75;
        c.sampleRateHz = hz;
        c.seconds = 600;
        c.variability = 0.03;
        c.noiseCounts = 1.5;
        samples = MakeSyntheticPulse(c).samples;
    }
    return samples;
}

void SetPerSample(benchmark::State& state, std::size_t samples) {
    state.SetItemsProcessed(static_cast<std::int64_t>(samples));
    // An inverted rate: CPU seconds a sample, printed with its SI prefix (e.g. "15n").
    state.counters["per_sample"] = benchmark::Counter(
        static_cast<double>(samples), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The analyzer as the window runs it: batches of a frame, the rate estimated from the ticks.
void BM_PulseAnalyzer(benchmark::State& state) {
    const double hz = static_cast<double>(state.range(0));
    const std::vector<std::uint16_t>& samples = Samples(hz);
    analysis::PulseAnalyzer analyzer;
    std::size_t done = 0;
    std::uint32_t tick = 0xFFFF0000u;
    const auto msPerBatch = static_cast<std::uint32_t>(1000.0 * kBatch / hz);
    for (auto _ : state) {
        for (std::size_t i = 0; i + kBatch <= samples.size(); i += kBatch) {
            tick += msPerBatch;
            analyzer.AddSamples(tick, samples.data() + i, kBatch);
        }
        benchmark::DoNotOptimize(analyzer.Status());
        done += samples.size() / kBatch * kBatch;
    }
    SetPerSample(state, done);
}
BENCHMARK(BM_PulseAnalyzer)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

// The floor: reading the same samples in the same batches and summing them.
void BM_SumFloor(benchmark::State& state) {
    const std::vector<std::uint16_t>& samples = Samples(static_cast<double>(state.range(0)));
    std::size_t done = 0;
    std::uint64_t sum = 0;
    for (auto _ : state) {
        for (std::size_t i = 0; i + kBatch <= samples.size(); i += kBatch) {
            for (std::size_t k = 0; k < kBatch; ++k) sum += samples[i + k];
            benchmark::DoNotOptimize(sum);
        }
        done += samples.size() / kBatch * kBatch;
    }
    SetPerSample(state, done);
}
BENCHMARK(BM_SumFloor)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sphyra

BENCHMARK_MAIN();

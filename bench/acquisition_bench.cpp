#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/sensor_frame.h"
#include "acquisition/tick_clock.h"
#include "bench/null_display.h"

namespace sphyra {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kStreamBytes = 4u << 20;
constexpr std::size_t kBatchBytes = 64;
constexpr int kSensors = 16;

// Sixteen sensors taking turns, each frame full (N = 80). With a garbage share,
// runs of random bytes between frames make up that share of the stream, as on a
// noisy link.
Bytes MakeStream(double garbageShare) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> byte(0, 255);
    // Mean run length that makes garbage / (garbage + frame) equal the share.
    const double meanRun = garbageShare / (1.0 - garbageShare) * kMaxFrameSize;
    std::uniform_int_distribution<int> run(0, static_cast<int>(2 * meanRun));
    Bytes stream;
    stream.reserve(kStreamBytes + 1024);
    for (int frameIndex = 0; stream.size() < kStreamBytes; ++frameIndex) {
        const std::size_t start = stream.size();
        const auto address = static_cast<std::uint8_t>(frameIndex % kSensors);
        stream.insert(stream.end(), {kSync1, kSync2, address, 10, 90, 0, kMaxFrameSamples});
        for (int i = 0; i < kMaxFrameSamples; ++i)
            stream.push_back(static_cast<std::uint8_t>(byte(rng)));
        const int summed = static_cast<int>(stream.size() - start);
        stream.push_back(Checksum8(stream.data() + start, summed));
        if (garbageShare > 0.0)
            for (int i = run(rng); i > 0; --i)
                stream.push_back(static_cast<std::uint8_t>(byte(rng)));
    }
    return stream;
}

// The parser and frame application alone, or (`pulse`) with every sensor's pulse analysed
// as the live program does.
void FeedStream(benchmark::State& state, const Bytes& stream, bool pulse = false) {
    ManualTickClock clock;
    NullDisplay display;
    SensorAcquisition acquisition(clock, display);
    acquisition.Applier().SetPulseAnalysis(pulse);
    for (auto _ : state) {
        for (std::size_t offset = 0; offset < stream.size(); offset += kBatchBytes) {
            const std::size_t n = std::min(kBatchBytes, stream.size() - offset);
            acquisition.Receive(stream.data() + offset, n);
            clock.Advance(1);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(stream.size()));
    benchmark::DoNotOptimize(acquisition.Table().Size());
}

void BM_AcquireCleanStream(benchmark::State& state) {
    static const Bytes stream = MakeStream(0.0);
    FeedStream(state, stream);
}
BENCHMARK(BM_AcquireCleanStream)->Unit(benchmark::kMillisecond);

void BM_AcquireStreamWithTenPercentGarbage(benchmark::State& state) {
    static const Bytes stream = MakeStream(0.10);
    FeedStream(state, stream);
}
BENCHMARK(BM_AcquireStreamWithTenPercentGarbage)->Unit(benchmark::kMillisecond);

void BM_AcquireCleanStreamWithPulseAnalysis(benchmark::State& state) {
    static const Bytes stream = MakeStream(0.0);
    FeedStream(state, stream, true);
}
BENCHMARK(BM_AcquireCleanStreamWithPulseAnalysis)->Unit(benchmark::kMillisecond);

// What moving the bytes costs at all, for scale.
void BM_Memcpy64MiB(benchmark::State& state) {
    constexpr std::size_t kBytes = 64u << 20;
    std::vector<std::uint8_t> from(kBytes, 0x5A);
    std::vector<std::uint8_t> to(kBytes, 0x00);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kBytes));
}
BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sphyra

BENCHMARK_MAIN();

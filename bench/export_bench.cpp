// Export speed against the floor of plainly reading the same capture, and a way
// to make captures of a chosen length for memory measurements.
//
//   export_bench [--seconds S] [--runs N] [--keep PATH]
//
// Writes a capture of S simulated seconds (default 600) of 16 sensors × 50
// frames/s × 80 samples, each 20 ms step one read, then times, N times each
// (default 3): read() of the file in 1 MiB blocks (the floor), the capture
// reader alone (chunks and CRCs), export to EDF+ (with the pulse analysis on its
// worker threads, then on the exporting thread alone), without beats, and to CSV.
// Prints the minimum and median of each in MB of capture a second, by wall time and
// by CPU time (all threads). --keep PATH copies the
// capture there and stops, for `/usr/bin/time -v sphyra-export PATH ...`.

#include <fcntl.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_capture.h"
#include "export/capture_export.h"
#include "recording/capture_reader.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Times {
    std::vector<double> wall, cpu;
};

void Measure(Times& times, const std::function<void()>& work) {
    const Clock::time_point start = Clock::now();
    const double cpu = CpuSeconds();
    work();
    times.cpu.push_back(CpuSeconds() - cpu);
    times.wall.push_back(std::chrono::duration<double>(Clock::now() - start).count());
}

void Report(const char* what, Times t, double megabytes) {
    std::sort(t.wall.begin(), t.wall.end());
    std::sort(t.cpu.begin(), t.cpu.end());
    const std::size_t mid = t.wall.size() / 2;
    std::printf("%-24s wall min %7.1f median %7.1f MB/s   cpu min %7.1f median %7.1f MB/s\n", what,
                megabytes / t.wall.front(), megabytes / t.wall[mid], megabytes / t.cpu.front(),
                megabytes / t.cpu[mid]);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 600;
    int runs = 3;
    std::string keep;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (arg == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (arg == "--keep")
            keep = argv[i + 1];
    }
    const fs::path dir =
        fs::temp_directory_path() / ("sphyra-export-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path capture = sphyra::bench::WriteFullLoadCapture(dir, seconds, "export_bench");
    if (!keep.empty()) {
        fs::copy_file(capture, keep, fs::copy_options::overwrite_existing);
        fs::remove_all(dir);
        std::printf("%s: %.0f s, %ju bytes\n", keep.c_str(), seconds,
                    static_cast<std::uintmax_t>(fs::file_size(keep)));
        return 0;
    }
    const double mb = static_cast<double>(fs::file_size(capture)) / 1e6;
    std::printf("capture: %.0f s of 16 sensors x 50 frames/s x 80 samples, %.1f MB\n", seconds, mb);

    Times floor, reader, edf, edfOneThread, edfOneWorker, edfNoBeats, csv;
    for (int r = 0; r < runs; ++r) {
        Measure(floor, [&] {
            const int fd = ::open(capture.c_str(), O_RDONLY);
            std::vector<char> buffer(1 << 20);
            while (::read(fd, buffer.data(), buffer.size()) > 0) {
            }
            ::close(fd);
        });
        Measure(reader, [&] {
            sphyra::CaptureReader in;
            in.Open(capture);
            sphyra::CaptureChunkView chunk;
            while (in.Next(chunk)) {
            }
        });
        auto exportTo = [&](std::optional<fs::path> edfPath, std::optional<fs::path> csvDir,
                            bool beats, unsigned threads = sphyra::PulseWorkers::DefaultThreads()) {
            sphyra::ExportRequest request;
            request.capture = capture;
            request.edf = std::move(edfPath);
            request.csvDir = std::move(csvDir);
            request.beats = beats;
            request.threads = threads;
            if (!sphyra::ExportCapture(request).ok) std::exit(1);
        };
        Measure(edf, [&] { exportTo(dir / "out.edf", std::nullopt, true); });
        Measure(edfOneThread, [&] { exportTo(dir / "out.edf", std::nullopt, true, 0); });
        Measure(edfOneWorker, [&] { exportTo(dir / "out.edf", std::nullopt, true, 1); });
        Measure(edfNoBeats, [&] { exportTo(dir / "out.edf", std::nullopt, false); });
        Measure(csv, [&] { exportTo(std::nullopt, dir / "csv", true); });
    }
    Report("read() floor", floor, mb);
    Report("capture reader", reader, mb);
    Report("export EDF+", edf, mb);
    Report("export EDF+ one thread", edfOneThread, mb);
    Report("export EDF+ one worker", edfOneWorker, mb);
    Report("export EDF+ --no-beats", edfNoBeats, mb);
    Report("export CSV", csv, mb);
    fs::remove_all(dir);
    return 0;
}

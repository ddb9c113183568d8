// What an export in the background costs the thread that draws: the window's
// export at stop, at its lowered priority, against the same export at the
// program's priority and against no export at all (the floor).
//
//   export_queue_bench [--seconds S] [--runs N] [--hogs H] [--work-ms W]
//
// Writes a capture of S simulated seconds (default 1800) of 16 sensors × 50
// frames/s × 80 samples. The main thread stands in for the window: every 20 ms it
// does W ms of work (default 5, a busy trace being drawn) and lets the event loop
// run. H threads (default: the cores less one) spin as the rest of the machine's
// load, so that the cores are contended as on a small busy machine. Each run
// measures, for no export, an export through ExportQueue as the window does it,
// and the same at niceness 0: how late the ticks' work ends (median, 99th
// percentile, worst, in ms) and how long the export took. Prints the minimum and
// median over the N runs (default 3).

#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_capture.h"
#include "ui/window/export_queue.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
constexpr auto kTick = std::chrono::milliseconds(20);

void Spin(std::chrono::microseconds length) {
    const Clock::time_point until = Clock::now() + length;
    while (Clock::now() < until) {
    }
}

struct Phase {
    double p50 = 0, p99 = 0, worst = 0, exportSeconds = 0;
};

// Ticks until `done` (or `minimum` has passed when there is nothing to wait for).
template <typename Done>
Phase Ticks(std::chrono::microseconds work, Clock::duration minimum, Done done) {
    std::vector<double> late;
    const Clock::time_point start = Clock::now();
    for (int k = 1;; ++k) {
        const Clock::time_point due = start + k * kTick;
        std::this_thread::sleep_until(due);
        Spin(work);
        late.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - due - work).count());
        QCoreApplication::processEvents();
        if (done() && Clock::now() - start >= minimum) break;
    }
    std::sort(late.begin(), late.end());
    return {late[late.size() / 2], late[late.size() * 99 / 100], late.back(), 0};
}

Phase ExportPhase(const fs::path& capture, const fs::path& edf, int niceness,
                  std::chrono::microseconds work) {
    sphyra::ExportQueue queue;
    queue.SetNiceness(niceness);
    std::atomic<bool> finished{false};
    bool ok = false;
    QObject::connect(&queue, &sphyra::ExportQueue::Finished,
                     [&](const sphyra::ExportRequest&, const sphyra::ExportResult& result) {
                         ok = result.ok;
                         finished = true;
                     });
    sphyra::ExportRequest request;
    request.capture = capture;
    request.edf = edf;
    const Clock::time_point start = Clock::now();
    queue.Enqueue(request);
    Phase phase = Ticks(work, {}, [&] { return finished.load(); });
    phase.exportSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (!ok) {
        std::fprintf(stderr, "export_queue_bench: the export failed\n");
        std::exit(1);
    }
    return phase;
}

void Report(const char* what, std::vector<Phase> runs) {
    auto show = [&](const char* name, double Phase::*field) {
        std::sort(runs.begin(), runs.end(),
                  [&](const Phase& a, const Phase& b) { return a.*field < b.*field; });
        std::printf("  %s min %6.2f median %6.2f", name, runs.front().*field,
                    runs[runs.size() / 2].*field);
    };
    std::printf("%-22s", what);
    show("late p50 ms", &Phase::p50);
    show("p99", &Phase::p99);
    show("max", &Phase::worst);
    if (runs.front().exportSeconds > 0) show("export s", &Phase::exportSeconds);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    double seconds = 1800;
    int runs = 3;
    int hogs = std::max(0, static_cast<int>(std::thread::hardware_concurrency()) - 1);
    double workMs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--seconds") seconds = std::atof(argv[i + 1]);
        if (arg == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        if (arg == "--hogs") hogs = std::max(0, std::atoi(argv[i + 1]));
        if (arg == "--work-ms") workMs = std::atof(argv[i + 1]);
    }
    const fs::path dir =
        fs::temp_directory_path() / ("sphyra-export-queue-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path capture =
        sphyra::bench::WriteFullLoadCapture(dir, seconds, "export_queue_bench");
    std::printf(
        "capture: %.0f s of 16 sensors, %.1f MB; %d spinning threads, %.1f ms of work "
        "every 20 ms\n",
        seconds, static_cast<double>(fs::file_size(capture)) / 1e6, hogs, workMs);

    std::atomic<bool> stop{false};
    std::vector<std::thread> spinners;
    for (int i = 0; i < hogs; ++i)
        spinners.emplace_back([&] {
            while (!stop) {
            }
        });
    const auto work = std::chrono::microseconds(static_cast<long>(workMs * 1000));
    std::vector<Phase> none, lowered, normal;
    for (int r = 0; r < runs; ++r) {
        lowered.push_back(
            ExportPhase(capture, dir / "out.edf", sphyra::ExportQueue::kNiceness, work));
        normal.push_back(ExportPhase(capture, dir / "out.edf", 0, work));
        const auto length = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(lowered.back().exportSeconds));
        none.push_back(Ticks(work, length, [] { return true; }));
    }
    stop = true;
    for (std::thread& spinner : spinners) spinner.join();
    Report("no export (floor)", none);
    Report("export, niceness +10", lowered);
    Report("export, niceness 0", normal);
    fs::remove_all(dir);
    return 0;
}

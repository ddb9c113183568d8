// What recording costs: the live link (simulator -> pseudo-terminal -> port layer ->
// parser) run alternately without and with a capture being written, in one process.
//
//   record_bench [--seconds S] [--runs N] [--dir DIR] [--sensors N] [--fps F] [--samples K]
//
// The simulator runs on a thread of its own; the CPU reported is the whole process
// less that thread, so the writer's own thread is counted with the receiving one.

#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/tick_clock.h"
#include "bench/null_display.h"
#include "bench/paced_feed.h"
#include "recording/capture_clock.h"
#include "recording/capture_recorder.h"
#include "serial/cmscomm.h"
#include "serial/port_settings_file.h"
#include "serial/serial_connection.h"
#include "tools/sim/pty_endpoint.h"
#include "tools/sim/sensor_simulator.h"

namespace {

using namespace sphyra;

struct Options {
    double seconds = 20;
    int runs = 3;
    std::string dir;
    int sensors = 16;
    double fps = 50;
    int samples = 80;
};

struct RunResult {
    double corePercent = 0;
    std::uint64_t framesSent = 0;
    std::uint64_t framesReceived = 0;
    std::uint64_t captureBytes = 0;
};

RunResult RunOnce(const Options& options, const std::filesystem::path& captureDir, bool record) {
    std::string error;
    auto pty = PtyEndpoint::Create(error);
    if (!pty) {
        std::fprintf(stderr, "cannot create a pseudo-terminal: %s\n", error.c_str());
        std::exit(2);
    }
    std::vector<std::uint8_t> addresses;
    for (int i = 0; i < options.sensors; ++i) addresses.push_back(static_cast<std::uint8_t>(i + 1));
    SensorSimulator sim(MakeSimulatorConfig(addresses, options.samples, options.fps, 7));

    SteadyTickClock ticks;
    SystemCaptureClock clock;
    NullDisplay display;
    SensorAcquisition acquisition(ticks, display);
    QTemporaryDir settingsDir;
    PortSettingsFile settings(settingsDir.filePath("bench.ini").toStdString());
    const std::string device = pty->Path();
    CMSComm comm([&](int) { return device; });
    SerialConnection connection(comm, ticks, acquisition, settings);
    CaptureRecorder recorder(clock, ticks);
    QObject::connect(&comm, &CMSComm::OnComm, [&] { connection.OnCommEvent(); });
    if (record) {
        connection.SetReceiveTap(&recorder);
        recorder.StartOnOpen(captureDir);
    }
    if (!connection.OpenPort(1, 115200)) {
        std::fprintf(stderr, "cannot open %s\n", device.c_str());
        std::exit(2);
    }

    std::atomic<bool> simDone = false;
    std::atomic<std::uint64_t> framesSent = 0;
    double simCpu = 0;
    const double cpuStart = bench::CpuSeconds(RUSAGE_SELF);
    QElapsedTimer wall;
    wall.start();
    std::thread simThread([&] {
        const double simStart = bench::CpuSeconds(RUSAGE_THREAD);
        sim.SetObserver([&](const SimEvent& event) {
            if (event.kind == SimEventKind::kFrame) ++framesSent;
        });
        bench::PlayPaced(sim, *pty, options.seconds, [](std::int64_t) {});
        while (!pty->Flush()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        simCpu = bench::CpuSeconds(RUSAGE_THREAD) - simStart;
        simDone = true;
    });
    QElapsedTimer drain;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!simDone) return;
        if (!drain.isValid()) drain.start();
        if (acquisition.Ring().Stats().framesDelivered >= framesSent || drain.elapsed() > 5000)
            QCoreApplication::quit();
    });
    check.start(100);
    QCoreApplication::exec();
    simThread.join();
    connection.ClosePort();
    recorder.Stop();  // the last sync is part of the cost
    const double cpu = bench::CpuSeconds(RUSAGE_SELF) - cpuStart - simCpu;
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    connection.SetReceiveTap(nullptr);

    RunResult result;
    result.corePercent = 100.0 * cpu / elapsed;
    result.framesSent = framesSent;
    result.framesReceived = acquisition.Ring().Stats().framesDelivered;
    result.captureBytes = recorder.Bytes();
    return result;
}

void Report(const char* label, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::printf("%-16s min %.3f%%  median %.3f%% of one core  (runs:", label, values.front(),
                values[values.size() / 2]);
    for (double v : values) std::printf(" %.3f", v);
    std::printf(")\n");
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--seconds") options.seconds = std::stod(value);
        if (key == "--runs") options.runs = std::stoi(value);
        if (key == "--dir") options.dir = value;
        if (key == "--sensors") options.sensors = std::stoi(value);
        if (key == "--fps") options.fps = std::stod(value);
        if (key == "--samples") options.samples = std::stoi(value);
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir tempDir;
    const std::filesystem::path captureDir =
        options.dir.empty() ? std::filesystem::path(tempDir.path().toStdString())
                            : std::filesystem::path(options.dir);

    std::printf("%d sensors x %.0f frames/s x %d samples, %.0f s a run, captures in %s\n",
                options.sensors, options.fps, options.samples, options.seconds, captureDir.c_str());
    std::vector<double> without, with;
    bool lost = false;
    for (int run = 0; run < options.runs; ++run) {
        for (const bool record : {false, true}) {
            const RunResult r = RunOnce(options, captureDir, record);
            (record ? with : without).push_back(r.corePercent);
            lost = lost || r.framesReceived != r.framesSent;
            std::printf("run %d %-9s %.3f%%  frames %llu/%llu  capture %.1f MB\n", run + 1,
                        record ? "recording" : "plain", r.corePercent,
                        static_cast<unsigned long long>(r.framesReceived),
                        static_cast<unsigned long long>(r.framesSent),
                        static_cast<double>(r.captureBytes) / 1e6);
            std::fflush(stdout);
        }
    }
    Report("without", without);
    Report("with recording", with);
    std::sort(without.begin(), without.end());
    std::sort(with.begin(), with.end());
    std::printf("recording adds %.3f%% of one core (difference of medians)\n",
                with[with.size() / 2] - without[without.size() / 2]);
    return lost ? 1 : 0;
}

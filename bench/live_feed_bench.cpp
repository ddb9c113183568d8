// Feeds a live simulated link through a pseudo-terminal and checks that nothing
// is lost or damaged on the way, while measuring what receiving costs.
//
//   live_feed_bench [--mode link|window|feed] [--seconds S] [--sensors N] [--fps F] [--samples K]
//                   [--write-log FILE] [--step-ms MS]
//
// link:   the port layer alone (CMSComm + SerialConnection + acquisition, no display).
// window: the whole main window, offscreen, with the first sensor on display.
// feed:   only plays the sensors into a pseudo-terminal, whose path it prints first, for
//         another reader (the program on a real X server, or cat); see xvfb_load_bench.sh.
//         With --write-log, each write appends "<CLOCK_MONOTONIC ns> <frames so far of
//         sensor 1> ... <of sensor N>", to pair with the program's SPHYRA_LATENCY_LOG. With
//         --wait-for, nothing is played until that file exists, so the reader can open the port
//         first and count every frame. --step-ms 1 writes each frame about when its sensor
//         sends it, as sphyra-sim does, instead of all that fell due in the last 20 ms.
//
// The simulator runs on a thread of its own, paced in real time, so the CPU time
// reported is the receiving (GUI) thread's alone.

#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/tick_clock.h"
#include "bench/null_display.h"
#include "bench/paced_feed.h"
#include "serial/cmscomm.h"
#include "serial/port_map.h"
#include "serial/port_settings_file.h"
#include "serial/private_profile.h"
#include "serial/serial_connection.h"
#include "tools/sim/pty_endpoint.h"
#include "tools/sim/sensor_simulator.h"
#include "ui/window/sensor_monitor_dlg.h"

namespace {

using namespace sphyra;

struct Options {
    std::string mode = "link";
    double seconds = 60;
    int sensors = 16;
    double fps = 50;
    int samples = 80;
    std::string writeLog;
    std::string waitFor;
    int stepMs = 20;
};

// What the simulator put on the wire, per sensor: frame count and the newest
// samples, which must equal the receiver's history at the end.
struct SentRecord {
    std::uint64_t frames = 0;
    std::deque<std::uint8_t> tail;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--mode") options.mode = value;
        if (key == "--seconds") options.seconds = std::stod(value);
        if (key == "--sensors") options.sensors = std::stoi(value);
        if (key == "--fps") options.fps = std::stod(value);
        if (key == "--samples") options.samples = std::stoi(value);
        if (key == "--write-log") options.writeLog = value;
        if (key == "--wait-for") options.waitFor = value;
        if (key == "--step-ms") options.stepMs = std::max(1, std::stoi(value));
    }
    return options;
}

// Plays the simulator into the pty in 20 ms steps until `seconds` have passed.
void RunSimulator(SensorSimulator& sim, PtyEndpoint& pty, double seconds,
                  std::vector<SentRecord>& sent, std::mutex& sentMutex) {
    sim.SetObserver([&](const SimEvent& event) {
        if (event.kind != SimEventKind::kFrame) return;
        std::lock_guard lock(sentMutex);
        SentRecord& record = sent[event.sensorIndex];
        ++record.frames;
        for (std::uint8_t s : event.samples) {
            record.tail.push_back(s);
            if (record.tail.size() > SampleRing::kMaxSamples) record.tail.pop_front();
        }
    });
    bench::PlayPaced(sim, pty, seconds, [](std::int64_t) {});
    while (!pty.Flush()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Plays the sensors into a fresh pseudo-terminal for `seconds`, in steps of --step-ms (20 ms
// by default, as in the other modes), without reading anything back.
int RunFeed(const Options& options) {
    std::string error;
    auto pty = PtyEndpoint::Create(error);
    if (!pty) {
        std::fprintf(stderr, "cannot create a pseudo-terminal: %s\n", error.c_str());
        return 2;
    }
    std::printf("%s\n", pty->Path().c_str());
    std::fflush(stdout);
    std::FILE* log = options.writeLog.empty() ? nullptr : std::fopen(options.writeLog.c_str(), "w");
    std::vector<std::uint8_t> addresses;
    for (int i = 0; i < options.sensors; ++i) addresses.push_back(static_cast<std::uint8_t>(i + 1));
    SensorSimulator sim(MakeSimulatorConfig(addresses, options.samples, options.fps, 7));
    std::vector<std::uint64_t> frames(addresses.size(), 0);
    sim.SetObserver([&](const SimEvent& event) {
        if (event.kind == SimEventKind::kFrame) ++frames[event.sensorIndex];
    });
    while (!options.waitFor.empty() && !std::filesystem::exists(options.waitFor))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    bench::PlayPaced(
        sim, *pty, options.seconds,
        [&](std::int64_t writtenAtNs) {
            if (log == nullptr) return;
            std::fprintf(log, "%lld", static_cast<long long>(writtenAtNs));
            for (const std::uint64_t count : frames)
                std::fprintf(log, " %llu", static_cast<unsigned long long>(count));
            std::fprintf(log, "\n");
        },
        static_cast<std::uint64_t>(options.stepMs));
    if (log != nullptr) std::fclose(log);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    if (options.mode == "feed") return RunFeed(options);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::string error;
    auto pty = PtyEndpoint::Create(error);
    if (!pty) {
        std::fprintf(stderr, "cannot create a pseudo-terminal: %s\n", error.c_str());
        return 2;
    }
    QTemporaryDir dir;
    const std::filesystem::path settingsPath = dir.filePath("bench.ini").toStdString();
    PrivateProfile profile(settingsPath);
    profile.WriteProfileString("Ports", "COM1", pty->Path());

    std::vector<std::uint8_t> addresses;
    for (int i = 0; i < options.sensors; ++i) addresses.push_back(static_cast<std::uint8_t>(i + 1));
    SensorSimulator sim(MakeSimulatorConfig(addresses, options.samples, options.fps, 7));

    SteadyTickClock clock;
    NullDisplay display;
    std::unique_ptr<CSensorMonitorDlg> window;
    std::unique_ptr<SensorAcquisition> acquisition;
    std::unique_ptr<PortSettingsFile> settingsFile;
    std::unique_ptr<PortMap> portMap;
    std::unique_ptr<CMSComm> comm;
    std::unique_ptr<SerialConnection> connection;
    SensorAcquisition* receiving = nullptr;

    if (options.mode == "window") {
        window = std::make_unique<CSensorMonitorDlg>(settingsPath);
        window->show();
        window->OnOpenClose();
        if (!window->Comm().GetPortOpen()) {
            std::fprintf(stderr, "the window did not open the port\n");
            return 2;
        }
        receiving = &window->Acquisition();
    } else {
        acquisition = std::make_unique<SensorAcquisition>(clock, display);
        settingsFile = std::make_unique<PortSettingsFile>(settingsPath);
        portMap = std::make_unique<PortMap>(settingsPath);
        comm = std::make_unique<CMSComm>([&](int n) { return portMap->DeviceFor(n); });
        connection = std::make_unique<SerialConnection>(*comm, clock, *acquisition, *settingsFile);
        QObject::connect(comm.get(), &CMSComm::OnComm, [&] { connection->OnCommEvent(); });
        if (!connection->OpenPort(1, 115200)) {
            std::fprintf(stderr, "cannot open %s\n", pty->Path().c_str());
            return 2;
        }
        receiving = acquisition.get();
    }

    std::vector<SentRecord> sent(addresses.size());
    std::mutex sentMutex;
    std::atomic<bool> simDone = false;
    const double cpuStart = bench::CpuSeconds(RUSAGE_THREAD);
    QElapsedTimer wall;
    wall.start();
    std::thread simThread([&] {
        RunSimulator(sim, *pty, options.seconds, sent, sentMutex);
        simDone = true;
    });

    auto framesReceived = [&] {
        std::uint64_t total = 0;
        const SensorTable& table = receiving->Table();
        for (std::size_t i = 0; i < table.Size(); ++i) total += table.At(i).frames;
        return total;
    };
    auto framesSent = [&] {
        std::lock_guard lock(sentMutex);
        std::uint64_t total = 0;
        for (const SentRecord& record : sent) total += record.frames;
        return total;
    };
    // The receiver runs on the plain event loop, as in the program; a slow timer
    // ends the run once everything sent has arrived, or a few seconds after the
    // simulator stopped if something went missing.
    QElapsedTimer drain;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (!simDone) return;
        if (!drain.isValid()) drain.start();
        if (framesReceived() >= framesSent() || drain.elapsed() > 5000) app.quit();
    });
    check.start(100);
    app.exec();
    const double cpu = bench::CpuSeconds(RUSAGE_THREAD) - cpuStart;
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    simThread.join();

    int mismatches = 0;
    std::uint16_t history[SampleRing::kCapacity];
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const SensorRecord* record = receiving->Table().FindSensor(addresses[i]);
        const std::uint64_t got = record ? record->frames : 0;
        bool sameTail = false;
        if (record) {
            const std::size_t n = record->history->SnapshotHistory(history);
            sameTail = n == sent[i].tail.size() &&
                       std::equal(sent[i].tail.begin(), sent[i].tail.end(), history);
        }
        if (got != sent[i].frames || !sameTail) {
            ++mismatches;
            std::printf("sensor %d: sent %llu frames, received %llu, history %s\n", addresses[i],
                        static_cast<unsigned long long>(sent[i].frames),
                        static_cast<unsigned long long>(got), sameTail ? "equal" : "DIFFERS");
        }
    }
    std::printf("mode %s: %d sensors x %.0f frames/s x %d samples for %.1f s\n",
                options.mode.c_str(), options.sensors, options.fps, options.samples, elapsed);
    std::printf(
        "frames sent %llu, received %llu, bytes sent %llu; sensors with loss or damage: %d\n",
        static_cast<unsigned long long>(framesSent()),
        static_cast<unsigned long long>(framesReceived()),
        static_cast<unsigned long long>(sim.Totals().bytes), mismatches);
    std::printf("receiving thread CPU %.2f s = %.2f%% of one core\n", cpu, 100.0 * cpu / elapsed);
    if (window) window->OnExit();
    return mismatches == 0 ? 0 : 1;
}

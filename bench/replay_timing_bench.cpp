// How closely a replay keeps the recorded timing, against the floor of a paced
// writer in this process on the same kind of pseudo-terminal.
//
//   replay_timing_bench [--seconds S] [--speed X] [--runs N]
//
// Writes a capture of S seconds (default 20) of 16 sensors × 50 frames/s × 80
// samples with one read every 10 ms, then plays it N times (default 3) with
// `sphyra-sim --replay`, N times with the window's ReplaySession (when the window
// is built) and N times with the floor writer, reading the port here.
// For each read it notes when its last byte arrived; its lateness is that arrival
// minus the read's recorded time divided by the speed, and its error how far that
// lateness strays from the median lateness. Prints the median, 99th percentile
// and largest error.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#ifdef SPHYRA_REPLAY_SESSION
#include <QCoreApplication>
#include <QTimer>
#include <atomic>

#include "ui/app/replay_session.h"
#endif

#include "bench/bench_capture.h"
#include "tools/replay/capture_player.h"
#include "tools/sim/pty_endpoint.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Capture {
    fs::path path;
    std::vector<std::uint64_t> us;    // recorded time of each read
    std::vector<std::uint64_t> ends;  // cumulative bytes after each read
};

Capture WriteCapture(const fs::path& folder, double seconds) {
    Capture out;
    std::uint64_t total = 0;
    out.path = sphyra::bench::WriteFullLoadCapture(folder, seconds, "replay_timing_bench", 10,
                                                   [&](std::uint64_t us, std::size_t bytes) {
                                                       total += bytes;
                                                       out.us.push_back(us);
                                                       out.ends.push_back(total);
                                                   });
    return out;
}

// Reads `port` until every read's bytes have arrived; returns the arrival time of
// each read's last byte, in µs since an arbitrary origin.
std::vector<double> Receive(int port, const Capture& capture) {
    std::vector<double> arrivals;
    std::array<std::uint8_t, 65536> buffer{};
    std::uint64_t got = 0;
    const Clock::time_point origin = Clock::now();
    const Clock::time_point deadline = origin + std::chrono::seconds(600);
    while (arrivals.size() < capture.ends.size() && Clock::now() < deadline) {
        pollfd pfd{port, POLLIN, 0};
        if (::poll(&pfd, 1, 1000) <= 0) continue;
        const ssize_t n = ::read(port, buffer.data(), buffer.size());
        if (n <= 0) continue;
        got += static_cast<std::uint64_t>(n);
        const double now = std::chrono::duration<double, std::micro>(Clock::now() - origin).count();
        while (arrivals.size() < capture.ends.size() && capture.ends[arrivals.size()] <= got) {
            arrivals.push_back(now);
        }
    }
    return arrivals;
}

// A constant delay does not matter, only drift and jitter: each read's lateness is
// measured against the median lateness of all of them.
std::vector<double> Errors(const std::vector<double>& arrivals, const Capture& capture,
                           double speed) {
    std::vector<double> late;
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        late.push_back(arrivals[i] - static_cast<double>(capture.us[i]) / speed);
    }
    std::vector<double> sorted = late;
    std::nth_element(sorted.begin(),
                     sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double typical = sorted.empty() ? 0 : sorted[sorted.size() / 2];
    std::vector<double> errors;
    for (const double l : late) errors.push_back(std::abs(l - typical) / 1000.0);
    return errors;
}

void Report(const char* what, std::vector<double> errors, std::size_t expected) {
    if (errors.size() != expected) {
        std::printf("%-18s only %zu of %zu reads arrived\n", what, errors.size(), expected);
        return;
    }
    std::sort(errors.begin(), errors.end());
    std::printf("%-18s error median %6.2f ms  p99 %6.2f ms  max %6.2f ms  (%zu reads)\n", what,
                errors[errors.size() / 2], errors[errors.size() * 99 / 100], errors.back(),
                errors.size());
}

// The floor: the capture's reads written by this process at their due times.
std::vector<double> PlayHere(const Capture& capture, double speed) {
    std::string error;
    std::unique_ptr<sphyra::PtyEndpoint> pty = sphyra::PtyEndpoint::Create(error, 1 << 24);
    const int port = ::open(pty->Path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    std::vector<double> arrivals;
    std::thread reader([&] { arrivals = Receive(port, capture); });
    sphyra::CapturePlayer player;
    player.Open(capture.path, speed, error);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::vector<std::uint8_t> batch;
    while (auto due = player.NextDueUs()) {
        timespec at = start;
        at.tv_sec += static_cast<time_t>(*due / 1'000'000);
        at.tv_nsec += static_cast<long>(*due % 1'000'000) * 1000;
        if (at.tv_nsec >= 1'000'000'000) {
            at.tv_nsec -= 1'000'000'000;
            ++at.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
        batch.clear();
        player.ProduceInto(*due, batch);
        pty->Write(batch);
        while (pty->Writer().PendingBytes() > 0) pty->Flush();
    }
    reader.join();
    ::close(port);
    return arrivals;
}

std::vector<double> PlayWithSim(const std::string& sim, const Capture& capture, double speed) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string speedText = std::to_string(speed);
    std::vector<std::string> args = {sim, "--replay", capture.path.string(), "--speed", speedText};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, sim.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string path;
    char c = 0;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') path += c;
    const int port = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    std::vector<double> arrivals = port >= 0 ? Receive(port, capture) : std::vector<double>{};
    if (port >= 0) ::close(port);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ::close(fds[0]);
    return arrivals;
}

#ifdef SPHYRA_REPLAY_SESSION
// The window's route: a ReplaySession on the Qt event loop, the port open throughout.
std::vector<double> PlayInSession(const Capture& capture, double speed) {
    sphyra::ReplaySession session(capture.path, speed);
    if (!session.Prepare()) return {};
    const int port = ::open(session.DevicePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    std::vector<double> arrivals;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        arrivals = Receive(port, capture);
        done = true;
    });
    session.Start([] { return true; });
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done) QCoreApplication::quit();
    });
    check.start(20);
    QCoreApplication::exec();
    reader.join();
    ::close(port);
    return arrivals;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    double seconds = 20;
    double speed = 1;
    int runs = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--seconds") seconds = std::atof(argv[i + 1]);
        if (arg == "--speed") speed = std::atof(argv[i + 1]);
        if (arg == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
    }
#ifdef SPHYRA_REPLAY_SESSION
    QCoreApplication app(argc, argv);
#endif
    const fs::path dir =
        fs::temp_directory_path() / ("sphyra-replay-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const Capture capture = WriteCapture(dir, seconds);
    std::printf("capture: %.0f s, %zu reads, %llu bytes, speed x%g\n", seconds, capture.us.size(),
                static_cast<unsigned long long>(capture.ends.back()), speed);
    for (int r = 0; r < runs; ++r) {
        Report("floor (in process)", Errors(PlayHere(capture, speed), capture, speed),
               capture.us.size());
        Report("sphyra-sim --replay",
               Errors(PlayWithSim(SPHYRA_SIM_PATH, capture, speed), capture, speed),
               capture.us.size());
#ifdef SPHYRA_REPLAY_SESSION
        Report("sphyra --replay", Errors(PlayInSession(capture, speed), capture, speed),
               capture.us.size());
#endif
    }
    fs::remove_all(dir);
    return 0;
}

// sphyra-sim: plays pulse sensors on a pseudo-terminal or a serial device in real time.
#include <poll.h>
#include <signal.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/replay/capture_player.h"
#include "tools/sim/output_endpoint.h"
#include "tools/sim/pty_endpoint.h"
#include "tools/sim/sensor_simulator.h"
#include "tools/sim/serial_device.h"
#include "tools/sim/sim_options.h"
#include "tools/sim/sim_report.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_signals = 0;

void OnSignal(int) {
    g_signals = g_signals + 1;
}

// Signals stay blocked except while waiting, so none slips in between the
// check of g_signals and the wait.
sigset_t InstallSignalHandlers() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigprocmask(SIG_BLOCK, &blocked, &previous);
    sigdelset(&previous, SIGINT);
    sigdelset(&previous, SIGTERM);
    return previous;
}

// Waits up to `us` microseconds, for writability of `fd` too when it is not -1.
void Wait(int fd, std::int64_t us, const sigset_t& waitMask) {
    if (us < 0) us = 0;
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(us / 1'000'000);
    timeout.tv_nsec = static_cast<long>((us % 1'000'000) * 1000);
    pollfd pfd{fd, POLLOUT, 0};
    ppoll(fd >= 0 ? &pfd : nullptr, fd >= 0 ? 1 : 0, &timeout, &waitMask);
}

std::int64_t MicrosSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

// Gives the reader up to `lingerMs` to take what is still queued or buffered. A
// pseudo-terminal throws away unread input when its master closes, so leaving at
// once would lose the tail of the run. Unread counts are only seen once the
// terminal has moved the bytes along, hence the short quiet period.
// Returns false on a write error.
bool Linger(sphyra::OutputEndpoint& endpoint, std::uint32_t lingerMs, const sigset_t& waitMask) {
    constexpr std::int64_t kQuietUs = 30'000;
    const Clock::time_point start = Clock::now();
    const sig_atomic_t signalsBefore = g_signals;
    std::int64_t quietSince = -1;
    while (g_signals == signalsBefore && MicrosSince(start) < std::int64_t{lingerMs} * 1000) {
        if (!endpoint.Flush()) return false;
        const std::int64_t now = MicrosSince(start);
        if (endpoint.Writer().PendingBytes() == 0 && endpoint.UnreadBytes() == 0) {
            if (quietSince < 0) quietSince = now;
            if (now - quietSince >= kQuietUs) return true;
        } else {
            quietSince = -1;
        }
        Wait(-1, 5'000, waitMask);
    }
    return true;
}

// --replay: the capture's reads instead of simulated sensors, at their recorded times.
int Replay(sphyra::OutputEndpoint& endpoint, const sphyra::SimOptions& options,
           const sigset_t& waitMask) {
    sphyra::CapturePlayer player;
    std::string error;
    if (!player.Open(options.replayPath, options.replaySpeed, error)) {
        std::fprintf(stderr, "sphyra-sim: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "sphyra-sim: replaying %s (%s, %u baud) at x%g on %s\n",
                 options.replayPath.c_str(), player.Reader().Info().port.c_str(),
                 player.Reader().Info().baud, options.replaySpeed, endpoint.Path().c_str());
    const Clock::time_point start = Clock::now();
    std::vector<std::uint8_t> batch;
    bool ok = true;
    while (ok && g_signals == 0 && !player.Done()) {
        batch.clear();
        player.ProduceInto(static_cast<std::uint64_t>(MicrosSince(start)), batch);
        ok = batch.empty() ? endpoint.Flush() : endpoint.Write(batch);
        const std::optional<std::uint64_t> next = player.NextDueUs();
        if (!ok || !next) break;
        std::int64_t waitUs = static_cast<std::int64_t>(*next) - MicrosSince(start);
        if (waitUs > 100'000) waitUs = 100'000;
        const bool pending = endpoint.Writer().PendingBytes() > 0;
        if (pending && waitUs > 10'000) waitUs = 10'000;
        Wait(pending ? endpoint.Fd() : -1, waitUs, waitMask);
    }
    if (ok) ok = Linger(endpoint, options.lingerMs, waitMask);
    if (!ok) {
        std::fprintf(stderr, "sphyra-sim: write to %s failed: %s\n", endpoint.Path().c_str(),
                     std::strerror(endpoint.Writer().Error()));
    }
    std::printf(
        "replay reads=%llu bytes=%llu recorded_seconds=%.3f written=%llu dropped=%llu "
        "unsent=%zu unread=%zu\ncapture %s\n",
        static_cast<unsigned long long>(player.ReadsPlayed()),
        static_cast<unsigned long long>(player.BytesPlayed()),
        static_cast<double>(player.RecordedUs()) / 1e6,
        static_cast<unsigned long long>(endpoint.Writer().WrittenBytes()),
        static_cast<unsigned long long>(endpoint.Writer().DroppedBytes()),
        endpoint.Writer().PendingBytes(), endpoint.UnreadBytes(),
        player.Done() ? player.Reader().StopText().c_str() : "not played to its end");
    std::fflush(stdout);
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace sphyra;
    const std::vector<std::string> args(argv + 1, argv + argc);
    SimOptions options;
    const std::string fault = ParseSimOptions(args, options);
    if (!fault.empty()) {
        std::fprintf(stderr, "sphyra-sim: %s\nTry 'sphyra-sim --help'.\n", fault.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    const sigset_t waitMask = InstallSignalHandlers();

    std::string error;
    std::unique_ptr<OutputEndpoint> endpoint;
    if (!options.devicePath.empty()) {
        std::unique_ptr<SerialDevice> device =
            SerialDevice::Open(options.devicePath, options.baud, error);
        if (!device) {
            std::fprintf(stderr, "sphyra-sim: %s\n", error.c_str());
            return 1;
        }
        if (!device->Warning().empty()) {
            std::fprintf(stderr, "sphyra-sim: warning: %s\n", device->Warning().c_str());
        }
        const double capacity = options.baud / 10.0;  // 8N1: ten bits a byte
        const double needed = NominalBytesPerSecond(options.config);
        if (device->IsTerminal() && needed > capacity) {
            std::fprintf(stderr,
                         "sphyra-sim: warning: %.0f bytes/s do not fit in %d baud (%.0f bytes/s)\n",
                         needed, options.baud, capacity);
        }
        endpoint = std::move(device);
    } else {
        std::unique_ptr<PtyEndpoint> pty = PtyEndpoint::Create(error);
        if (!pty) {
            std::fprintf(stderr, "sphyra-sim: %s\n", error.c_str());
            return 1;
        }
        if (!options.linkPath.empty() && !pty->CreateLink(options.linkPath, error)) {
            std::fprintf(stderr, "sphyra-sim: %s\n", error.c_str());
            return 1;
        }
        endpoint = std::move(pty);
    }
    std::printf("%s\n", endpoint->Path().c_str());
    std::fflush(stdout);
    if (!options.replayPath.empty()) return Replay(*endpoint, options, waitMask);
    std::fprintf(stderr, "sphyra-sim: %zu sensor(s) on %s%s%s\n%s", options.config.sensors.size(),
                 endpoint->Path().c_str(), options.linkPath.empty() ? "" : ", link ",
                 options.linkPath.c_str(), FormatSimSetup(options.config).c_str());

    SensorSimulator simulator(options.config);
    const bool timed = options.durationSeconds > 0.0;
    const auto durationMs = static_cast<std::uint64_t>(options.durationSeconds * 1000.0 + 0.5);
    const Clock::time_point start = Clock::now();
    std::vector<std::uint8_t> batch;
    bool ok = true;
    std::uint64_t writtenBefore = 0;
    while (g_signals == 0) {
        const std::int64_t elapsedUs = MicrosSince(start);
        std::uint64_t untilMs = static_cast<std::uint64_t>(elapsedUs / 1000);
        if (timed && untilMs > durationMs) untilMs = durationMs;
        batch.clear();
        simulator.ProduceInto(untilMs, batch);
        ok = batch.empty() ? endpoint->Flush() : endpoint->Write(batch);
        if (!ok || (timed && untilMs >= durationMs)) break;

        std::uint64_t nextMs = simulator.NextFrameDueMs();
        if (timed && nextMs > durationMs) nextMs = durationMs;
        // Every sensor may have finished (a recording played to its end).
        nextMs = std::min(nextMs, untilMs + 1000);
        std::int64_t waitUs = static_cast<std::int64_t>(nextMs) * 1000 - elapsedUs;
        if (waitUs > 100'000) waitUs = 100'000;
        // Poll for room only while the last attempt made progress; a terminal may
        // report room it then refuses, and that must not turn into a busy loop.
        const bool progressed = endpoint->Writer().WrittenBytes() != writtenBefore;
        writtenBefore = endpoint->Writer().WrittenBytes();
        const bool pending = endpoint->Writer().PendingBytes() > 0;
        if (pending && !progressed && waitUs > 10'000) waitUs = 10'000;
        Wait(pending && progressed ? endpoint->Fd() : -1, waitUs, waitMask);
    }
    if (ok) ok = Linger(*endpoint, options.lingerMs, waitMask);
    if (!ok) {
        std::fprintf(stderr, "sphyra-sim: write to %s failed: %s\n", endpoint->Path().c_str(),
                     std::strerror(endpoint->Writer().Error()));
    }

    LinkCounters link;
    link.written = endpoint->Writer().WrittenBytes();
    link.dropped = endpoint->Writer().DroppedBytes();
    link.unsent = endpoint->Writer().PendingBytes();
    link.unread = endpoint->UnreadBytes();
    const double seconds = static_cast<double>(simulator.NowMs()) / 1000.0;
    std::fputs(FormatSimSummary(simulator, seconds, link).c_str(), stdout);
    std::fflush(stdout);
    endpoint.reset();  // removes the link
    return ok ? 0 : 1;
}

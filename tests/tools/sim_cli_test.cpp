// Runs the built sphyra-sim binary and checks what it says against what a
// reader of its port receives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/sim_test_support.h"
#include "tools/sim/sim_options.h"

extern char** environ;

namespace sphyra {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(30);

// sphyra-sim with its standard output on a pipe; standard error is discarded.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> argv{SPHYRA_SIM_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        if (::posix_spawn(&m_pid, SPHYRA_SIM_PATH, &actions, nullptr, raw.data(), environ) != 0) {
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_out = fds[0];
    }
    ~SimProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
        if (m_out >= 0) ::close(m_out);
        if (m_reader >= 0) ::close(m_reader);
    }

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    const std::string& Output() const { return m_output; }
    const std::vector<std::uint8_t>& Received() const { return m_received; }
    std::string FirstLine() const { return m_output.substr(0, m_output.find('\n')); }

    // Pumps both the process's output and, once its first line names the port (a path),
    // the port itself, until `done` holds or the output ends. Returns false on timeout.
    template <typename Done>
    bool Pump(Done done) {
        const Clock::time_point deadline = Clock::now() + kDeadline;
        std::array<char, 4096> buffer{};
        while (Clock::now() < deadline) {
            if (m_reader < 0 && m_output.find('\n') != std::string::npos &&
                m_output.front() == '/') {
                m_reader = ::open(FirstLine().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                if (m_reader < 0) return false;
            }
            if (done()) return true;
            if (m_outEnded) {
                ReadPort();  // whatever the hang-up left
                return true;
            }
            pollfd fds[2] = {{m_out, POLLIN, 0}, {m_reader, POLLIN, 0}};
            ::poll(fds, m_reader >= 0 ? 2 : 1, 100);
            ReadPort();
            if ((fds[0].revents & (POLLIN | POLLHUP)) != 0) {
                const ssize_t n = ::read(m_out, buffer.data(), buffer.size());
                if (n > 0) m_output.append(buffer.data(), static_cast<std::size_t>(n));
                if (n == 0) m_outEnded = true;
            }
        }
        return false;
    }
    bool PumpToEnd() {
        return Pump([] { return false; });
    }

    // Exit status, or -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, 0) != m_pid) return -1;
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    void ReadPort() {
        if (m_reader < 0) return;
        std::array<std::uint8_t, 4096> buffer{};
        for (;;) {
            const ssize_t n = ::read(m_reader, buffer.data(), buffer.size());
            if (n <= 0) return;
            m_received.insert(m_received.end(), buffer.begin(), buffer.begin() + n);
        }
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_reader = -1;
    bool m_outEnded = false;
    std::string m_output;
    std::vector<std::uint8_t> m_received;
};

using Fields = std::map<std::string, std::string>;

// "sensor address=1 frames=..." lines by address, and the "total ..." line under -1.
std::map<int, Fields> ParseSummary(const std::string& text) {
    std::map<int, Fields> summary;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind != "sensor" && kind != "total") continue;
        Fields fields;
        for (std::string word; words >> word;) {
            const std::size_t eq = word.find('=');
            if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
        }
        summary[kind == "total" ? -1 : std::stoi(fields["address"])] = fields;
    }
    return summary;
}

std::map<int, std::uint64_t> FramesByAddress(const std::vector<std::uint8_t>& bytes) {
    std::map<int, std::uint64_t> counts;
    for (const test::ReceivedFrame& f : test::ParseStream(bytes)) ++counts[f.address];
    return counts;
}

std::string TempPath(const char* name) {
    return ::testing::TempDir() + "sphyra-sim-" + std::to_string(::getpid()) + "-" + name;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

TEST(SimCli, HelpNamesEveryOption) {
    SimProcess sim({"--help"});
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(sim.PumpToEnd());
    EXPECT_EQ(sim.Wait(), 0);
    for (const char* option :
         {"--sensors",       "--addresses", "--samples",       "--fps",         "--bpm",
          "--gain",          "--battery",   "--battery-drain", "--noise",       "--corrupt",
          "--corrupt-kinds", "--seed",      "--duration",      "--link",        "--device",
          "--baud",          "--linger",    "--help",          "--variability", "--drift",
          "--drift-period",  "--premature", "--episode",       "--replay-csv",  "--column",
          "--rate",          "--loop"}) {
        EXPECT_NE(sim.Output().find(option), std::string::npos) << option;
    }
}

TEST(SimCli, UsageErrorsExitWithTwo) {
    SimProcess sim({"--samples", "81"});
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(sim.PumpToEnd());
    EXPECT_EQ(sim.Wait(), 2);
    EXPECT_EQ(sim.Output(), "");
}

TEST(SimCli, ReaderGetsExactlyTheStreamTheSummaryDescribes) {
    const std::string link = TempPath("timed");
    const std::vector<std::string> args{"--duration", "1.5", "--sensors", "3",   "--samples", "10",
                                        "--fps",      "20",  "--corrupt", "0.2", "--seed",    "42",
                                        "--link",     link};
    SimProcess sim(args);
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(sim.PumpToEnd());
    ASSERT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(Exists(link));

    // The same options through the library give the same bytes.
    SimOptions options;
    ASSERT_EQ(ParseSimOptions(args, options), "");
    SensorSimulator library(options.config);
    const std::vector<std::uint8_t> expected = library.Produce(1500);
    EXPECT_EQ(sim.Received(), expected);

    const std::map<int, Fields> summary = ParseSummary(sim.Output());
    ASSERT_EQ(summary.size(), 4u) << sim.Output();
    const std::map<int, std::uint64_t> parsed = FramesByAddress(sim.Received());
    for (const SensorStats& stats : library.Stats()) {
        const Fields& line = summary.at(stats.address);
        EXPECT_EQ(std::stoull(line.at("frames")), stats.frames);
        EXPECT_EQ(std::stoull(line.at("corrupted")), stats.Corrupted());
        EXPECT_EQ(parsed.at(stats.address), stats.frames);
    }
    const Fields& total = summary.at(-1);
    EXPECT_EQ(std::stoull(total.at("bytes")), expected.size());
    EXPECT_EQ(std::stoull(total.at("written")), expected.size());
    EXPECT_EQ(total.at("dropped"), "0");
    EXPECT_EQ(total.at("unsent"), "0");
    EXPECT_EQ(total.at("unread"), "0");
    EXPECT_GT(std::stoull(total.at("corrupted")), 0u);
}

TEST(SimCli, ReplayedRecordingArrivesWholeAndTheRunEndsByItself) {
    const std::string csv = TempPath("recording.csv");
    std::vector<std::uint8_t> column;
    {
        std::ofstream out(csv);
        out << "t,u8\n";
        for (int i = 0; i < 300; ++i) {
            column.push_back(static_cast<std::uint8_t>((i * 7) & 0xFF));
            out << i << ',' << int{column.back()} << '\n';
        }
    }
    SimProcess sim({"--replay-csv", csv, "--rate", "250", "--addresses", "9"});
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(sim.PumpToEnd());
    ASSERT_EQ(sim.Wait(), 0);
    std::remove(csv.c_str());
    std::vector<std::uint8_t> played;
    for (const test::ReceivedFrame& f : test::ParseStream(sim.Received())) {
        EXPECT_EQ(f.address, 9);
        played.insert(played.end(), f.samples.begin(), f.samples.end());
    }
    EXPECT_EQ(played, column);
}

TEST(SimCli, TerminationStopsCleanlyAndReportsAllItSent) {
    const std::string link = TempPath("endless");
    SimProcess sim({"--sensors", "2", "--fps", "50", "--link", link});
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(sim.Pump([&] { return FramesByAddress(sim.Received()).size() == 2; }));
    EXPECT_TRUE(Exists(link));
    ASSERT_EQ(::kill(sim.Pid(), SIGTERM), 0);
    ASSERT_TRUE(sim.PumpToEnd());
    ASSERT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(Exists(link));

    const std::map<int, Fields> summary = ParseSummary(sim.Output());
    const std::map<int, std::uint64_t> parsed = FramesByAddress(sim.Received());
    for (int address : {1, 2}) {
        EXPECT_EQ(std::stoull(summary.at(address).at("frames")), parsed.at(address));
    }
    EXPECT_EQ(std::stoull(summary.at(-1).at("written")), sim.Received().size());
}

}  // namespace
}  // namespace sphyra

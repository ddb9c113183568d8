// The real program as a process: how it ends when told to from outside, and what it says when
// it cannot open a window at all.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/serial/event_wait.h"
#include "tools/sim/pty_endpoint.h"

namespace sphyra {
namespace {

namespace fs = std::filesystem;
using test::RunUntil;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Starts sphyra with `arguments` and `environment` added; stderr goes to `errorFile`.
pid_t Start(const std::vector<std::string>& arguments,
            const std::vector<std::pair<std::string, std::string>>& environment,
            const fs::path& errorFile) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& [name, value] : environment) {
            if (value.empty()) {
                ::unsetenv(name.c_str());
            } else {
                ::setenv(name.c_str(), value.c_str(), 1);
            }
        }
        std::FILE* err = std::freopen(errorFile.c_str(), "w", stderr);
        (void)err;
        std::vector<char*> argv{const_cast<char*>(SPHYRA_BINARY)};
        for (const std::string& arg : arguments) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(SPHYRA_BINARY, argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for the process to end, running the event loop meanwhile; its wait status, or -1.
int Finish(pid_t pid, int timeoutMs = 15000) {
    int status = -1;
    const bool ended = RunUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, timeoutMs);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return status;
}

TEST(SphyraProcessTest, TerminationSignalsCloseThePortAndEndAsExitDoes) {
    QTemporaryDir dir;
    std::string error;
    auto pty = PtyEndpoint::Create(error);
    ASSERT_TRUE(pty) << error;
    // QSerialPort's lock for /dev/pts/N in /run/lock (alias /var/lock).
    std::string lockName = pty->Path().substr(std::string("/dev/").size());
    for (char& c : lockName) c = c == '/' ? '_' : c;
    const fs::path lock = fs::path("/run/lock") / ("LCK.." + lockName);
    const fs::path settings = dir.filePath("sphyra.ini").toStdString();
    const std::string text =
        "; bench 3\r\n[Main]\r\nCommPort=1\r\n\r\n[Ports]\r\nCOM1=" + pty->Path() + "\r\n";

    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        std::ofstream(settings, std::ios::binary | std::ios::trunc) << text;
        const pid_t pid =
            Start({"--settings", settings.string(), "--open"}, {{"QT_QPA_PLATFORM", "offscreen"}},
                  dir.filePath("err").toStdString());
        // Opened and saved: the open is over, so the signal finds the program in its event loop.
        ASSERT_TRUE(RunUntil([&] {
            return fs::exists(lock) && ReadAll(settings).find("CommBaud") != std::string::npos;
        })) << "the port never opened";
        ASSERT_EQ(::kill(pid, signalNumber), 0);
        const int status = Finish(pid);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << signalNumber << ", status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_FALSE(fs::exists(lock)) << "signal " << signalNumber;
        // The open's write, and nothing else: the baud joins its section, CRLF kept.
        EXPECT_EQ(ReadAll(settings),
                  "; bench 3\r\n[Main]\r\nCommPort=1\r\nCommBaud=115200\r\n\r\n"
                  "[Ports]\r\nCOM1=" +
                      pty->Path() + "\r\n");
        pty->DiscardUnread();
    }
}

TEST(SphyraProcessTest, NoDisplayGivesOneLineAndStatusOne) {
    QTemporaryDir dir;
    const fs::path err = dir.filePath("err").toStdString();
    for (const std::string& display : {std::string(), std::string(":97")}) {
        if (!display.empty() && fs::exists("/tmp/.X11-unix/X97")) continue;  // one is running
        const pid_t pid =
            Start({"--settings", dir.filePath("s.ini").toStdString()},
                  {{"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", ""}, {"DISPLAY", display}}, err);
        const int status = Finish(pid);
        ASSERT_TRUE(WIFEXITED(status)) << "DISPLAY=" << display << ", status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string said = ReadAll(err);
        EXPECT_EQ(said.rfind("sphyra: cannot open a window:", 0), 0u) << said;
        EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
    }
}

}  // namespace
}  // namespace sphyra

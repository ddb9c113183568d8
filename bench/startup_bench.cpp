// Start-up time from exec to the first window on screen, for several programs side by side.
//
//   startup_bench [--runs N] [--timeout-ms T] LABEL=COMMAND [LABEL=COMMAND ...]
//
// COMMAND is split at spaces. Each program runs N times, the programs taking turns so that the
// machine's load falls on all of them alike. The program is started with SPHYRA_STARTUP_PROBE
// set and must write "sphyra-startup-mapped <CLOCK_MONOTONIC ns>" on stderr when its window is
// first exposed (ui/app/startup_probe.h); the time is that stamp minus the clock read just
// before fork. Then the program gets SIGTERM. Needs a display (bench/startup_bench.sh makes one).

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr char kTag[] = "sphyra-startup-mapped ";

long long NowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Program {
    std::string label;
    std::vector<std::string> argv;
    std::vector<double> ms;
};

// Milliseconds from fork to the probe's stamp; negative when the program never showed a window.
double RunOnce(const Program& program, int timeoutMs) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const long long start = NowNs();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDERR_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        ::setenv("SPHYRA_STARTUP_PROBE", "1", 1);
        std::vector<char*> args;
        for (const std::string& arg : program.argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::_Exit(127);
    }
    ::close(fds[1]);
    double result = -1;
    std::string pending;
    const long long deadline = start + static_cast<long long>(timeoutMs) * 1000000LL;
    while (result < 0) {
        const long long left = (deadline - NowNs()) / 1000000LL;
        if (left <= 0) break;
        pollfd wait{fds[0], POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(left)) <= 0) break;
        char buffer[4096];
        const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;
             pending.erase(0, end + 1)) {
            const std::string line = pending.substr(0, end);
            if (line.rfind(kTag, 0) == 0) {
                const long long stamp = std::atoll(line.c_str() + std::strlen(kTag));
                result = static_cast<double>(stamp - start) / 1e6;
                break;
            }
        }
    }
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(fds[0]);
    return result;
}

}  // namespace

int main(int argc, char* argv[]) {
    int runs = 5;
    int timeoutMs = 20000;
    std::vector<Program> programs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--timeout-ms" && i + 1 < argc) {
            timeoutMs = std::max(100, std::atoi(argv[++i]));
        } else if (const std::size_t eq = arg.find('='); eq != std::string::npos && eq > 0) {
            Program program;
            program.label = arg.substr(0, eq);
            std::istringstream words(arg.substr(eq + 1));
            for (std::string word; words >> word;) program.argv.push_back(word);
            if (!program.argv.empty()) programs.push_back(std::move(program));
        } else {
            std::fprintf(stderr,
                         "usage: startup_bench [--runs N] [--timeout-ms T] LABEL=COMMAND ...\n");
            return 2;
        }
    }
    if (programs.empty()) {
        std::fprintf(stderr, "startup_bench: no program given\n");
        return 2;
    }
    for (int run = 0; run < runs; ++run) {
        for (Program& program : programs) program.ms.push_back(RunOnce(program, timeoutMs));
    }
    int failures = 0;
    std::printf("%-16s %6s %9s %9s   runs (ms)\n", "program", "runs", "min ms", "median ms");
    for (Program& program : programs) {
        std::vector<double> good;
        for (double ms : program.ms) {
            if (ms >= 0) good.push_back(ms);
        }
        failures += static_cast<int>(program.ms.size() - good.size());
        std::sort(good.begin(), good.end());
        const double min = good.empty() ? -1 : good.front();
        const double median = good.empty() ? -1
                              : good.size() % 2 == 1
                                  ? good[good.size() / 2]
                                  : (good[good.size() / 2 - 1] + good[good.size() / 2]) / 2;
        std::printf("%-16s %6zu %9.1f %9.1f  ", program.label.c_str(), good.size(), min, median);
        for (double ms : program.ms) std::printf(" %.1f", ms);
        std::printf("\n");
    }
    if (failures > 0) std::fprintf(stderr, "startup_bench: %d run(s) showed no window\n", failures);
    return failures > 0 ? 1 : 0;
}

#include "tools/sim/sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace sphyra {
namespace {

constexpr int kDefaultSensors = 4;
constexpr int kMaxSensors = 256;
constexpr int kDefaultSamples = 20;
constexpr double kDefaultFps = 25.0;

const std::set<std::string> kValuedOptions = {
    "sensors",       "addresses", "samples", "fps",           "bpm",   "gain",     "battery",
    "battery-drain", "noise",     "corrupt", "corrupt-kinds", "seed",  "duration", "link",
    "device",        "baud",      "linger",  "replay",        "speed",
};

std::string Bounds(double lo, double hi) {
    char text[64];
    std::snprintf(text, sizeof text, "%g-%g", lo, hi);
    return text;
}

std::optional<double> ParseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::uint64_t> ParseSeed(const std::string& text) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || end != text.c_str() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos) return items;
        start = comma + 1;
    }
}

// Numbers in [lo, hi], whole numbers only when `integral`.
std::string ParseList(const std::string& name, const std::string& text, double lo, double hi,
                      bool integral, std::vector<double>& out) {
    out.clear();
    for (const std::string& item : SplitList(text)) {
        const std::optional<double> value = ParseNumber(item);
        if (!value || *value < lo || *value > hi || (integral && std::floor(*value) != *value)) {
            return "--" + name + ": '" + item + "' is not " +
                   (integral ? "a whole number" : "a number") + " in " + Bounds(lo, hi);
        }
        out.push_back(*value);
    }
    return {};
}

std::string ParseOne(const std::string& name, const std::string& text, double lo, double hi,
                     bool integral, double& out) {
    std::vector<double> values;
    std::string fault = ParseList(name, text, lo, hi, integral, values);
    if (!fault.empty()) return fault;
    if (values.size() != 1) return "--" + name + " takes a single value";
    out = values.front();
    return {};
}

// A per-sensor list holds either one value for every sensor or one per sensor.
std::string ParsePerSensor(const std::string& name, const std::string& text, std::size_t sensors,
                           double lo, double hi, bool integral, std::vector<double>& out) {
    std::string fault = ParseList(name, text, lo, hi, integral, out);
    if (!fault.empty()) return fault;
    if (out.size() == 1) out.assign(sensors, out.front());
    if (out.size() != sensors) {
        return "--" + name + ": give one value, or one per sensor (" + std::to_string(sensors) +
               ")";
    }
    return {};
}

std::string ParseKinds(const std::string& text, CorruptionConfig& corruption) {
    corruption.garbage = corruption.badChecksum = corruption.overLong = false;
    for (const std::string& item : SplitList(text)) {
        if (item == "garbage") {
            corruption.garbage = true;
        } else if (item == "checksum") {
            corruption.badChecksum = true;
        } else if (item == "length") {
            corruption.overLong = true;
        } else {
            return "--corrupt-kinds: unknown kind '" + item + "' (garbage, checksum, length)";
        }
    }
    return {};
}

}  // namespace

std::string ParseSimOptions(std::span<const std::string> args, SimOptions& options) {
    std::map<std::string, std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0) return "unexpected argument: " + arg;
        std::string name = arg.substr(2);
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (kValuedOptions.count(name) == 0) return "unknown option: --" + name;
        if (!value) {
            if (i + 1 >= args.size()) return "--" + name + " needs a value";
            value = args[++i];
        }
        given[name] = *value;
    }
    if (options.help) return {};
    auto has = [&](const char* name) { return given.count(name) != 0; };
    std::string fault;
    double number = 0.0;
    std::vector<double> list;

    std::vector<std::uint8_t> addresses;
    if (has("addresses")) {
        fault = ParseList("addresses", given["addresses"], 0, 255, true, list);
        if (!fault.empty()) return fault;
        for (double a : list) addresses.push_back(static_cast<std::uint8_t>(a));
    }
    if (has("sensors")) {
        fault = ParseOne("sensors", given["sensors"], 1, kMaxSensors, true, number);
        if (!fault.empty()) return fault;
        const auto count = static_cast<std::size_t>(number);
        if (has("addresses") && addresses.size() != count) {
            return "--sensors and --addresses disagree on the number of sensors";
        }
        if (!has("addresses")) {
            // 1, 2, ... 255 and then 0, so that 256 sensors use every address.
            for (std::size_t i = 0; i < count; ++i) {
                addresses.push_back(static_cast<std::uint8_t>((i + 1) & 0xFF));
            }
        }
    }
    if (addresses.empty()) {
        for (int i = 1; i <= kDefaultSensors; ++i)
            addresses.push_back(static_cast<std::uint8_t>(i));
    }
    const std::size_t count = addresses.size();

    int samples = kDefaultSamples;
    if (has("samples")) {
        fault = ParseOne("samples", given["samples"], 0, 80, true, number);
        if (!fault.empty()) return fault;
        samples = static_cast<int>(number);
    }
    std::uint64_t seed = 1;
    if (has("seed")) {
        const std::optional<std::uint64_t> parsed = ParseSeed(given["seed"]);
        if (!parsed) return "--seed: not an unsigned 64-bit number: " + given["seed"];
        seed = *parsed;
    }
    SimulatorConfig config = MakeSimulatorConfig(addresses, samples, kDefaultFps, seed);

    if (has("fps")) {
        fault = ParsePerSensor("fps", given["fps"], count, kMinFramesPerSecond, kMaxFramesPerSecond,
                               false, list);
        if (!fault.empty()) return fault;
        for (std::size_t i = 0; i < count; ++i) config.sensors[i].framesPerSecond = list[i];
    }
    if (has("bpm")) {
        fault = ParsePerSensor("bpm", given["bpm"], count, 1, 300, false, list);
        if (!fault.empty()) return fault;
        for (std::size_t i = 0; i < count; ++i) config.sensors[i].bpm = list[i];
    }
    if (has("gain")) {
        fault = ParsePerSensor("gain", given["gain"], count, 0, 255, true, list);
        if (!fault.empty()) return fault;
        for (std::size_t i = 0; i < count; ++i) {
            config.sensors[i].gain = static_cast<std::uint8_t>(list[i]);
        }
    }
    if (has("battery")) {
        fault = ParsePerSensor("battery", given["battery"], count, 0, 100, false, list);
        if (!fault.empty()) return fault;
        for (std::size_t i = 0; i < count; ++i) config.sensors[i].batteryStart = list[i];
    }
    if (has("battery-drain")) {
        fault = ParseOne("battery-drain", given["battery-drain"], 0, 100, false,
                         config.batteryDrainPerMinute);
        if (!fault.empty()) return fault;
    }
    if (has("noise")) {
        fault = ParseOne("noise", given["noise"], 0, 255, false, config.noiseCounts);
        if (!fault.empty()) return fault;
    }
    if (has("corrupt")) {
        fault = ParseOne("corrupt", given["corrupt"], 0, 1, false, config.corruption.rate);
        if (!fault.empty()) return fault;
    }
    if (has("corrupt-kinds")) {
        fault = ParseKinds(given["corrupt-kinds"], config.corruption);
        if (!fault.empty()) return fault;
    }
    if (has("duration")) {
        fault = ParseOne("duration", given["duration"], 0, 1e9, false, options.durationSeconds);
        if (!fault.empty()) return fault;
    }
    if (has("baud")) {
        fault = ParseOne("baud", given["baud"], 1, 1e8, true, number);
        if (!fault.empty()) return fault;
        options.baud = static_cast<int>(number);
    }
    if (has("linger")) {
        fault = ParseOne("linger", given["linger"], 0, 600000, true, number);
        if (!fault.empty()) return fault;
        options.lingerMs = static_cast<std::uint32_t>(number);
    }
    if (has("link")) options.linkPath = given["link"];
    if (has("device")) options.devicePath = given["device"];
    if (has("link") && options.linkPath.empty()) return "--link needs a path";
    if (has("device") && options.devicePath.empty()) return "--device needs a path";
    if (!options.linkPath.empty() && !options.devicePath.empty()) {
        return "--link goes with the pseudo-terminal, not with --device";
    }
    if (has("baud") && options.devicePath.empty()) return "--baud goes with --device";
    if (has("replay")) {
        options.replayPath = given["replay"];
        if (options.replayPath.empty()) return "--replay needs a capture file";
    }
    if (has("speed")) {
        if (!has("replay")) return "--speed goes with --replay";
        fault = ParseOne("speed", given["speed"], 0.01, 1000, false, options.replaySpeed);
        if (!fault.empty()) return fault;
    }

    fault = ValidateSimulatorConfig(config);
    if (!fault.empty()) return fault;
    options.config = std::move(config);
    return {};
}

std::string SimUsage() {
    return R"(Usage: sphyra-sim [options]

Plays one or more infrared pulse sensors on one serial link, in real time.
By default it creates a pseudo-terminal and prints the path of its slave side,
the port a receiver opens, as the first line on standard output.

Sensors:
  --sensors N          number of sensors, 1-256 (default 4, at addresses 1..N)
  --addresses LIST     their addresses instead, e.g. 1,2,7 (0-255, all different)
  --samples N          samples per frame, 0-80 (default 20)
  --fps LIST           frames per second, 0.01-1000 (default 25)
  --bpm LIST           pulse rate in beats per minute, 1-300 (default: spread
                       over 55-110, different for every sensor)
  --gain LIST          gain sent in each frame and applied to the samples, 0-255
                       (default: 4-6; samples above 255 are clipped)
  --battery LIST       starting battery level in percent (default: 50-100,
                       different for every sensor)
  --battery-drain PCT  battery lost per minute, in percentage points (default 0.5)
  --noise COUNTS       standard deviation of sample noise (default 0.5)
  A LIST is one value for every sensor, or one value per sensor, comma-separated.

Faults on the link:
  --corrupt RATE       chance per frame, 0-1, that the frame is damaged (default 0)
  --corrupt-kinds LIST any of garbage,checksum,length (default all three):
                         garbage   noise bytes before a frame (the frame stays good)
                         checksum  the frame's checksum byte is wrong
                         length    the frame's length byte claims 81-255 samples
                       None of them can make a receiver lose a good frame.

Run:
  --seed N             seed for everything random (default 1); the same seed and
                       options give the same byte stream
  --duration SECONDS   stop after this much time (default 0: until SIGINT/SIGTERM)
  --link PATH          also make PATH a symbolic link to the pseudo-terminal,
                       removed on exit (an existing symbolic link is replaced,
                       any other file is left alone)
  --device PATH        write to this existing device instead of a pseudo-terminal
  --baud N             with --device: line speed (default 115200), set raw 8N1
  --linger MS          at exit, wait up to this long for the reader to take what
                       is still buffered (default 1000)
  --replay CAPTURE     play a Sphyra capture (.sphc) instead of simulated sensors:
                       the bytes it received, with their recorded timing; the
                       sensor and fault options do not apply
  --speed X            with --replay: play X times as fast, 0.01-1000 (default 1)
  -h, --help           show this text

On exit it prints one line per sensor and a total line, e.g.
  sensor address=1 frames=250 corrupted=3 bad_checksum=1 over_long=2 bpm=72.4 gain=5 battery=97
  total frames=1000 corrupted=12 bad_checksum=5 over_long=7 garbage_bursts=4 garbage_bytes=51 bytes=28000 written=28000 dropped=0 unsent=0 unread=0 seconds=10.000
"frames" counts good frames and "corrupted" damaged ones. Bytes a stalled
reader never took are reported as "dropped" (discarded from the send queue),
"unsent" (still queued at exit) and "unread" (sent, never read).
Exit status: 0 after a clean run, 1 on a write error, 2 on a usage error.
)";
}

}  // namespace sphyra

#include "tools/sim/sim_options.h"

#include "tools/sim/option_values.h"
#include "tools/sim/pulse_options.h"

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

using simopt::GivenOptions;
using simopt::ParseList;
using simopt::ParseOne;
using simopt::ParsePerSensor;
using simopt::ParseSeed;
using simopt::SplitList;

constexpr int kDefaultSensors = 4;
constexpr int kMaxSensors = 256;
constexpr int kDefaultSamples = 20;
constexpr double kDefaultFps = 25.0;

const std::set<std::string> kValuedOptions = {
    "sensors",
    "addresses",
    "samples",
    "fps",
    "bpm",
    "gain",
    "battery",
    "battery-drain",
    "noise",
    "corrupt",
    "corrupt-kinds",
    "seed",
    "duration",
    "link",
    "device",
    "baud",
    "linger",
    // the pulse behind each sensor, and recordings (pulse_options.cpp)
    "variability",
    "drift",
    "drift-period",
    "premature",
    "episode",
    "replay-csv",
    "column",
    "rate",
    // playing a capture back (replay)
    "replay",
    "speed",
};
// Options that may be given several times; the others keep their last value.
const std::set<std::string> kRepeatableOptions = {"episode"};
// Options that take no value.
const std::set<std::string> kFlagOptions = {"loop"};

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
    GivenOptions given;
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
        if (kFlagOptions.count(name) != 0) {
            if (value) return "--" + name + " takes no value";
            given[name] = {""};
            continue;
        }
        if (kValuedOptions.count(name) == 0) return "unknown option: --" + name;
        if (!value) {
            if (i + 1 >= args.size()) return "--" + name + " needs a value";
            value = args[++i];
        }
        std::vector<std::string>& values = given[name];
        if (kRepeatableOptions.count(name) == 0) values.clear();
        values.push_back(*value);
    }
    if (options.help) return {};
    auto has = [&](const char* name) { return given.count(name) != 0; };
    auto value = [&](const char* name) { return given.at(name).back(); };
    std::string fault;
    double number = 0.0;
    std::vector<double> list;

    std::vector<std::uint8_t> addresses;
    if (has("addresses")) {
        fault = ParseList("addresses", value("addresses"), 0, 255, true, list);
        if (!fault.empty()) return fault;
        for (double a : list) addresses.push_back(static_cast<std::uint8_t>(a));
    }
    if (has("sensors")) {
        fault = ParseOne("sensors", value("sensors"), 1, kMaxSensors, true, number);
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
        // A recording is usually played alone.
        const int sensors = has("replay-csv") ? 1 : kDefaultSensors;
        for (int i = 1; i <= sensors; ++i) addresses.push_back(static_cast<std::uint8_t>(i));
    }
    const std::size_t count = addresses.size();

    int samples = kDefaultSamples;
    if (has("samples")) {
        fault = ParseOne("samples", value("samples"), 0, 80, true, number);
        if (!fault.empty()) return fault;
        samples = static_cast<int>(number);
    }
    std::uint64_t seed = 1;
    if (has("seed")) {
        const std::optional<std::uint64_t> parsed = ParseSeed(value("seed"));
        if (!parsed) return "--seed: not an unsigned 64-bit number: " + value("seed");
        seed = *parsed;
    }
    SimulatorConfig config = MakeSimulatorConfig(addresses, samples, kDefaultFps, seed);

    if (has("fps")) {
        fault = ParsePerSensor("fps", value("fps"), count, kMinFramesPerSecond, kMaxFramesPerSecond,
                               false, list);
        if (!fault.empty()) return fault;
        for (std::size_t i = 0; i < count; ++i) config.sensors[i].framesPerSecond = list[i];
    }
    if (has("bpm")) {
        fault = ParsePerSensor("bpm", value("bpm"), count, 1, 300, false, list);
        if (!fault.empty()) return fault;
        for (std::size_t i = 0; i < count; ++i) config.sensors[i].bpm = list[i];
    }
    if (has("gain")) {
        fault = ParsePerSensor("gain", value("gain"), count, 0, 255, true, list);
        if (!fault.empty()) return fault;
        for (std::size_t i = 0; i < count; ++i) {
            config.sensors[i].gain = static_cast<std::uint8_t>(list[i]);
        }
    }
    if (has("battery")) {
        fault = ParsePerSensor("battery", value("battery"), count, 0, 100, false, list);
        if (!fault.empty()) return fault;
        for (std::size_t i = 0; i < count; ++i) config.sensors[i].batteryStart = list[i];
    }
    if (has("battery-drain")) {
        fault = ParseOne("battery-drain", value("battery-drain"), 0, 100, false,
                         config.batteryDrainPerMinute);
        if (!fault.empty()) return fault;
    }
    if (has("noise")) {
        fault = ParseOne("noise", value("noise"), 0, 255, false, config.noiseCounts);
        if (!fault.empty()) return fault;
    }
    if (has("corrupt")) {
        fault = ParseOne("corrupt", value("corrupt"), 0, 1, false, config.corruption.rate);
        if (!fault.empty()) return fault;
    }
    if (has("corrupt-kinds")) {
        fault = ParseKinds(value("corrupt-kinds"), config.corruption);
        if (!fault.empty()) return fault;
    }
    if (has("duration")) {
        fault = ParseOne("duration", value("duration"), 0, 1e9, false, options.durationSeconds);
        if (!fault.empty()) return fault;
    }
    if (has("baud")) {
        fault = ParseOne("baud", value("baud"), 1, 1e8, true, number);
        if (!fault.empty()) return fault;
        options.baud = static_cast<int>(number);
    }
    if (has("linger")) {
        fault = ParseOne("linger", value("linger"), 0, 600000, true, number);
        if (!fault.empty()) return fault;
        options.lingerMs = static_cast<std::uint32_t>(number);
    }
    if (has("link")) options.linkPath = value("link");
    if (has("device")) options.devicePath = value("device");
    if (has("link") && options.linkPath.empty()) return "--link needs a path";
    if (has("device") && options.devicePath.empty()) return "--device needs a path";
    if (!options.linkPath.empty() && !options.devicePath.empty()) {
        return "--link goes with the pseudo-terminal, not with --device";
    }
    if (has("baud") && options.devicePath.empty()) return "--baud goes with --device";
    if (has("replay")) {
        options.replayPath = value("replay");
        if (options.replayPath.empty()) return "--replay needs a capture file";
    }
    if (has("speed")) {
        if (!has("replay")) return "--speed goes with --replay";
        fault = ParseOne("speed", value("speed"), 0.01, 1000, false, options.replaySpeed);
        if (!fault.empty()) return fault;
    }

    options.config = std::move(config);
    fault = ApplyPulseOptions(given, options);
    if (!fault.empty()) return fault;
    return ValidateSimulatorConfig(options.config);
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

The heart behind each sensor (all off by default: a perfectly steady pulse):
  --variability LIST   beat-to-beat change: standard deviation of each beat's
                       length as a fraction of it, 0-0.2 (e.g. 0.05)
  --drift LIST         slow rate change: the rate swings this many beats per
                       minute either side of --bpm ...
  --drift-period SECS  ... over this many seconds (default 60)
  --premature LIST     chance per beat, 0-0.5, of a premature beat: early, weak,
                       and followed by a pause that restores the rhythm
  --episode [ADDRESS:]KIND@START+SECONDS
                       a finger-off or motion episode from START for SECONDS
                       (on the sensor's sample clock), on the sensor at ADDRESS
                       or on every sensor; may be given several times. KIND:
                         flat      every sample 0 (finger off, no light)
                         saturate  every sample 255 (detector flooded)
                         noise     the pulse drowned in large random noise
                         wander    the baseline swings slowly and widely

A recording:
  --replay-csv FILE    the first sensor plays a recorded column of 0-255
                       samples instead of a simulated pulse (--sensors then
                       defaults to 1; more sensors are simulated as usual)
  --column NAME        the column, by header name or number from 0 (default u8)
  --rate HZ            the recording's sample rate (required), 0.01-10000
  --loop               play it over and over; otherwise the sensor falls silent
                       at its end, and the run ends there unless --duration says
  The replayed sensor sends --samples samples a frame (default: as many as make
  about --fps frames a second) at HZ / samples frames a second, unchanged by
  --noise; episodes apply to it too.

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

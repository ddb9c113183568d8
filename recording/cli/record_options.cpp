#include "recording/cli/record_options.h"

#include <charconv>
#include <cmath>

namespace sphyra {
namespace {

template <typename T>
bool ParseNumber(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && !text.empty();
}

}  // namespace

std::string ParseRecordOptions(std::span<const std::string> args, RecordOptions& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            options.help = true;
            return {};
        }
        if (arg == "--no-wait") {
            options.waitForDevice = false;
            continue;
        }
        if (arg != "--port" && arg != "--baud" && arg != "--out" && arg != "--duration" &&
            arg != "--max-size" && arg != "--settings")
            return "unknown option '" + arg + "'";
        if (i + 1 >= args.size()) return arg + " needs a value";
        const std::string& value = args[++i];
        if (arg == "--port") {
            options.port = value;
        } else if (arg == "--baud") {
            if (!ParseNumber(value, options.baud) || options.baud <= 1200)
                return "--baud must be a whole number above 1200, not '" + value + "'";
        } else if (arg == "--out") {
            options.outFolder = value;
        } else if (arg == "--settings") {
            options.settingsPath = value;
        } else if (arg == "--duration") {
            if (!ParseNumber(value, options.durationSeconds) ||
                !std::isfinite(options.durationSeconds) || options.durationSeconds < 0)
                return "--duration must be a number of seconds, 0 or more, not '" + value + "'";
        } else {
            if (!ParseNumber(value, options.maxFileMegabytes) || options.maxFileMegabytes == 0)
                return "--max-size must be a whole number of megabytes, 1 or more, not '" + value +
                       "'";
        }
    }
    if (options.port.empty()) return "--port is required";
    if (options.baud == 0) return "--baud is required";
    return {};
}

std::string RecordUsage() {
    return R"(Usage: sphyra-record --port COMn|DEVICE --baud B [options]

Records everything the sensors' receiver sends on a serial port into capture
files (.sphc), with no window: for long unattended sessions on a machine with no
display. The captures replay and export like the window's recordings.

  --port COMn|DEVICE  the port: COM1-COM16 as the window numbers them (through
                      the [Ports] section of the settings file), or a device path
  --baud B            line speed, above 1200
  --out DIR           folder for the captures, created if missing (default
                      $XDG_DATA_HOME/sphyra/recordings)
  --duration S        stop after S seconds (default 0: until Ctrl-C or SIGTERM)
  --max-size MB       begin a new file past this size (default 1024); a new file
                      is also begun every hour
  --no-wait           stop when the device goes away instead of waiting for it
                      to come back and recording on into the same file
  --settings FILE     the settings file for COMn (default: the window's)
  -h, --help          show this text

On a terminal a progress line shows the time recorded, the bytes written, the
frames and sensors heard and the frames thrown away as bad.
Exit status: 0 after a clean stop, 1 when the port cannot be opened or the
device went away with --no-wait, 2 on a usage error, 3 when recording failed
(disk full, folder not writable); the files keep what was written.
)";
}

}  // namespace sphyra

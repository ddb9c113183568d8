#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace sphyra {

// Everything the sphyra-record command line can say.
struct RecordOptions {
    std::string port;  // "COM3" (through the port map) or a device path
    int baud = 0;
    std::filesystem::path outFolder;     // empty: the default capture folder
    std::filesystem::path settingsPath;  // empty: the window's settings file
    double durationSeconds = 0.0;        // 0: until SIGINT/SIGTERM
    std::uint64_t maxFileMegabytes = 1024;
    bool waitForDevice = true;  // after the device goes away, wait for it to come back
    bool help = false;
};

// Parses the arguments after the program name. Returns an empty string on
// success, otherwise a one-line description of the first fault.
std::string ParseRecordOptions(std::span<const std::string> args, RecordOptions& options);

// The --help text.
std::string RecordUsage();

}  // namespace sphyra

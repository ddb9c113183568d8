#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "tools/sim/sim_config.h"

namespace sphyra {

// Everything the sphyra-sim command line can say.
struct SimOptions {
    SimulatorConfig config;
    double durationSeconds = 0.0;  // 0: until interrupted
    std::string linkPath;          // symbolic link to the pseudo-terminal
    std::string devicePath;        // write here instead of to a pseudo-terminal
    int baud = 115200;
    std::uint32_t lingerMs = 1000;  // at exit, how long to wait for a reader to take the rest
    std::string replayPath;         // play this capture instead of simulated sensors
    double replaySpeed = 1.0;
    bool help = false;
};

// Parses the arguments after the program name into `options`. Returns an empty
// string on success, otherwise a one-line description of the first fault.
std::string ParseSimOptions(std::span<const std::string> args, SimOptions& options);

// The --help text.
std::string SimUsage();

}  // namespace sphyra

#pragma once

#include <string>

#include "tools/sim/option_values.h"
#include "tools/sim/sim_options.h"

namespace sphyra {

// Reads the options that shape the heart behind each sensor (--variability,
// --drift, --drift-period, --premature, --episode) and the recording the first
// sensor replays (--replay-csv, --column, --rate, --loop) into `options`, whose
// sensors are already set up. Returns an empty string or the first fault.
std::string ApplyPulseOptions(const simopt::GivenOptions& given, SimOptions& options);

// Parses one --episode value, "[ADDRESS:]KIND@START+SECONDS". `address` is
// left alone when the value names none.
std::string ParseEpisode(const std::string& text, SimEpisode& episode, int& address);

}  // namespace sphyra

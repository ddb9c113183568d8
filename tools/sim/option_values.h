#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Reading the values of command-line options. Each Parse... function returns an
// empty string on success, otherwise a one-line description of the fault that
// names the option.
namespace sphyra::simopt {

// Each option given, by name without the dashes, with its values in the order
// given (only repeatable options keep more than the last).
using GivenOptions = std::map<std::string, std::vector<std::string>>;

std::optional<double> ParseNumber(const std::string& text);
std::optional<std::uint64_t> ParseSeed(const std::string& text);
std::vector<std::string> SplitList(const std::string& text, char separator = ',');

// Numbers in [lo, hi], whole numbers only when `integral`.
std::string ParseList(const std::string& name, const std::string& text, double lo, double hi,
                      bool integral, std::vector<double>& out);
std::string ParseOne(const std::string& name, const std::string& text, double lo, double hi,
                     bool integral, double& out);
// A per-sensor list holds either one value for every sensor or one per sensor.
std::string ParsePerSensor(const std::string& name, const std::string& text, std::size_t sensors,
                           double lo, double hi, bool integral, std::vector<double>& out);

}  // namespace sphyra::simopt

#include "tools/sim/option_values.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sphyra::simopt {
namespace {

std::string Bounds(double lo, double hi) {
    char text[64];
    std::snprintf(text, sizeof text, "%g-%g", lo, hi);
    return text;
}

}  // namespace

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

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(separator, start);
        items.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
        if (comma == std::string::npos) return items;
        start = comma + 1;
    }
}

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

}  // namespace sphyra::simopt

#include "tools/sim/csv_column.h"

#include <cmath>
#include <fstream>
#include <optional>

#include "tools/sim/option_values.h"

namespace sphyra {
namespace {

std::vector<std::string> Cells(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> cells = simopt::SplitList(line);
    for (std::string& cell : cells) {
        const std::size_t first = cell.find_first_not_of(" \t\"");
        const std::size_t last = cell.find_last_not_of(" \t\"");
        cell = first == std::string::npos ? std::string() : cell.substr(first, last - first + 1);
    }
    return cells;
}

}  // namespace

std::string ReadCsvColumn(const std::string& path, const std::string& column,
                          std::vector<std::uint8_t>& samples) {
    samples.clear();
    std::ifstream in(path);
    if (!in) return "cannot read " + path;
    std::string line;
    std::size_t lineNumber = 0;
    std::optional<std::size_t> index;
    const std::optional<double> number = simopt::ParseNumber(column);
    if (number && *number >= 0 && std::floor(*number) == *number) {
        index = static_cast<std::size_t>(*number);
    }
    bool firstLine = true;
    while (std::getline(in, line)) {
        ++lineNumber;
        const std::vector<std::string> cells = Cells(line);
        if (cells.size() == 1 && cells.front().empty()) continue;
        if (firstLine) {
            firstLine = false;
            if (!index) {
                for (std::size_t i = 0; i < cells.size() && !index; ++i) {
                    if (cells[i] == column) index = i;
                }
                if (!index) return path + ": no column '" + column + "' in the first line";
                continue;
            }
            if (*index < cells.size() && !simopt::ParseNumber(cells[*index])) continue;
        }
        const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        if (*index >= cells.size()) return where + "the line has no column " + column;
        const std::optional<double> value = simopt::ParseNumber(cells[*index]);
        if (!value) return where + "'" + cells[*index] + "' is not a number";
        const double rounded = std::round(*value);
        if (rounded < 0.0 || rounded > 255.0) {
            return where + cells[*index] + " is outside 0-255 (choose a column scaled to bytes)";
        }
        samples.push_back(static_cast<std::uint8_t>(rounded));
    }
    if (samples.empty()) return path + ": no samples in column " + column;
    return {};
}

}  // namespace sphyra

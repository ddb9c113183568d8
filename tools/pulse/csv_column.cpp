#include "tools/pulse/csv_column.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string_view>

namespace sphyra {
namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    while (true) {
        const std::size_t comma = line.find(',');
        std::string_view field = line.substr(0, comma);
        while (!field.empty() && (field.front() == ' ' || field.front() == '"'))
            field.remove_prefix(1);
        while (!field.empty() &&
               (field.back() == ' ' || field.back() == '"' || field.back() == '\r')) {
            field.remove_suffix(1);
        }
        fields.push_back(field);
        if (comma == std::string_view::npos) return fields;
        line.remove_prefix(comma + 1);
    }
}

bool ParseNumber(std::string_view text, double& value) {
    if (text.empty()) return false;
    if (text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size() && std::isfinite(value);
}

bool ParseIndex(const std::string& text, std::size_t& index) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
    return !text.empty() && error == std::errc{} && end == text.data() + text.size();
}

}  // namespace

CsvColumn ReadCsvColumn(std::istream& in, const std::string& column) {
    std::string line;
    std::size_t lineNumber = 0;
    std::vector<std::string_view> fields;
    // Skips blank lines up to the first row.
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.find_first_not_of(" \r\t") != std::string::npos) break;
    }
    if (line.find_first_not_of(" \r\t") == std::string::npos)
        throw std::runtime_error("the file is empty");
    fields = SplitFields(line);
    bool header = false;
    for (std::string_view f : fields) {
        double ignored = 0;
        if (!ParseNumber(f, ignored)) header = true;
    }

    CsvColumn result;
    std::size_t index = 0;
    bool found = false;
    if (header) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (fields[i] == column) {
                index = i;
                found = true;
                break;
            }
        }
    }
    if (!found && ParseIndex(column, index)) found = index < fields.size();
    if (!found) {
        std::string known;
        if (header) {
            for (std::string_view f : fields) known += (known.empty() ? "" : ", ") + std::string(f);
        }
        throw std::runtime_error("no column \"" + column + "\"" +
                                 (header ? " (columns: " + known + ")"
                                         : " (the file has no header and " +
                                               std::to_string(fields.size()) + " columns)"));
    }
    result.name = header ? std::string(fields[index]) : std::to_string(index);

    auto take = [&](const std::vector<std::string_view>& row) {
        if (index >= row.size()) {
            throw std::runtime_error("line " + std::to_string(lineNumber) + " has no column \"" +
                                     result.name + "\"");
        }
        double value = 0;
        if (!ParseNumber(row[index], value) || value != std::floor(value) || value < 0 ||
            value > 65535) {
            throw std::runtime_error("line " + std::to_string(lineNumber) + ": \"" +
                                     std::string(row[index]) +
                                     "\" is not a sample count (a whole number 0-65535)");
        }
        result.values.push_back(static_cast<std::uint16_t>(value));
    };
    if (!header) take(fields);
    while (std::getline(in, line)) {
        ++lineNumber;
        if (line.find_first_not_of(" \r\t") == std::string::npos) continue;
        take(SplitFields(line));
    }
    return result;
}

}  // namespace sphyra

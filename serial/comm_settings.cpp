#include "serial/comm_settings.h"

#include <array>
#include <charconv>
#include <cstddef>

namespace sphyra {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::optional<int> WholeNumber(std::string_view s) {
    int value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<CommSettings> CommSettings::Parse(std::string_view text) {
    std::array<std::string_view, 4> fields;
    std::size_t count = 0;
    for (;;) {
        const std::size_t comma = text.find(',');
        if (count == fields.size()) return std::nullopt;
        fields[count++] = Trim(text.substr(0, comma));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (count != fields.size()) return std::nullopt;

    CommSettings settings;
    const auto baud = WholeNumber(fields[0]);
    if (!baud || *baud <= 0) return std::nullopt;
    settings.baud = *baud;

    if (fields[1].size() != 1) return std::nullopt;
    switch (fields[1][0]) {
        case 'n':
        case 'N':
            settings.parity = Parity::None;
            break;
        case 'e':
        case 'E':
            settings.parity = Parity::Even;
            break;
        case 'o':
        case 'O':
            settings.parity = Parity::Odd;
            break;
        case 'm':
        case 'M':
            settings.parity = Parity::Mark;
            break;
        case 's':
        case 'S':
            settings.parity = Parity::Space;
            break;
        default:
            return std::nullopt;
    }

    const auto dataBits = WholeNumber(fields[2]);
    if (!dataBits || *dataBits < 5 || *dataBits > 8) return std::nullopt;
    settings.dataBits = *dataBits;

    if (fields[3] == "1") {
        settings.stopBits = StopBits::One;
    } else if (fields[3] == "1.5") {
        settings.stopBits = StopBits::OneAndHalf;
    } else if (fields[3] == "2") {
        settings.stopBits = StopBits::Two;
    } else {
        return std::nullopt;
    }
    return settings;
}

std::string CommSettings::ToString() const {
    static constexpr char kParity[] = {'n', 'e', 'o', 'm', 's'};
    static constexpr const char* kStop[] = {"1", "1.5", "2"};
    return std::to_string(baud) + "," + kParity[static_cast<int>(parity)] + "," +
           std::to_string(dataBits) + "," + kStop[static_cast<int>(stopBits)];
}

}  // namespace sphyra

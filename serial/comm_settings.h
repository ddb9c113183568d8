#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sphyra {

// The line parameters in the control's "baud,parity,data,stop" text, e.g. "115200,n,8,1".
struct CommSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    // None when the text is not a valid settings text: a positive baud rate,
    // parity n/e/o/m/s (either case), 5 to 8 data bits, stop bits 1, 1.5 or 2.
    static std::optional<CommSettings> Parse(std::string_view text);
    std::string ToString() const;
};

}  // namespace sphyra

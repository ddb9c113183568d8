#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace sphyra {

// One column of a comma-separated file as sensor counts. The first row is a header when any of
// its fields is not a number; the column is then chosen by name or by index (from 0), and
// without a header only by index. Values must be whole numbers 0-65535, as a sensor sends.
struct CsvColumn {
    std::string name;  // the header's name for it, or the index as text
    std::vector<std::uint16_t> values;
};

// Throws std::runtime_error with a message fit for the user when the column is missing or a
// value is not a count.
CsvColumn ReadCsvColumn(std::istream& in, const std::string& column);

}  // namespace sphyra

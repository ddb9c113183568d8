#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sphyra {

// Reads one column of 0-255 samples from a CSV file into `samples`. `column` is
// a name from the header line or a column number counting from 0, as
// sphyra-pulse does (the first line is then skipped when it is not a number there). Values are
// rounded to whole samples. Returns an empty string or what is wrong, with the line number.
std::string ReadCsvColumn(const std::string& path, const std::string& column,
                          std::vector<std::uint8_t>& samples);

}  // namespace sphyra

#pragma once

#include <string_view>

namespace sphyra {

// Reads an integer the way the Windows profile functions and atoi do: optional
// white space, an optional sign, then the leading decimal digits. Anything after
// the digits is ignored ("12abc" is 12) and text without digits is 0. A value
// beyond the range of int is clamped to INT_MIN / INT_MAX instead of wrapping.
int ParseLeadingInt(std::string_view text);

}  // namespace sphyra

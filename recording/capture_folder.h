#pragma once

#include <filesystem>

namespace sphyra {

// Where captures go when nobody chose a folder: $XDG_DATA_HOME/sphyra/recordings,
// ~/.local/share/sphyra/recordings when XDG_DATA_HOME is unset or not absolute.
std::filesystem::path DefaultCaptureFolder();

}  // namespace sphyra

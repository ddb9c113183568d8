#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "export/capture_export.h"

namespace sphyra {

// What a finished recording is exported to, from the settings file: section
// "Recording", key "ExportAtStop", a comma-separated list of "EDF" and "CSV", or
// "None". EDF alone when the key is absent: CSV holds a row per sample and grows
// several times larger than the capture, so it is written only when asked for.
struct ExportAtStop {
    static constexpr char kKey[] = "ExportAtStop";

    bool edf = true;
    bool csv = false;

    // Reads the key; an unknown word is reported on stderr and left out.
    static ExportAtStop Read(const std::filesystem::path& settingsPath);
    static ExportAtStop Parse(std::string_view value);

    bool Any() const { return edf || csv; }
    // The export beside `capture`, named after it: NAME.edf and the folder NAME-csv.
    ExportRequest RequestFor(const std::filesystem::path& capture) const;
};

// The `sphyra-export` command that does what `request` does, for a person to run.
std::string ExportCommand(const ExportRequest& request);

}  // namespace sphyra

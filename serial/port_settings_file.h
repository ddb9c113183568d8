#pragma once

#include <filesystem>
#include <string>

#include "serial/profile_file.h"

namespace sphyra {

struct PortSettings {
    int port = 1;
    int baud = 115200;
};

// The two-key settings file that remembers the last port and baud rate that
// opened. Section "Main", keys "CommPort" then "CommBaud".
class PortSettingsFile {
public:
    explicit PortSettingsFile(std::filesystem::path path) : m_path(std::move(path)) {}

    // argv[0] with every ".exe" replaced by ".ini" when it has one; otherwise
    // $XDG_CONFIG_HOME/sphyra/sphyra.ini (~/.config/sphyra/sphyra.ini).
    static std::filesystem::path PathForProgram(const std::string& argv0);

    // Both keys from one reading of the file; defaults for what is missing or unreadable.
    PortSettings ReadPortSettings() const;
    // Both keys in one write, "CommPort" first. False when the file was not saved; LastProblem()
    // says why, for the operator.
    bool WritePortSettings(int port, int baud);

    // Why the last read or write fell back or failed; empty when it did not.
    const FileProblem& LastProblem() const { return m_problem; }

    // Clears temporary files a crash during a write left beside the file.
    int RemoveStaleTemporaries() const { return profile_file::RemoveStaleTemporaries(m_path); }

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    mutable FileProblem m_problem;
};

}  // namespace sphyra

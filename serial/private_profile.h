#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "serial/profile_file.h"
#include "serial/profile_text.h"

namespace sphyra {

// Reads and writes one settings file in the Windows private-profile format, behaving as the
// Windows profile functions do (see ProfileText for the format). Unlike a generic settings
// store it edits the file in place: a write changes only the values written and leaves every
// other byte of the operator's file as it was.
//
// Each call reads the file afresh, so edits made outside show at once; a caller that needs
// several values at once takes them from one Load(). A file that is not a regular file, cannot
// be read or is larger than profile_file::kMaxBytes reads as empty (defaults) and is never
// written; LastProblem() then says why.
class PrivateProfile {
public:
    using Entries = std::vector<std::pair<std::string, std::string>>;

    explicit PrivateProfile(std::filesystem::path path) : m_path(std::move(path)) {}

    // One reading of the whole file; empty when it is missing or refused.
    ProfileText Load() const;

    // The value's text with surrounding white space (and one pair of matching
    // quotes) removed, or `defaultValue` when the file, section or key is missing.
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const;

    // The value read with ParseLeadingInt ("12abc" is 12, "abc" is 0), or
    // `defaultValue` when the file, section or key is missing.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;

    // Replaces the key's value in place, or appends the key at the end of its section, or
    // appends the section at the end of the file, through profile_file::Replace (symbolic links
    // are written through; the folder is created when missing). Returns false (changing nothing)
    // when the write failed or a name or value cannot be stored (line breaks, ']' in a section
    // name, '=' in a key).
    bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value);

    // Several keys of one section in one read and one write, in the order given.
    bool WriteProfileStrings(std::string_view section, const Entries& entries);

    // Why the last call did not read or did not write the file; empty when it did.
    const FileProblem& LastProblem() const { return m_problem; }

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    mutable FileProblem m_problem;
};

}  // namespace sphyra

#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace sphyra {

// Reads and writes one settings file in the Windows private-profile format
// ("[Section]" lines followed by "key=value" lines), behaving as the Windows
// profile functions do. Unlike a generic settings store it edits the file in
// place: a write changes only the one value (or adds one line, or one section)
// and leaves every other byte of the operator's file as it was, comments and
// line endings included.
//
// Section and key names match ASCII-case-insensitively; white space around names
// and values is ignored; lines whose first non-blank character is ';' are
// comments; the first matching section, and the first matching key in it, win.
// The file is read afresh on every call, so edits made outside show at once.
class PrivateProfile {
public:
    explicit PrivateProfile(std::filesystem::path path) : m_path(std::move(path)) {}

    // The value's text with surrounding white space (and one pair of matching
    // quotes) removed, or `defaultValue` when the file, section or key is missing.
    std::string GetProfileString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const;

    // The value read with ParseLeadingInt ("12abc" is 12, "abc" is 0), or
    // `defaultValue` when the file, section or key is missing.
    int GetProfileInt(std::string_view section, std::string_view key, int defaultValue) const;

    // Replaces the key's value in place, or appends the key at the end of its
    // section, or appends the section at the end of the file. The file is
    // replaced as a whole through a temporary file beside it, so a crash never
    // leaves half a file; its folder is created when missing. Returns false
    // (changing nothing) when the write failed or a name or value cannot be
    // stored (line breaks, ']' in a section name, '=' in a key).
    bool WriteProfileString(std::string_view section, std::string_view key, std::string_view value);

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace sphyra

#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sphyra {

// The text of a settings file in the Windows private-profile format ("[Section]" lines followed
// by "key=value" lines), read once and looked up or edited as often as needed. Edits change
// only the one value (or add one line, or one section) and leave every other byte as it was,
// comments and line endings included.
//
// Section and key names match ASCII-case-insensitively; white space around names and values is
// ignored; lines whose first non-blank character is ';' are comments; the first matching
// section, and the first matching key in it, win.
class ProfileText {
public:
    explicit ProfileText(std::string text = {}) : m_text(std::move(text)) {}

    // The value's text with surrounding white space (and one pair of matching quotes) removed;
    // nothing when the section or key is missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;

    // Replaces the key's value in place, or appends the key at the end of its section, or
    // appends the section at the end of the text. False (changing nothing) when a name or value
    // cannot be stored: line breaks, ']' in a section name, '=' in a key.
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

}  // namespace sphyra

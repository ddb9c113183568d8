#include "serial/profile_text.h"

namespace sphyra {
namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = s.find_last_not_of(kBlanks);
    return s.substr(first, last - first + 1);
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

// One line of the file as offsets into its text: [begin, contentEnd) is the
// line without its ending, [contentEnd, end) the "\n" or "\r\n" (empty on a last
// line without one).
struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;
    std::size_t end = 0;
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t begin = 0;
    // An editor's UTF-8 byte order mark must not hide a section on the first line.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) begin = 3;
    while (begin < text.size()) {
        const std::size_t newline = text.find('\n', begin);
        Line line;
        line.begin = begin;
        if (newline == std::string::npos) {
            line.contentEnd = line.end = text.size();
        } else {
            line.end = newline + 1;
            line.contentEnd =
                (newline > begin && text[newline - 1] == '\r') ? newline - 1 : newline;
        }
        lines.push_back(line);
        begin = line.end;
    }
    return lines;
}

std::string_view Content(const std::string& text, const Line& line) {
    return std::string_view(text).substr(line.begin, line.contentEnd - line.begin);
}

std::optional<std::string_view> SectionName(std::string_view content) {
    const std::string_view trimmed = Trim(content);
    if (trimmed.empty() || trimmed.front() != '[') return std::nullopt;
    const std::size_t close = trimmed.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(trimmed.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
    std::size_t valueBegin = 0;  // offset in the file where the value text starts
};

std::optional<KeyLine> ParseKeyLine(const std::string& text, const Line& line) {
    const std::string_view content = Content(text, line);
    const std::string_view trimmed = Trim(content);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return std::nullopt;
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    KeyLine result;
    result.key = Trim(content.substr(0, eq));
    if (result.key.empty()) return std::nullopt;
    result.value = Trim(content.substr(eq + 1));
    std::size_t valueBegin = eq + 1;
    while (valueBegin < content.size() &&
           (content[valueBegin] == ' ' || content[valueBegin] == '\t')) {
        ++valueBegin;
    }
    result.valueBegin = line.begin + valueBegin;
    return result;
}

struct Lookup {
    std::optional<std::size_t> section;  // index of the header line
    std::size_t sectionEnd = 0;          // index of the line after the section
    std::optional<std::size_t> key;      // index of the key line
    KeyLine keyLine;
};

Lookup Find(const std::string& text, const std::vector<Line>& lines, std::string_view section,
            std::string_view key) {
    Lookup found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(Content(text, lines[i]));
        if (!found.section) {
            if (name && EqualsNoCase(*name, section)) found.section = i;
            continue;
        }
        if (name) {
            found.sectionEnd = i;
            return found;
        }
        if (found.key) continue;
        if (auto kl = ParseKeyLine(text, lines[i]); kl && EqualsNoCase(kl->key, key)) {
            found.key = i;
            found.keyLine = *kl;
        }
    }
    found.sectionEnd = lines.size();
    return found;
}

std::string_view DetectLineEnding(const std::string& text) {
    const std::size_t newline = text.find('\n');
    if (newline == std::string::npos) {
#ifdef _WIN32
        return "\r\n";
#else
        return "\n";
#endif
    }
    return (newline > 0 && text[newline - 1] == '\r') ? "\r\n" : "\n";
}

bool Storable(std::string_view s) {
    return s.find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

std::optional<std::string> ProfileText::Get(std::string_view section, std::string_view key) const {
    const auto lines = SplitLines(m_text);
    const Lookup found = Find(m_text, lines, Trim(section), Trim(key));
    if (!found.key) return std::nullopt;
    std::string_view value = found.keyLine.value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

bool ProfileText::Set(std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty() || !Storable(section) || !Storable(key) ||
        !Storable(value) || section.find(']') != std::string_view::npos ||
        key.find('=') != std::string_view::npos || key.front() == ';' || key.front() == '[') {
        return false;
    }
    std::string& text = m_text;
    const auto lines = SplitLines(text);
    const std::string eol(DetectLineEnding(text));
    const Lookup found = Find(text, lines, section, key);
    const std::string entry = std::string(key) + "=" + std::string(value);

    if (found.key) {
        const Line& line = lines[*found.key];
        const std::size_t from = found.keyLine.valueBegin;
        text.replace(from, line.contentEnd - from, value);
    } else if (found.section) {
        // After the last non-blank line of the section, so blank lines that
        // separate it from the next section stay where they are.
        std::size_t last = *found.section;
        for (std::size_t i = last + 1; i < found.sectionEnd; ++i) {
            if (!Trim(Content(text, lines[i])).empty()) last = i;
        }
        const Line& line = lines[last];
        if (line.end == line.contentEnd) {
            text.insert(line.end, eol + entry);  // last line of a file without a final line break
        } else {
            text.insert(line.end, entry + eol);
        }
    } else {
        std::string tail;
        if (!lines.empty() && text.back() != '\n') tail += eol;
        if (!lines.empty() && !Trim(Content(text, lines.back())).empty()) tail += eol;
        tail += "[" + std::string(section) + "]" + eol + entry + eol;
        text += tail;
    }
    return true;
}

}  // namespace sphyra

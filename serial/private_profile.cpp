#include "serial/private_profile.h"

#include <cstddef>
#include <cstdio>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <system_error>
#include <vector>

#include "serial/leading_int.h"

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

namespace sphyra {
namespace {

namespace fs = std::filesystem;

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

enum class ReadResult { Read, Missing, Failed };

ReadResult ReadWholeFile(const fs::path& path, std::string& text) {
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return ReadResult::Missing;
    if (ec || fs::is_directory(status)) return ReadResult::Failed;
    std::ifstream in(path, std::ios::binary);
    if (!in) return ReadResult::Failed;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return ReadResult::Failed;
    text = std::move(buffer).str();
    return ReadResult::Read;
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

std::FILE* CreateExclusive(const fs::path& path) {
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wbx");
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

// Writes `contents` to a fresh file beside `path` and renames it over `path`,
// so readers (and a crash) only ever see the old file or the complete new one.
bool ReplaceFileAtomically(const fs::path& path, const std::string& contents) {
    std::error_code ec;
    const fs::path folder = path.parent_path();
    if (!folder.empty()) {
        fs::create_directories(folder, ec);
        if (ec) return false;
    }
    static std::random_device seed;
    static std::mt19937_64 random(seed());
    fs::path temp;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 8 && file == nullptr; ++attempt) {
        std::ostringstream name;
        name << ".~" << std::hex << random();
        temp = path;
        temp += name.str();
        file = CreateExclusive(temp);
    }
    if (file == nullptr) return false;
    bool ok = contents.empty() ||
              std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    ok = std::fflush(file) == 0 && ok;
#if defined(__unix__) || defined(__APPLE__)
    ok = ok && ::fsync(::fileno(file)) == 0;
#endif
    ok = std::fclose(file) == 0 && ok;
    if (ok) {
        // Keep the operator's permissions on the file we replace.
        const auto old = fs::status(path, ec);
        if (!ec && fs::exists(old)) fs::permissions(temp, old.permissions(), ec);
        fs::rename(temp, path, ec);
        ok = !ec;
    }
    if (!ok) fs::remove(temp, ec);
    return ok;
}

bool Storable(std::string_view s) {
    return s.find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

std::string PrivateProfile::GetProfileString(std::string_view section, std::string_view key,
                                             std::string_view defaultValue) const {
    std::string text;
    if (ReadWholeFile(m_path, text) != ReadResult::Read) return std::string(defaultValue);
    const auto lines = SplitLines(text);
    const Lookup found = Find(text, lines, Trim(section), Trim(key));
    if (!found.key) return std::string(defaultValue);
    std::string_view value = found.keyLine.value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

int PrivateProfile::GetProfileInt(std::string_view section, std::string_view key,
                                  int defaultValue) const {
    // A key that is present but empty reads as 0, as with the Windows function;
    // only a missing key gives the default. The sentinel cannot collide with a
    // value because values never hold line breaks.
    constexpr std::string_view kMissing = "\n";
    const std::string value = GetProfileString(section, key, kMissing);
    if (value == kMissing) return defaultValue;
    return ParseLeadingInt(value);
}

bool PrivateProfile::WriteProfileString(std::string_view section, std::string_view key,
                                        std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (section.empty() || key.empty() || !Storable(section) || !Storable(key) ||
        !Storable(value) || section.find(']') != std::string_view::npos ||
        key.find('=') != std::string_view::npos || key.front() == ';' || key.front() == '[') {
        return false;
    }
    std::string text;
    const ReadResult read = ReadWholeFile(m_path, text);
    if (read == ReadResult::Failed) return false;  // never overwrite what we could not read

    const std::string original = text;
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
    if (read == ReadResult::Read && text == original) return true;
    return ReplaceFileAtomically(m_path, text);
}

}  // namespace sphyra

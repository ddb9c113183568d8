#include "ui/window/export_at_stop.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "serial/private_profile.h"

namespace sphyra {

namespace {

constexpr char kSection[] = "Recording";

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

bool SameWord(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Single quotes for the shell when the path holds anything it would split or expand.
std::string Quoted(const std::filesystem::path& path) {
    const std::string text = path.string();
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::string_view("/._-+:,@%").find(c) != std::string_view::npos;
    });
    if (plain) return text;
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace

ExportAtStop ExportAtStop::Parse(std::string_view value) {
    value = Trim(value);
    if (value.empty()) return {};
    ExportAtStop choice{false, false};
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        const std::string_view word = Trim(value.substr(0, comma));
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        if (SameWord(word, "EDF")) {
            choice.edf = true;
        } else if (SameWord(word, "CSV")) {
            choice.csv = true;
        } else if (!SameWord(word, "None") && !word.empty()) {
            std::fprintf(stderr,
                         "sphyra: [Recording] %s: \"%.*s\" is neither EDF, CSV nor None; "
                         "left out\n",
                         kKey, static_cast<int>(word.size()), word.data());
        }
    }
    return choice;
}

ExportAtStop ExportAtStop::Read(const std::filesystem::path& settingsPath) {
    return Parse(PrivateProfile(settingsPath).GetProfileString(kSection, kKey, ""));
}

ExportRequest ExportAtStop::RequestFor(const std::filesystem::path& capture) const {
    ExportRequest request;
    request.capture = capture;
    const std::filesystem::path name = capture.parent_path() / capture.stem();
    if (edf) request.edf = std::filesystem::path(name.string() + ".edf");
    if (csv) request.csvDir = std::filesystem::path(name.string() + "-csv");
    return request;
}

std::string ExportCommand(const ExportRequest& request) {
    std::string command = "sphyra-export " + Quoted(request.capture);
    if (request.edf) command += " --edf " + Quoted(*request.edf);
    if (request.csvDir) command += " --csv " + Quoted(*request.csvDir);
    if (!request.beats) command += " --no-beats";
    return command;
}

}  // namespace sphyra

#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace sphyra {

// Why the settings file was not read or not saved: a few words for the window's prompt line and
// the whole story (path, cause, what was done instead) for a box or the terminal.
struct FileProblem {
    std::string brief;  // Chinese, a few characters: "文件只读"
    std::string full;   // Chinese and English lines, naming the path

    bool Any() const { return !full.empty(); }
};

// The settings file on disk. Reading never blocks and never swallows more than kMaxBytes;
// writing replaces only a regular file the user may write, through a temporary file beside the
// target, and never turns something else (a device, a pipe, a folder, another user's file) into
// a settings file.
namespace profile_file {

// Larger files are not settings files; they are left alone and defaults are used.
constexpr std::size_t kMaxBytes = 1024 * 1024;

struct ReadResult {
    enum class Status { Read, Missing, Refused };
    Status status = Status::Missing;
    std::string text;
    FileProblem problem;  // set when Refused
};

// Reads the whole file: only a regular file, opened without blocking (a FIFO or a terminal
// given by mistake must not hang start-up), at most kMaxBytes. A missing file (or folder) is
// Missing, not a problem.
ReadResult Read(const std::filesystem::path& path);

// How many times Read has run in this process: lets tests see that one need reads once.
std::uint64_t ReadCount();

// Follows symbolic links (relative ones from their own folder) to the path they finally name,
// which need not exist yet. Empty when the links loop.
std::filesystem::path ResolveLinks(const std::filesystem::path& path);

// Replaces the regular file at `target` (links already resolved) with `contents`, keeping its
// mode and owner, or creates it (and its folder). The new text goes to ".NAME.tmp-XXXXXX"
// beside the target, held locked while written, and is renamed over the target, so a crash
// leaves the old file whole; the temporary file is removed on every failure. Refuses a path
// that is not a regular file, a read-only file and, unless running as root, a file owned by
// someone else (renaming would make it ours). Returns the problem; none when saved.
FileProblem Replace(const std::filesystem::path& target, const std::string& contents);

// Removes temporary files a crashed write left beside `path`'s target: only names of our
// pattern, regular files owned by this user that no running write holds locked. Returns how
// many went.
int RemoveStaleTemporaries(const std::filesystem::path& path);

// The problem texts, for callers that refuse on their own.
FileProblem Problem(const std::filesystem::path& path, const std::string& brief,
                    const std::string& chinese, const std::string& english);

}  // namespace profile_file
}  // namespace sphyra

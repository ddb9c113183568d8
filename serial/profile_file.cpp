#include "serial/profile_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace sphyra::profile_file {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTempMarker = ".tmp-";
constexpr std::size_t kTempRandomChars = 6;
constexpr char kTempAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::atomic<std::uint64_t> g_reads{0};

std::string ErrnoText(int error) {
    return std::strerror(error);
}

// Closes the descriptor when the scope ends.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

FileProblem NotRegular(const fs::path& path, mode_t mode) {
    std::string zh = "设备";
    std::string en = "a device";
    if (S_ISDIR(mode)) {
        zh = "文件夹";
        en = "a folder";
    } else if (S_ISFIFO(mode)) {
        zh = "管道";
        en = "a pipe";
    } else if (S_ISSOCK(mode)) {
        zh = "套接字";
        en = "a socket";
    }
    return Problem(path, "不是普通文件", "不是普通文件而是" + zh + "，既不读取也不改写",
                   "is " + en + ", not a regular file; it is neither read nor replaced");
}

FileProblem TooLarge(const fs::path& path, long long size) {
    return Problem(path, "文件过大", "大于 1 MB，不是设置文件；使用默认设置，文件保持不变",
                   "is larger than 1 MB (" + std::to_string(size) +
                       " bytes or more), too large for a settings file; defaults are used and "
                       "the file is left as it is");
}

FileProblem OpenFailed(const fs::path& path, int error, const std::string& doing) {
    std::string brief = "无法访问";
    if (error == EACCES || error == EPERM) brief = "权限不足";
    if (error == ENAMETOOLONG) brief = "路径过长";
    if (error == EROFS) brief = "只读文件系统";
    if (error == ENOSPC || error == EDQUOT) brief = "磁盘已满";
    return Problem(path, brief, brief + "，无法" + (doing == "read" ? "读取" : "保存"),
                   "cannot be " + (doing == "read" ? std::string("read") : std::string("saved")) +
                       ": " + ErrnoText(error));
}

std::string UserName(uid_t uid) {
    if (const passwd* user = ::getpwuid(uid)) return user->pw_name;
    return "uid " + std::to_string(uid);
}

std::string RandomSuffix() {
    static std::mt19937_64 random{std::random_device{}()};
    std::string suffix;
    for (std::size_t i = 0; i < kTempRandomChars; ++i)
        suffix += kTempAlphabet[random() % (sizeof kTempAlphabet - 1)];
    return suffix;
}

fs::path TempPrefix(const fs::path& target) {
    return target.parent_path() / ("." + target.filename().string() + std::string(kTempMarker));
}

bool WriteAll(int fd, const std::string& contents) {
    std::size_t done = 0;
    while (done < contents.size()) {
        const ssize_t wrote = ::write(fd, contents.data() + done, contents.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

}  // namespace

FileProblem Problem(const fs::path& path, const std::string& brief, const std::string& chinese,
                    const std::string& english) {
    FileProblem problem;
    problem.brief = brief;
    problem.full = "设置文件 " + path.string() + " " + chinese + "。\nSettings file " +
                   path.string() + " " + english + ".";
    return problem;
}

ReadResult Read(const fs::path& path) {
    g_reads.fetch_add(1, std::memory_order_relaxed);
    ReadResult result;
    // Opening a serial device, even without blocking, can toggle its modem lines: look first.
    struct stat before {};
    if (::stat(path.c_str(), &before) == 0 && !S_ISREG(before.st_mode)) {
        result.status = ReadResult::Status::Refused;
        result.problem = NotRegular(path, before.st_mode);
        return result;
    }
    Fd file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (file.fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return result;  // Missing
        result.status = ReadResult::Status::Refused;
        result.problem = OpenFailed(path, error, "read");
        return result;
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        result.status = ReadResult::Status::Refused;
        result.problem = NotRegular(path, info.st_mode);
        return result;
    }
    if (static_cast<unsigned long long>(info.st_size) > kMaxBytes) {
        result.status = ReadResult::Status::Refused;
        result.problem = TooLarge(path, static_cast<long long>(info.st_size));
        return result;
    }
    // The size can change under us; never take more than the cap.
    std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            if (text.size() > kMaxBytes) {
                result.status = ReadResult::Status::Refused;
                result.problem = TooLarge(path, static_cast<long long>(got));
                return result;
            }
            text.resize(std::min(kMaxBytes + 1, text.size() * 2 + 4096));
        }
        const ssize_t n = ::read(file.fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.status = ReadResult::Status::Refused;
            result.problem = OpenFailed(path, errno, "read");
            return result;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    text.resize(got);
    result.status = ReadResult::Status::Read;
    result.text = std::move(text);
    return result;
}

std::uint64_t ReadCount() {
    return g_reads.load(std::memory_order_relaxed);
}

fs::path ResolveLinks(const fs::path& path) {
    fs::path current = path;
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(current, ec))) return current;
        const fs::path next = fs::read_symlink(current, ec);
        if (ec) return current;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return {};
}

FileProblem Replace(const fs::path& target, const std::string& contents) {
    struct stat info {};
    const bool exists = ::lstat(target.c_str(), &info) == 0;
    if (!exists && errno != ENOENT) return OpenFailed(target, errno, "write");
    if (exists) {
        if (!S_ISREG(info.st_mode)) return NotRegular(target, info.st_mode);
        // Root may write anything; a file nobody may write is still meant to stay as it is.
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
            ::access(target.c_str(), W_OK) != 0) {
            return Problem(target, "文件只读", "是只读文件，端口设置未保存",
                           "is read-only; the port settings were not saved");
        }
        if (::geteuid() != 0 && info.st_uid != ::geteuid()) {
            const std::string owner = UserName(info.st_uid);
            return Problem(target, "文件属于 " + owner,
                           "属于用户 " + owner + "，保存会使它归当前用户所有，因此未保存",
                           "belongs to " + owner +
                               "; replacing it would make it this user's, so it was not saved");
        }
    } else if (!target.parent_path().empty()) {
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        if (ec) return OpenFailed(target, ec.value(), "write");
    }

    const fs::path prefix = TempPrefix(target);
    fs::path temp;
    Fd file;
    for (int attempt = 0; attempt < 16 && file.fd < 0; ++attempt) {
        temp = prefix;
        temp += RandomSuffix();
        // A new file gets the usual 0666 less the umask; a replacement gets the old mode below.
        file.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                         exists ? 0600 : 0666);
        if (file.fd < 0 && errno != EEXIST) break;
    }
    if (file.fd < 0) {
        const int error = errno;
        FileProblem problem = OpenFailed(target, error, "write");
        if (error == EACCES || error == EPERM) {
            problem = Problem(target, "文件夹不可写", "所在的文件夹不可写，端口设置未保存",
                              "is in a folder this user cannot write to; the port settings "
                              "were not saved");
        }
        return problem;
    }
    // Held until the rename, so a start-up cleaning stale temporary files leaves this one be.
    ::flock(file.fd, LOCK_EX);
    bool ok = true;
    if (exists) {
        ok = ::fchmod(file.fd, info.st_mode & 07777) == 0;
        if (ok && ::geteuid() == 0) ok = ::fchown(file.fd, info.st_uid, info.st_gid) == 0;
        // Keeping the group is best effort for a user: it may not be one of theirs.
        if (ok && ::geteuid() != 0 && info.st_gid != ::getegid())
            (void)::fchown(file.fd, static_cast<uid_t>(-1), info.st_gid);
    }
    ok = ok && WriteAll(file.fd, contents) && ::fsync(file.fd) == 0;
    int error = errno;
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return OpenFailed(target, error, "write");
    }
    return {};
}

int RemoveStaleTemporaries(const fs::path& path) {
    const fs::path target = ResolveLinks(path);
    if (target.empty()) return 0;
    const std::string prefix = TempPrefix(target).filename().string();
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    std::error_code ec;
    int removed = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kTempRandomChars || name.rfind(prefix, 0) != 0) continue;
        if (name.find_first_not_of(kTempAlphabet, prefix.size()) != std::string::npos) continue;
        Fd file;
        file.fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat info {};
        if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid()) {
            continue;
        }
        if (::flock(file.fd, LOCK_EX | LOCK_NB) != 0) continue;  // a write in progress
        if (::unlink(it->path().c_str()) == 0) ++removed;
    }
    return removed;
}

}  // namespace sphyra::profile_file

#include "serial/profile_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "serial/port_settings_file.h"
#include "serial/private_profile.h"
#include "tests/serial/temp_dir.h"

namespace sphyra {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr uid_t kNobody = 65534;

struct stat Lstat(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

// Runs `check` as an unprivileged user when this is root (where permissions hide nothing),
// in a child process; the child's failures come back as its exit status.
int AsUnprivileged(const std::function<int()>& check) {
    if (::geteuid() != 0) return check();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(100);
        ::_exit(check());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 200;
}

TEST(ProfileFileTest, RefusesWhatIsNotARegularFileWithoutBlockingAndLeavesItAlone) {
    TempDir dir;
    const fs::path fifo = dir / "fifo.ini";  // no writer: a blocking open would hang here
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const fs::path folder = dir / "folder.ini";
    fs::create_directory(folder);
    std::vector<fs::path> paths = {fifo, folder};
    if (::geteuid() == 0) {
        // An endless device (like /dev/zero) of our own, so a fault harms nothing else.
        const fs::path device = dir / "zero.ini";
        ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 5)), 0);
        paths.push_back(device);
    }
    for (const fs::path& path : paths) {
        const mode_t before = Lstat(path).st_mode;
        PortSettingsFile file(path);
        EXPECT_EQ(file.ReadPortSettings().port, 1) << path;
        EXPECT_EQ(file.LastProblem().brief, "不是普通文件") << path;
        EXPECT_FALSE(file.WritePortSettings(3, 9600)) << path;
        EXPECT_NE(file.LastProblem().full.find(path.string()), std::string::npos);
        EXPECT_EQ(Lstat(path).st_mode, before) << path;
    }
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST(ProfileFileTest, WritesThroughLinksKeepingModeAndOwnerAndRespectsReadOnlyFiles) {
    TempDir dir;
    fs::create_directory(dir / "real");
    WriteFile(dir / "real/a.ini", "; mine\r\n[Main]\r\nCommPort=2\r\n");
    ASSERT_EQ(::chmod((dir / "real/a.ini").c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown((dir / "real/a.ini").c_str(), kNobody, kNobody), 0);
    }
    fs::create_symlink("real/a.ini", dir / "link.ini");  // relative, as users make them

    PrivateProfile profile(dir / "link.ini");
    ASSERT_TRUE(profile.WriteProfileString("Main", "CommPort", "5"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
    EXPECT_EQ(ReadFile(dir / "real/a.ini"), "; mine\r\n[Main]\r\nCommPort=5\r\n");
    EXPECT_EQ(Lstat(dir / "real/a.ini").st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(Lstat(dir / "real/a.ini").st_uid, kNobody);
    }

    // Read-only: not written, even by root, and the operator is told.
    ASSERT_EQ(::chmod((dir / "real/a.ini").c_str(), 0444), 0);
    EXPECT_FALSE(profile.WriteProfileString("Main", "CommPort", "6"));
    EXPECT_EQ(profile.LastProblem().brief, "文件只读");
    EXPECT_EQ(ReadFile(dir / "real/a.ini"), "; mine\r\n[Main]\r\nCommPort=5\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "real"), fs::directory_iterator()), 1);
}

TEST(ProfileFileTest, OversizedFileGivesDefaultsAndIsNeverWritten) {
    TempDir dir;
    const std::string big = "[Main]\nCommPort=7\n;" + std::string(profile_file::kMaxBytes, 'x');
    WriteFile(dir / "big.ini", big);
    PortSettingsFile file(dir / "big.ini");
    EXPECT_EQ(file.ReadPortSettings().port, 1);
    EXPECT_EQ(file.LastProblem().brief, "文件过大");
    EXPECT_FALSE(file.WritePortSettings(3, 9600));
    EXPECT_EQ(ReadFile(dir / "big.ini"), big);
}

TEST(ProfileFileTest, NonUtf8NameIsUsedByteForByte) {
    TempDir dir;
    const fs::path folder = dir.Path() / fs::path("\xD6\xD0\xCE\xC4");  // "中文" in GBK
    PortSettingsFile file(folder / "\xC9\xE8\xD6\xC3.ini");             // "设置"
    ASSERT_TRUE(file.WritePortSettings(4, 57600));
    EXPECT_EQ(ReadFile(folder / "\xC9\xE8\xD6\xC3.ini"), "[Main]\nCommPort=4\nCommBaud=57600\n");
    EXPECT_EQ(file.ReadPortSettings().port, 4);
    EXPECT_EQ(fs::directory_iterator(dir.Path())->path().filename().native(), "\xD6\xD0\xCE\xC4");
}

TEST(ProfileFileTest, StaleTemporaryFilesAreRemovedButOnlyOursAndOnlyAbandonedOnes) {
    TempDir dir;
    WriteFile(dir / "sphyra.ini", "[Main]\n");
    for (const char* name : {".sphyra.ini.tmp-a1B2c3", ".sphyra.ini.tmp-busy01",
                             ".sphyra.ini.tmp-toolong", ".other.ini.tmp-a1B2c3", "notes.txt"}) {
        WriteFile(dir / name, "x");
    }
    // A write in progress holds its file locked.
    const int busy = ::open((dir / ".sphyra.ini.tmp-busy01").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(busy, LOCK_EX), 0);

    EXPECT_EQ(PortSettingsFile(dir / "sphyra.ini").RemoveStaleTemporaries(), 1);
    ::close(busy);
    EXPECT_FALSE(fs::exists(dir / ".sphyra.ini.tmp-a1B2c3"));
    for (const char* kept : {".sphyra.ini.tmp-busy01", ".sphyra.ini.tmp-toolong",
                             ".other.ini.tmp-a1B2c3", "notes.txt", "sphyra.ini"}) {
        EXPECT_TRUE(fs::exists(dir / kept)) << kept;
    }
}

// Faults that root's rights would hide: run as "nobody" when this is root.
TEST(ProfileFileTest, PermissionProblemsAreToldAndNothingIsReplaced) {
    TempDir dir;
    const bool root = ::geteuid() == 0;
    fs::permissions(dir.Path(), fs::perms::all);
    const fs::path folder = dir / "ro";
    fs::create_directory(folder);
    WriteFile(folder / "a.ini", "[Main]\nCommPort=3\n");
    WriteFile(dir / "locked.ini", "[Main]\nCommPort=3\n");
    ASSERT_EQ(::chmod((dir / "locked.ini").c_str(), 0), 0);
    WriteFile(dir / "roots.ini", "[Main]\nCommPort=3\n");
    ASSERT_EQ(::chmod((dir / "roots.ini").c_str(), 0666), 0);
    if (root) {
        ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown((folder / "a.ini").c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown((dir / "locked.ini").c_str(), kNobody, kNobody), 0);
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

    const int failures = AsUnprivileged([&] {
        int failed = 0;
        PortSettingsFile inFolder(folder / "a.ini");
        if (inFolder.WritePortSettings(4, 9600) || inFolder.LastProblem().brief != "文件夹不可写")
            failed |= 1;
        PortSettingsFile locked(dir / "locked.ini");
        if (locked.ReadPortSettings().port != 1 || locked.LastProblem().brief != "权限不足")
            failed |= 2;
        if (locked.WritePortSettings(4, 9600)) failed |= 4;
        // Root's file, writable by all: replacing it would hand it to this user.
        PortSettingsFile roots(dir / "roots.ini");
        if (root && (roots.WritePortSettings(4, 9600) ||
                     roots.LastProblem().brief.find("root") == std::string::npos)) {
            failed |= 8;
        }
        return failed;
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(ReadFile(folder / "a.ini"), "[Main]\nCommPort=3\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_EQ(Lstat(dir / "roots.ini").st_uid, ::geteuid());
    ASSERT_EQ(::chmod((dir / "locked.ini").c_str(), 0600), 0);
    EXPECT_EQ(ReadFile(dir / "locked.ini"), "[Main]\nCommPort=3\n");
    ::chmod(folder.c_str(), 0755);
}

}  // namespace
}  // namespace sphyra

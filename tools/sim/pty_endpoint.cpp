#include "tools/sim/pty_endpoint.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace sphyra {
namespace {

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool SetNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

std::unique_ptr<PtyEndpoint> PtyEndpoint::Create(std::string& error, std::size_t maxPending) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0) {
        error = SystemError("posix_openpt");
        return nullptr;
    }
    auto fail = [&](const char* what, int slave) {
        error = SystemError(what);
        if (slave >= 0) ::close(slave);
        ::close(master);
        return nullptr;
    };
    if (::fcntl(master, F_SETFD, FD_CLOEXEC) != 0) return fail("fcntl", -1);
    if (::grantpt(master) != 0) return fail("grantpt", -1);
    if (::unlockpt(master) != 0) return fail("unlockpt", -1);
#ifdef __linux__
    std::array<char, 256> name{};
    if (::ptsname_r(master, name.data(), name.size()) != 0) return fail("ptsname_r", -1);
    std::string slavePath = name.data();
#else
    const char* name = ::ptsname(master);
    if (name == nullptr) return fail("ptsname", -1);
    std::string slavePath = name;
#endif
    const int slave = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) return fail("open slave", -1);

    // Raw on the slave side: no echo back into our stream, no line editing, no
    // translation of CR/LF or of the bytes that would otherwise mean ^C or ^S.
    termios tio{};
    if (::tcgetattr(slave, &tio) != 0) return fail("tcgetattr", slave);
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (::tcsetattr(slave, TCSANOW, &tio) != 0) return fail("tcsetattr", slave);
    if (!SetNonBlocking(master)) return fail("fcntl", slave);
    return std::unique_ptr<PtyEndpoint>(
        new PtyEndpoint(master, slave, std::move(slavePath), maxPending));
}

PtyEndpoint::PtyEndpoint(int master, int slave, std::string slavePath, std::size_t maxPending)
    : m_master(master),
      m_slave(slave),
      m_slavePath(std::move(slavePath)),
      m_writer(master, maxPending) {}

PtyEndpoint::~PtyEndpoint() {
    RemoveLink();
    ::close(m_slave);
    ::close(m_master);
}

bool PtyEndpoint::Write(std::span<const std::uint8_t> bytes) {
    DiscardIncoming();
    return m_writer.Write(bytes);
}

bool PtyEndpoint::Flush() {
    DiscardIncoming();
    return m_writer.Flush();
}

void PtyEndpoint::DiscardIncoming() {
    std::array<std::uint8_t, 1024> sink{};
    for (;;) {
        const ssize_t n = ::read(m_master, sink.data(), sink.size());
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

std::size_t PtyEndpoint::UnreadBytes() const {
    int count = 0;
    if (::ioctl(m_slave, FIONREAD, &count) != 0 || count < 0) return 0;
    return static_cast<std::size_t>(count);
}

void PtyEndpoint::DiscardUnread() {
    ::tcflush(m_slave, TCIFLUSH);
}

bool PtyEndpoint::CreateLink(const std::string& linkPath, std::string& error) {
    if (linkPath.empty()) {
        error = "empty link path";
        return false;
    }
    RemoveLink();
    struct stat st {};
    if (::lstat(linkPath.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = linkPath + " exists and is not a symbolic link; not replacing it";
            return false;
        }
        if (::unlink(linkPath.c_str()) != 0) {
            error = SystemError(("remove old link " + linkPath).c_str());
            return false;
        }
    }
    if (::symlink(m_slavePath.c_str(), linkPath.c_str()) != 0) {
        error = SystemError(("symlink " + linkPath).c_str());
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void PtyEndpoint::RemoveLink() {
    if (m_linkPath.empty()) return;
    // Only our own link goes: another run may have taken the name over since.
    std::array<char, 4096> target{};
    const ssize_t n = ::readlink(m_linkPath.c_str(), target.data(), target.size() - 1);
    if (n >= 0 && std::string(target.data(), static_cast<std::size_t>(n)) == m_slavePath) {
        ::unlink(m_linkPath.c_str());
    }
    m_linkPath.clear();
}

}  // namespace sphyra

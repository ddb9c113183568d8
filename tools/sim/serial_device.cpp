#include "tools/sim/serial_device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace sphyra {
namespace {

struct BaudEntry {
    int baud;
    speed_t speed;
};

constexpr BaudEntry kBauds[] = {
    {50, B50},           {75, B75},         {110, B110},       {134, B134},     {150, B150},
    {200, B200},         {300, B300},       {600, B600},       {1200, B1200},   {1800, B1800},
    {2400, B2400},       {4800, B4800},     {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600},     {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace

std::optional<speed_t> StandardBaud(int baud) {
    for (const BaudEntry& entry : kBauds) {
        if (entry.baud == baud) return entry.speed;
    }
    return std::nullopt;
}

std::unique_ptr<SerialDevice> SerialDevice::Open(const std::string& path, int baud,
                                                 std::string& error, std::size_t maxPending) {
    constexpr int kFlags = O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), O_RDWR | kFlags);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_WRONLY | kFlags);
    if (fd < 0) {
        error = SystemError("open " + path);
        return nullptr;
    }
    const bool isTerminal = ::isatty(fd) == 1;
    std::string warning;
    if (isTerminal) {
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0) {
            error = SystemError("tcgetattr " + path);
            ::close(fd);
            return nullptr;
        }
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB);
        if (const std::optional<speed_t> speed = StandardBaud(baud)) {
            ::cfsetispeed(&tio, *speed);
            ::cfsetospeed(&tio, *speed);
        } else {
            warning = std::to_string(baud) + " baud is not a standard speed; speed left unchanged";
        }
        if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
            error = SystemError("tcsetattr " + path);
            ::close(fd);
            return nullptr;
        }
    }
    auto device = std::unique_ptr<SerialDevice>(new SerialDevice(fd, path, isTerminal, maxPending));
    device->m_warning = std::move(warning);
    return device;
}

SerialDevice::SerialDevice(int fd, std::string path, bool isTerminal, std::size_t maxPending)
    : m_fd(fd), m_path(std::move(path)), m_isTerminal(isTerminal), m_writer(fd, maxPending) {}

SerialDevice::~SerialDevice() {
    ::close(m_fd);
}

std::size_t SerialDevice::UnreadBytes() const {
    int count = 0;
    if (!m_isTerminal || ::ioctl(m_fd, TIOCOUTQ, &count) != 0 || count < 0) return 0;
    return static_cast<std::size_t>(count);
}

}  // namespace sphyra

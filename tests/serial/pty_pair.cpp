#include "tests/serial/pty_pair.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace sphyra::test {

PtyPair::PtyPair() {
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    m_slavePath = name;
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    m_writable.reset();
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
}

void PtyPair::Send(const std::vector<std::uint8_t>& bytes) {
    m_pending.insert(m_pending.end(), bytes.begin(), bytes.end());
    if (!m_writable) {
        m_writable = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Write);
        QObject::connect(m_writable.get(), &QSocketNotifier::activated, [this] { WriteSome(); });
    }
    WriteSome();
}

void PtyPair::WriteSome() {
    while (m_master >= 0 && m_sent < m_pending.size()) {
        const ssize_t n = ::write(m_master, m_pending.data() + m_sent, m_pending.size() - m_sent);
        if (n <= 0) break;  // the terminal is full; the notifier calls again
        m_sent += static_cast<std::size_t>(n);
    }
    if (m_writable) m_writable->setEnabled(m_sent < m_pending.size());
}

void PtyPair::CloseMaster() {
    m_writable.reset();
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
}

}  // namespace sphyra::test

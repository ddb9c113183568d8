#pragma once

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sphyra::test {

// A pseudo-terminal standing in for a serial adapter: the window opens the slave side by its
// path, the test writes sensor bytes into the master side.
class PtyPair {
public:
    PtyPair() {
        if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) return;
        termios mode{};
        ::tcgetattr(m_slave, &mode);
        ::cfmakeraw(&mode);
        ::tcsetattr(m_slave, TCSANOW, &mode);
        m_slavePath = ::ttyname(m_slave);
    }
    ~PtyPair() {
        CloseMaster();
        if (m_slave >= 0) ::close(m_slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ok() const { return m_master >= 0 && !m_slavePath.empty(); }
    const std::string& SlavePath() const { return m_slavePath; }

    bool Write(const std::vector<std::uint8_t>& bytes) const {
        return ::write(m_master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Like pulling the adapter out: the slave side hangs up.
    void CloseMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

}  // namespace sphyra::test

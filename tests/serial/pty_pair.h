#pragma once

#include <QSocketNotifier>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sphyra::test {

// A pseudo-terminal pair standing in for a serial device: the program opens the
// slave path, the test plays the device at the master end. The slave is put in
// raw mode so bytes pass unchanged.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int SlaveFd() const { return m_slave; }

    // Queues bytes for the master end; they are written from the event loop as
    // the terminal takes them.
    void Send(const std::vector<std::uint8_t>& bytes);
    bool AllSent() const { return m_sent == m_pending.size(); }

    // The device goes away.
    void CloseMaster();

private:
    void WriteSome();

    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::vector<std::uint8_t> m_pending;
    std::size_t m_sent = 0;
    std::unique_ptr<QSocketNotifier> m_writable;
};

}  // namespace sphyra::test

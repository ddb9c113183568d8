#pragma once

#include <memory>
#include <string>

#include "tools/sim/output_endpoint.h"

namespace sphyra {

// A pseudo-terminal pair standing in for a serial port: the simulator writes to
// the master, a receiver opens the slave path like any serial device. The slave
// is set raw and one slave descriptor is held open for the endpoint's lifetime,
// so writes work before any receiver has opened it and survive a receiver closing
// and reopening it; what nobody has read yet waits in the terminal's buffers
// (and beyond their capacity in the FdWriter queue).
class PtyEndpoint final : public OutputEndpoint {
public:
    // Returns null and sets `error` when the system cannot provide a pair.
    static std::unique_ptr<PtyEndpoint> Create(
        std::string& error, std::size_t maxPending = FdWriter::kDefaultMaxPending);
    ~PtyEndpoint() override;
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    const std::string& Path() const override { return m_slavePath; }
    int Fd() const override { return m_master; }
    // Also reads and discards anything a receiver wrote to the port, so that a
    // chatty receiver can never block on a full terminal buffer.
    bool Write(std::span<const std::uint8_t> bytes) override;
    bool Flush() override;
    const FdWriter& Writer() const override { return m_writer; }
    // Bytes waiting in the slave's input for a receiver to read.
    std::size_t UnreadBytes() const override;
    // Throws away what no receiver has read yet, e.g. after the receiver closed
    // the port, so that the next one starts on fresh data.
    void DiscardUnread();

    // Makes `linkPath` a symbolic link to the slave. An existing symbolic link
    // there (say, left by an earlier run) is replaced; any other file is left
    // alone and reported. The link is removed with the endpoint.
    bool CreateLink(const std::string& linkPath, std::string& error);
    const std::string& LinkPath() const { return m_linkPath; }
    // Removes the link if it still points at this endpoint's slave.
    void RemoveLink();

private:
    PtyEndpoint(int master, int slave, std::string slavePath, std::size_t maxPending);
    void DiscardIncoming();

    int m_master;
    int m_slave;
    std::string m_slavePath;
    std::string m_linkPath;
    FdWriter m_writer;
};

}  // namespace sphyra

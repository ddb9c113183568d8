#include "serial/serial_connection.h"

#include <cstddef>
#include <cstdint>
#include <limits>

#include "serial/leading_int.h"

namespace sphyra {
namespace {

constexpr std::int16_t kInBufferSize = 2048;
constexpr std::int16_t kOutBufferSize = 512;
constexpr std::int32_t kBinaryMode = 1;
constexpr std::uint32_t kOpenSettleMs = 500;
constexpr int kLowestBaud = 1200;  // this rate and below are refused

}  // namespace

SerialConnection::SerialConnection(CommControl& comm, TickClock& clock,
                                   SensorAcquisition& acquisition, PortSettingsFile& settings)
    : m_comm(comm), m_clock(clock), m_acquisition(acquisition), m_settings(settings) {}

bool SerialConnection::OpenPort(int port, int baud, std::string* message) {
    if (port <= 0 || port > std::numeric_limits<std::int16_t>::max()) {
        if (message != nullptr) *message = kPortNumberError;
        return false;
    }
    const std::string settings = std::to_string(baud) + ",n,8,1";

    m_comm.SetCommPort(static_cast<std::int16_t>(port));
    m_comm.SetInBufferSize(kInBufferSize);
    m_comm.SetOutBufferSize(kOutBufferSize);
    m_comm.SetInputMode(kBinaryMode);
    m_comm.SetSettings(settings);
    m_comm.SetRThreshold(1);
    m_comm.SetSThreshold(1);
    m_comm.SetInputMode(kBinaryMode);
    m_comm.SetInputLen(0);
    m_comm.SetDTREnable(true);
    m_comm.SetRTSEnable(true);

    if (!m_comm.GetPortOpen()) m_comm.SetPortOpen(true);
    m_clock.SleepMs(kOpenSettleMs);
    const bool open = m_comm.GetPortOpen();
    if (open && m_tap != nullptr) m_tap->OnPortOpened(port, baud);
    return open;
}

void SerialConnection::ClosePort() {
    if (!m_comm.GetPortOpen()) return;
    m_comm.SetPortOpen(false);
    if (m_tap != nullptr) m_tap->OnPortClosed();
}

bool SerialConnection::IsOpen() const {
    return m_comm.GetPortOpen();
}

OpenCloseOutcome SerialConnection::OnOpenClose(std::optional<int> portIndex,
                                               const std::string& baudText) {
    OpenCloseOutcome outcome;
    if (IsOpen()) {
        ClosePort();
        outcome.kind = OpenCloseOutcome::Kind::Closed;
        return outcome;
    }
    if (!portIndex || *portIndex < 0) {
        outcome.kind = OpenCloseOutcome::Kind::Refused;
        outcome.message = kChoosePort;
        return outcome;
    }
    const int baud = ParseBaud(baudText);
    if (baud <= kLowestBaud) {
        outcome.kind = OpenCloseOutcome::Kind::Refused;
        outcome.message = kBadBaud;
        return outcome;
    }
    const int port = *portIndex + 1;
    std::string portMessage;
    if (!OpenPort(port, baud, &portMessage)) {
        outcome.kind = OpenCloseOutcome::Kind::Failed;
        outcome.message =
            portMessage.empty() ? std::string(kOpenFailed) : portMessage + "\n" + kOpenFailed;
        return outcome;
    }
    m_settings.WritePortSettings(port, baud);
    outcome.kind = OpenCloseOutcome::Kind::Opened;
    return outcome;
}

int SerialConnection::ParseBaud(const std::string& text) {
    return ParseLeadingInt(text);
}

CommNotice SerialConnection::OnCommEvent() {
    const std::int16_t event = m_comm.GetCommEvent();
    if (event == kCommEvDeviceLost) {
        if (m_tap != nullptr) m_tap->OnDeviceLost();
        return CommNotice::DeviceLost;
    }
    if (event != kCommEvReceive) return CommNotice::Ignored;

    ReceiveRing& ring = m_acquisition.Ring();
    if (m_comm.GetInBufferCount() > 0) {
        // Take no more than the ring can hold beside the incomplete frame it may
        // still keep, so no byte is ever overwritten unparsed; the control offers
        // the rest in its next notification.
        std::size_t room = ReceiveRing::kSize - 1 - ring.Available();
        if (room == 0) {
            ring.ParseReceiveRing(m_acquisition.Applier());
            room = ReceiveRing::kSize - 1 - ring.Available();
        }
        if (room > 0) {
            m_comm.SetInputLen(static_cast<std::int16_t>(room));
            const std::vector<std::uint8_t> bytes = m_comm.GetInput();
            m_comm.SetInputLen(0);
            if (m_tap != nullptr && !bytes.empty()) m_tap->OnReceived(bytes.data(), bytes.size());
            ring.AppendReceived(bytes.data(), bytes.size());
        }
    }
    ring.ParseReceiveRing(m_acquisition.Applier());
    return CommNotice::DataReceived;
}

}  // namespace sphyra

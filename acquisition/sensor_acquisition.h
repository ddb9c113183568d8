#pragma once

#include <cstddef>
#include <cstdint>

#include "frame_applier.h"
#include "receive_ring.h"
#include "sensor_table.h"

namespace sphyra {

// Everything between received bytes and the display: the receive ring, the
// sensor table and frame application, owned together for the window's lifetime.
class SensorAcquisition {
public:
    SensorAcquisition(const TickClock& clock, SensorDisplay& display)
        : m_applier(m_table, clock, display) {}

    // Appends one received batch, then applies every complete frame.
    void Receive(const std::uint8_t* bytes, std::size_t n) {
        m_ring.AppendReceived(bytes, n);
        m_ring.ParseReceiveRing(m_applier);
    }

    ReceiveRing& Ring() { return m_ring; }
    SensorTable& Table() { return m_table; }
    const SensorTable& Table() const { return m_table; }
    FrameApplier& Applier() { return m_applier; }
    const FrameApplier& Applier() const { return m_applier; }

private:
    ReceiveRing m_ring;
    SensorTable m_table;
    FrameApplier m_applier;
};

}  // namespace sphyra

#pragma once

#include "sensor_frame.h"

namespace sphyra {

// Receives every frame the stream parser accepts, synchronously and in stream order.
class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual void OnFrame(const SensorFrame& frame) = 0;
};

}  // namespace sphyra

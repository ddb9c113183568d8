#pragma once

#include <QString>

#include "acquisition/sensor_record.h"
#include "acquisition/tick.h"

namespace sphyra {

// Images of the list's strip, in strip order.
inline constexpr int kSensorImageHeard = 0;
inline constexpr int kSensorImageSilent = 1;
inline constexpr int kSensorImageSpare = 2;  // drawn, never shown
inline constexpr int kSensorImageCount = 3;

// A sensor silent for longer than this is shown greyed out with no battery level.
inline constexpr std::uint32_t kSensorStaleMs = 10000;

struct SensorRowText {
    QString text;
    int image = kSensorImageHeard;
};

// The two-line label of a sensor's row as it should read at `now`: the name over the battery
// level and the pulse rate ("--" while there is none to trust).
SensorRowText SensorRowLabel(const SensorRecord& record, Tick now);

}  // namespace sphyra

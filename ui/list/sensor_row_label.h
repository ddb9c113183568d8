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

// True when the sensor has been heard and nothing has come from it for more than
// kSensorStaleMs up to `now`.
bool SensorIsSilent(const SensorRecord& record, Tick now);

// The two-line label of a sensor's row as it should read at `now`: the name over the battery
// level and the pulse rate ("--" while there is none to trust).
SensorRowText SensorRowLabel(const SensorRecord& record, Tick now);

inline bool operator==(const SensorRowText& a, const SensorRowText& b) {
    return a.image == b.image && a.text == b.text;
}

}  // namespace sphyra

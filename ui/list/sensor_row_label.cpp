#include "ui/list/sensor_row_label.h"

namespace sphyra {

SensorRowText SensorRowLabel(const SensorRecord& record, Tick now) {
    const int address = record.address;
    if (record.lastTick != 0 && TickElapsedMoreThan(now, record.lastTick, kSensorStaleMs))
        return {QStringLiteral("传感器_%1\n[--]").arg(address), kSensorImageSilent};
    return {QStringLiteral("传感器_%1\n[%2%]").arg(address).arg(record.battery), kSensorImageHeard};
}

}  // namespace sphyra

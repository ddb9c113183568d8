#include "ui/list/sensor_row_label.h"

#include "acquisition/sensor_pulse.h"

namespace sphyra {

SensorRowText SensorRowLabel(const SensorRecord& record, Tick now) {
    const int address = record.address;
    if (record.lastTick != 0 && TickElapsedMoreThan(now, record.lastTick, kSensorStaleMs))
        return {QStringLiteral("传感器_%1\n[--]").arg(address), kSensorImageSilent};
    const std::optional<int> rate = ShownPulseRate(record);
    const QString pulse = rate ? QString::number(*rate) : QStringLiteral("--");
    return {QStringLiteral("传感器_%1\n[%2%] %3").arg(address).arg(record.battery).arg(pulse),
            kSensorImageHeard};
}

}  // namespace sphyra

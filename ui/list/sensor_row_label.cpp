#include "ui/list/sensor_row_label.h"

#include <QCoreApplication>
#include "acquisition/sensor_pulse.h"

namespace sphyra {

bool SensorIsSilent(const SensorRecord& record, Tick now) {
    return record.lastTick != 0 && TickElapsedMoreThan(now, record.lastTick, kSensorStaleMs);
}

SensorRowText SensorRowLabel(const SensorRecord& record, Tick now) {
    const int address = record.address;
    if (SensorIsSilent(record, now))
        return {
            QCoreApplication::translate("sphyra::SensorRowLabel", "传感器_%1\n[--]").arg(address),
            kSensorImageSilent};
    const std::optional<int> rate = ShownPulseRate(record);
    const QString pulse = rate ? QString::number(*rate) : QStringLiteral("--");
    return {QCoreApplication::translate("sphyra::SensorRowLabel", "传感器_%1\n[%2%] %3")
                .arg(address)
                .arg(record.battery)
                .arg(pulse),
            kSensorImageHeard};
}

}  // namespace sphyra

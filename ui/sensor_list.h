#pragma once

// Contract between the main window and the sensor list; the implementation is
// being written alongside the window.

#include <QObject>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/tick_clock.h"

class QGroupBox;
class QLineEdit;
class QListWidget;

namespace sphyra {

class CWaveView;

// The list of sensors heard (control 3002) and everything that follows from
// choosing one: the waveform view's contents, the group box caption and the
// four read-outs. Rows refer to their sensor by address only.
class SensorList : public QObject {
    Q_OBJECT
public:
    struct Readouts {
        QLineEdit* address = nullptr;   // 1009
        QLineEdit* interval = nullptr;  // 1011
        QLineEdit* gain = nullptr;      // 1004
        QLineEdit* battery = nullptr;   // 1006
        QGroupBox* waveGroup = nullptr; // 1039
    };

    SensorList(QListWidget* list, CWaveView* view, Readouts readouts,
               SensorAcquisition& acquisition, const TickClock& clock, QObject* parent = nullptr);

    // The three row operations frame application calls through the window.
    void AddSensorRow(const SensorRecord& record);
    void UpdateSensorRow(const SensorRecord& record);
    void SelectSensor(const SensorRecord& record);

    // Run by the window's timer when automatic purging is on.
    void PurgeOfflineSensors();
};

}  // namespace sphyra

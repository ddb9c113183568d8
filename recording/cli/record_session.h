#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/sensor_display.h"
#include "acquisition/tick_clock.h"
#include "recording/capture_clock.h"
#include "recording/capture_recorder.h"
#include "recording/cli/record_options.h"
#include "serial/cmscomm.h"
#include "serial/port_map.h"
#include "serial/port_settings_file.h"
#include "serial/serial_connection.h"

namespace sphyra {

// Frames are counted, not shown.
class UnseenDisplay final : public SensorDisplay {
public:
    void AddSample(std::uint16_t) override {}
    void AddSensorRow(const SensorRecord&) override {}
    void UpdateSensorRow(const SensorRecord&) override {}
    void SelectSensor(const SensorRecord&) override {}
};

// One run of sphyra-record: the same port layer and frame parsing as the window,
// with a recorder on the receive tap and no display. Ends on SIGINT/SIGTERM, at
// the end of --duration, on a recording error, or (with --no-wait) when the
// device goes away; every way out completes the file and closes the port.
class RecordSession : public QObject {
    Q_OBJECT
public:
    enum ExitCode { kOk = 0, kPortFailed = 1, kUsage = 2, kRecordingFailed = 3 };

    // `log` takes messages and, when `terminal`, the progress line.
    RecordSession(RecordOptions options, std::FILE* log, bool terminal);
    ~RecordSession() override;

    // Runs the event loop of the QCoreApplication that must exist; the exit code.
    int Run();

private:
    // `quiet`: a failure is expected (waiting for the device) and not worth a line.
    bool OpenPort(bool quiet);
    void OnComm();
    void OnSecond();
    void OnSignal();
    void TryReconnect();
    void Finish(int code);
    void Print(const std::string& line);
    void ShowProgress();
    std::string Summary();

    RecordOptions m_options;
    std::FILE* m_log;
    bool m_terminal;
    SteadyTickClock m_ticks;
    SystemCaptureClock m_clock;
    UnseenDisplay m_display;
    SensorAcquisition m_acquisition;
    PortSettingsFile m_settingsFile;
    PortMap m_portMap;
    int m_portNumber = 1;
    std::string m_devicePath;  // when the port was given as a path
    CMSComm m_comm;
    SerialConnection m_connection;
    CaptureRecorder m_recorder;
    QTimer m_second;
    QTimer m_reconnect;
    std::unique_ptr<QSocketNotifier> m_signals;
    std::chrono::steady_clock::time_point m_started;
    std::filesystem::path m_shownFile;
    int m_exitCode = kOk;
    bool m_progressShown = false;
};

}  // namespace sphyra

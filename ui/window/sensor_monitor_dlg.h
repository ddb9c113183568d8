#pragma once

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/sensor_display.h"
#include "acquisition/tick_clock.h"
#include "serial/cmscomm.h"
#include "serial/port_map.h"
#include "serial/port_settings_file.h"
#include "serial/serial_connection.h"
#include "ui/window/filter_library.h"
#include "ui/window/handler_dispatch.h"
#include "ui/window/monitor_layout.h"
#include "ui/window/recording_panel.h"

namespace sphyra {

class AboutMenu;
class CWaveView;
class PulseRateReadout;
class SensorList;

// The program's working window: port controls, the sensor list, the waveform view and the
// read-outs of the chosen sensor. It owns the acquisition state and everything that feeds it,
// and it is what frame application draws on.
class CSensorMonitorDlg : public QDialog, public SensorDisplay {
    Q_OBJECT
public:
    static constexpr int kTimerPeriodMs = 50;
    static constexpr std::uint32_t kPurgePeriodMs = 5000;
    static constexpr int kViewId = 100;
    static constexpr int kViewInset = 2;  // pixels between frame 1024 and the view
    // How long a minimised window lets received bytes wait, to read them in one go; its timer
    // ticks as seldom, in step, so both share one wake-up. A terminal holds about a second of
    // full load beyond that.
    static constexpr int kUnseenReadBatchMs = 2 * kTimerPeriodMs;
    // How long a shown window lets the other sensors' bytes wait, to read them in one go; the
    // shown sensor's frames are read the moment they come.
    static constexpr int kShownReadBatchMs = 8;

    // `settingsPath`: the port settings file. `clock`: the time source, the system's when null;
    // an injected clock must outlive the window.
    explicit CSensorMonitorDlg(std::filesystem::path settingsPath, TickClock* clock = nullptr,
                               QWidget* parent = nullptr);
    ~CSensorMonitorDlg() override;

    // What frame application shows.
    void AddSample(std::uint16_t value) override;
    void AddSamples(std::span<const std::uint8_t> samples) override;
    void AddSensorRow(const SensorRecord& record) override;
    void UpdateSensorRow(const SensorRecord& record) override;
    void SelectSensor(const SensorRecord& record) override;
    void MarkBeat(std::uint32_t samplesAgo) override;

    // The handlers, reachable for whoever drives the window without a mouse. Each runs through
    // the handler dispatch: an error raised inside is reported and ends that handler.
    void OnOpenClose();
    void OnCommEvent();
    void OnTimer();
    void OnSizeChanged();
    void OnExit();
    void ShowAbout();

    const MonitorControls& Controls() const { return m_controls; }
    CWaveView* WaveView() const { return m_view; }
    const SensorList& Sensors() const { return *m_sensorList; }
    PulseRateReadout* PulseReadout() const { return m_pulseReadout; }
    SensorAcquisition& Acquisition() { return m_acquisition; }
    SerialConnection& Connection() { return m_connection; }
    CMSComm& Comm() { return m_comm; }
    RecordingPanel& Recording() { return *m_recording; }
    bool AutoPurgeEnabled() const { return m_autoPurgeEnabled; }
    Tick LastPurgeTick() const { return m_lastPurgeTick; }
    bool FilterAvailable() const { return m_filter.Entry() != nullptr; }
    bool IsShutDown() const { return m_shutDown; }

public slots:
    // Enter and Esc must not end the window; only Exit and the close command do.
    void accept() override {}
    void reject() override {}

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void OpenClose();
    void CommEvent();
    void PurgeWhenDue();
    void AdvancePulses();
    void ShowSelectedPulse();
    void PaceReads();
    void ExpectShownFrame();
    void CatchUpRows();
    void SetUpWindow();
    void CreateWaveView();
    void PresetPortControls();
    void ConnectHandlers();
    void ShutDown();
    QRect WaveFrameRect() const;
    QStringList PortLabels() const;
    void TellSettingsProblem(const QString& what, const FileProblem& problem);

    std::unique_ptr<TickClock> m_ownClock;
    TickClock& m_clock;
    HandlerDispatch m_dispatch;
    MonitorControls m_controls;
    AboutMenu* m_aboutMenu = nullptr;
    CWaveView* m_view = nullptr;
    PulseRateReadout* m_pulseReadout = nullptr;
    SensorAcquisition m_acquisition;
    PortSettingsFile m_settingsFile;
    PortMap m_portMap;
    CMSComm m_comm;
    SerialConnection m_connection;
    std::unique_ptr<SensorList> m_sensorList;
    std::unique_ptr<RecordingPanel> m_recording;
    FilterLibrary m_filter;
    QTimer m_timer;
    bool m_autoPurgeEnabled = false;
    Tick m_lastPurgeTick = 0;
    bool m_shutDown = false;
    bool m_settingsProblemShown = false;  // the prompt holds a settings file problem
    bool m_rowsBehind = false;            // rows went without updates while minimised
};

}  // namespace sphyra

#pragma once

#include <QObject>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "acquisition/tick_clock.h"
#include "recording/capture_clock.h"
#include "recording/capture_recorder.h"
#include "serial/serial_connection.h"

class QLabel;
class QPushButton;
class QShortcut;
class QWidget;

namespace sphyra {

// The window's recording: the "录制" toggle, the "标记" button (and F9) for
// numbered markers, and a small text saying that recording is on, for how long
// and how much. It sits on the window's bottom row, clear of the existing
// controls, and listens on the connection's receive tap, so what the window shows
// is the same whether it records or not. A write error stops the recording with
// one message; the port and the display go on.
//
// The folder is asked for once and kept in the settings file, section
// "Recording", key "Folder"; the toggle's context menu changes it, and a folder
// that cannot be recorded into is forgotten so the next try asks again.
class RecordingPanel : public QObject, public ReceiveTap {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 500;
    static constexpr char kSection[] = "Recording";
    static constexpr char kFolderKey[] = "Folder";

    // Asks the operator for a folder, starting at `suggested`; none when cancelled.
    using FolderChooser = std::function<std::optional<std::filesystem::path>(
        QWidget* parent, const std::filesystem::path& suggested)>;

    RecordingPanel(QWidget* dialog, SerialConnection& connection, const TickClock& ticks,
                   std::filesystem::path settingsPath);
    ~RecordingPanel() override;

    void SetFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }

    // `sphyra --record DIR`: records into `folder` from the next opening of the port.
    void RecordFromOpen(const std::filesystem::path& folder);
    // Asks for the folder the next recordings go to (the toggle's context menu).
    void ChooseFolder();
    // What the toggle does.
    void SetRecording(bool on);
    // What the marker button and F9 do; the marker's number, 0 when not recording.
    std::uint32_t DropMarker();
    // The window is going: completes the file.
    void Stop();

    QPushButton* RecordButton() const { return m_record; }
    QPushButton* MarkerButton() const { return m_marker; }
    QLabel* Status() const { return m_status; }
    const CaptureRecorder& Recorder() const { return m_recorder; }

    // The tap: everything goes to the recorder; the port's comings and goings
    // also show at once in the controls.
    void OnReceived(const std::uint8_t* bytes, std::size_t n) override;
    void OnPortOpened(int port, int baud) override;
    void OnPortClosed() override;
    void OnDeviceLost() override;

private:
    void BuildControls();
    std::optional<std::filesystem::path> Folder();
    void Refresh();
    void Report(const std::string& message);

    QWidget* m_dialog;
    SerialConnection& m_connection;
    std::filesystem::path m_settingsPath;
    SystemCaptureClock m_clock;
    CaptureRecorder m_recorder;
    FolderChooser m_chooser;
    QPushButton* m_record = nullptr;
    QPushButton* m_marker = nullptr;
    QLabel* m_status = nullptr;
    QShortcut* m_markerKey = nullptr;
    QTimer m_refresh;
};

}  // namespace sphyra

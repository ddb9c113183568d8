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
#include "ui/window/export_at_stop.h"
#include "ui/window/export_queue.h"

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
//
// A file that ends (the toggle, a write error) is exported beside it in the
// background, as key "ExportAtStop" says (see ExportAtStop), and the same text
// follows the export; a recording in progress keeps the text. Quitting cancels
// an export under way and says on stderr how to redo it; the capture stays.
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
    // The export run at stop; ExportCapture unless a test stands in for it.
    void SetExporter(ExportQueue::Exporter exporter) { m_exports.SetExporter(std::move(exporter)); }

    // `sphyra --record DIR`: records into `folder` from the next opening of the port.
    void RecordFromOpen(const std::filesystem::path& folder);
    // Asks for the folder the next recordings go to (the toggle's context menu).
    void ChooseFolder();
    // What the toggle does.
    void SetRecording(bool on);
    // What the marker button and F9 do; the marker's number, 0 when not recording.
    std::uint32_t DropMarker();
    // The window is going: completes the file and cancels any export.
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
    void ShowStatus(bool recording, bool waiting, bool error);
    // Queues the export of a file the recorder has finished since the last look;
    // the file, if one ended.
    std::optional<ExportRequest> ExportEndedFile(bool enqueue = true);
    void OnExportStarted();
    void OnExportProgress(int percent);
    void OnExportFinished(const ExportRequest& request, const ExportResult& result);

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
    ExportQueue m_exports;
    std::filesystem::path m_fileOpen;  // the file being written at the last look
    QString m_exportText;              // empty when no export has been asked for
    QString m_exportTip;
    bool m_stoppedByError = false;  // says so until the next refresh
};

}  // namespace sphyra

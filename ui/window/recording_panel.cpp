#include "ui/window/recording_panel.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>
#include <cstdio>
#include <system_error>
#include <utility>

#include "recording/capture_folder.h"
#include "serial/private_profile.h"
#include "ui/window/dialog_units.h"
#include "ui/window/message_boxes.h"

namespace sphyra {

namespace {

// The bottom row between the logo and "退 出", in dialog units. The strip's own
// widget keeps the window's direct children as they were.
constexpr int kStripX = 252, kStripY = 331, kStripWidth = 234, kStripHeight = 22;
constexpr int kButtonWidth = 40, kButtonHeight = 18, kButtonGap = 6, kStatusHeight = 10;

std::optional<std::filesystem::path> AskForFolder(QWidget* parent,
                                                  const std::filesystem::path& suggested) {
    std::error_code ec;
    std::filesystem::create_directories(suggested, ec);  // so the dialog can open there
    const QString chosen = QFileDialog::getExistingDirectory(
        parent, QCoreApplication::translate("sphyra::RecordingPanel", "选择录制文件夹"),
        QString::fromStdString(suggested.string()));
    if (chosen.isEmpty()) return std::nullopt;
    return std::filesystem::path(chosen.toStdString());
}

QString ClockText(std::int64_t us) {
    const std::int64_t s = us / 1'000'000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString Native(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

}  // namespace

RecordingPanel::RecordingPanel(QWidget* dialog, SerialConnection& connection,
                               const TickClock& ticks, std::filesystem::path settingsPath)
    : QObject(nullptr),
      m_dialog(dialog),
      m_connection(connection),
      m_settingsPath(std::move(settingsPath)),
      m_recorder(m_clock, ticks),
      m_chooser(AskForFolder) {
    BuildControls();
    m_connection.SetReceiveTap(this);
    connect(&m_refresh, &QTimer::timeout, this, &RecordingPanel::Refresh);
    m_refresh.start(kRefreshMs);
    connect(&m_exports, &ExportQueue::Started, this, &RecordingPanel::OnExportStarted);
    connect(&m_exports, &ExportQueue::Progressed, this, &RecordingPanel::OnExportProgress);
    connect(&m_exports, &ExportQueue::Finished, this, &RecordingPanel::OnExportFinished);
}

RecordingPanel::~RecordingPanel() {
    m_connection.SetReceiveTap(nullptr);
}

void RecordingPanel::BuildControls() {
    const DialogUnits units(m_dialog->font());
    auto* strip = new QWidget(m_dialog);
    strip->setObjectName(QStringLiteral("recording"));
    const QRect area = units.Rect(kStripX, kStripY, kStripWidth, kStripHeight);
    strip->setGeometry(area);
    auto place = [&](QWidget* widget, int x, int y, int width, int height) {
        widget->setGeometry(
            units.Rect(kStripX + x, kStripY + y, width, height).translated(-area.topLeft()));
    };
    m_record =
        new QPushButton(QCoreApplication::translate("sphyra::RecordingPanel", "录制"), strip);
    m_record->setCheckable(true);
    place(m_record, 0, 2, kButtonWidth, kButtonHeight);
    m_marker =
        new QPushButton(QCoreApplication::translate("sphyra::RecordingPanel", "标记"), strip);
    m_marker->setEnabled(false);
    m_marker->setToolTip(
        QCoreApplication::translate("sphyra::RecordingPanel", "加一个编号标记 (F9)"));
    place(m_marker, kButtonWidth + kButtonGap, 2, kButtonWidth, kButtonHeight);
    m_status = new QLabel(strip);
    const int statusX = 2 * (kButtonWidth + kButtonGap);
    place(m_status, statusX, 6, kStripWidth - statusX, kStatusHeight);
    strip->show();

    auto* chooseFolder = new QAction(
        QCoreApplication::translate("sphyra::RecordingPanel", "选择录制文件夹…"), m_record);
    m_record->addAction(chooseFolder);
    m_record->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(chooseFolder, &QAction::triggered, this, &RecordingPanel::ChooseFolder);

    m_markerKey = new QShortcut(QKeySequence(Qt::Key_F9), m_dialog);
    connect(m_record, &QPushButton::toggled, this, &RecordingPanel::SetRecording);
    connect(m_marker, &QPushButton::clicked, this, [this] { DropMarker(); });
    connect(m_markerKey, &QShortcut::activated, this, [this] { DropMarker(); });
}

std::optional<std::filesystem::path> RecordingPanel::Folder() {
    PrivateProfile profile(m_settingsPath);
    const std::string remembered = profile.GetProfileString(kSection, kFolderKey, "");
    if (!remembered.empty()) return std::filesystem::path(remembered);
    const auto chosen = m_chooser(m_dialog, DefaultCaptureFolder());
    if (chosen) profile.WriteProfileString(kSection, kFolderKey, chosen->string());
    return chosen;
}

void RecordingPanel::ChooseFolder() {
    PrivateProfile profile(m_settingsPath);
    const std::string remembered = profile.GetProfileString(kSection, kFolderKey, "");
    const auto chosen = m_chooser(
        m_dialog, remembered.empty() ? DefaultCaptureFolder() : std::filesystem::path(remembered));
    if (chosen) profile.WriteProfileString(kSection, kFolderKey, chosen->string());
}

void RecordingPanel::RecordFromOpen(const std::filesystem::path& folder) {
    m_recorder.StartOnOpen(folder);
    Refresh();
}

void RecordingPanel::SetRecording(bool on) {
    if (!on) {
        m_recorder.Stop();
    } else if (!m_recorder.IsRecording() && !m_recorder.IsWaitingForOpen()) {
        if (const auto folder = Folder()) {
            std::string error;
            if (!m_connection.IsOpen()) {
                m_recorder.StartOnOpen(*folder);
            } else if (!m_recorder.Start(*folder, &error)) {
                PrivateProfile(m_settingsPath).WriteProfileString(kSection, kFolderKey, "");
                Report(error);
            }
        }
    }
    Refresh();
}

std::uint32_t RecordingPanel::DropMarker() {
    const std::uint32_t number = m_recorder.DropMarker();
    if (number != 0) Refresh();
    return number;
}

void RecordingPanel::Stop() {
    m_recorder.Stop();
    m_refresh.stop();
    // Quitting must not wait for an export: it is cancelled, and the capture it
    // came from stays for sphyra-export.
    const std::optional<ExportRequest> last = ExportEndedFile(false);
    for (const ExportRequest& request : m_exports.Shutdown()) {
        std::fprintf(stderr,
                     "sphyra: export of %s cancelled as the program ends; the capture is kept, "
                     "and this makes the export again: %s\n",
                     request.capture.string().c_str(), ExportCommand(request).c_str());
    }
    if (last) {
        std::fprintf(stderr,
                     "sphyra: %s was not exported as the program ends; this exports it: %s\n",
                     last->capture.string().c_str(), ExportCommand(*last).c_str());
    }
}

void RecordingPanel::Refresh() {
    m_recorder.Poll();
    const auto error = m_recorder.TakeError();
    ExportEndedFile();
    const bool recording = m_recorder.IsRecording();
    const bool waiting = m_recorder.IsWaitingForOpen();
    {
        const QSignalBlocker quiet(m_record);
        m_record->setChecked(recording || waiting);
    }
    m_marker->setEnabled(recording);
    // Red while a file is being written, like a recorder's lamp.
    QPalette palette = m_status->palette();
    palette.setColor(QPalette::WindowText, recording
                                               ? QColor(0xC0, 0, 0)
                                               : m_dialog->palette().color(QPalette::WindowText));
    m_status->setPalette(palette);
    m_stoppedByError = error.has_value();
    ShowStatus(recording, waiting, m_stoppedByError);
    if (error) Report(*error);
}

void RecordingPanel::ShowStatus(bool recording, bool waiting, bool error) {
    QString tip;
    if (recording) {
        QString text = QCoreApplication::translate("sphyra::RecordingPanel", "录制中 %1  %2 MB")
                           .arg(ClockText(m_recorder.ElapsedUs()))
                           .arg(static_cast<double>(m_recorder.Bytes()) / 1e6, 0, 'f', 1);
        if (m_recorder.Markers() > 0)
            text += QCoreApplication::translate("sphyra::RecordingPanel", "  标记 %1")
                        .arg(m_recorder.Markers());
        m_status->setText(text);
    } else if (waiting) {
        m_status->setText(
            QCoreApplication::translate("sphyra::RecordingPanel", "打开端口后开始录制"));
    } else if (error) {
        m_status->setText(QCoreApplication::translate("sphyra::RecordingPanel", "录制已停止"));
    } else if (!m_exportText.isEmpty()) {
        m_status->setText(m_exportText);
        tip = m_exportTip;
    } else if (m_recorder.FilesBegun() > 0) {
        m_status->setText(QCoreApplication::translate("sphyra::RecordingPanel", "已保存 ") +
                          QString::fromStdString(m_recorder.CurrentFile().filename().string()));
    }
    m_status->setToolTip(tip);
}

std::optional<ExportRequest> RecordingPanel::ExportEndedFile(bool enqueue) {
    std::filesystem::path open;
    if (m_recorder.IsRecording()) open = m_recorder.CurrentFile();
    if (open == m_fileOpen) return std::nullopt;
    const std::filesystem::path ended = std::exchange(m_fileOpen, open);
    if (ended.empty()) return std::nullopt;
    const ExportAtStop choice = ExportAtStop::Read(m_settingsPath);
    m_exportText.clear();
    m_exportTip.clear();
    if (!choice.Any()) return std::nullopt;
    ExportRequest request = choice.RequestFor(ended);
    if (enqueue) {
        m_exportText = QCoreApplication::translate("sphyra::RecordingPanel", "导出中 %1%").arg(0);
        m_exportTip = Native(ended);
        m_exports.Enqueue(request);
    }
    return request;
}

void RecordingPanel::OnExportStarted() {
    OnExportProgress(0);
}

void RecordingPanel::OnExportProgress(int percent) {
    m_exportText = QCoreApplication::translate("sphyra::RecordingPanel", "导出中 %1%").arg(percent);
    ShowStatus(m_recorder.IsRecording(), m_recorder.IsWaitingForOpen(), m_stoppedByError);
}

void RecordingPanel::OnExportFinished(const ExportRequest& request, const ExportResult& result) {
    if (result.ok) {
        const std::filesystem::path& shown = request.edf ? *request.edf : *request.csvDir;
        m_exportText = QCoreApplication::translate("sphyra::RecordingPanel", "已导出 ") +
                       QString::fromStdString(shown.filename().string());
        m_exportTip = QString::fromStdString(DescribeExport(request, result)).trimmed();
    } else {
        m_exportText = QCoreApplication::translate("sphyra::RecordingPanel", "导出失败：") +
                       QString::fromStdString(result.error);
        m_exportTip =
            Native(request.capture) + QLatin1Char('\n') + QString::fromStdString(result.error);
        std::fprintf(stderr, "sphyra: export of %s failed: %s\n", request.capture.string().c_str(),
                     result.error.c_str());
    }
    ShowStatus(m_recorder.IsRecording(), m_recorder.IsWaitingForOpen(), m_stoppedByError);
}

void RecordingPanel::Report(const std::string& message) {
    // From the event loop: the error may surface inside a port handler, which a
    // modal box must not hold up.
    QTimer::singleShot(0, this, [this, text = QString::fromStdString(message)] {
        MessageBoxes::ShowPlain(m_dialog, text);
    });
}

void RecordingPanel::OnReceived(const std::uint8_t* bytes, std::size_t n) {
    m_recorder.OnReceived(bytes, n);
}

void RecordingPanel::OnPortOpened(int port, int baud) {
    m_recorder.OnPortOpened(port, baud);
    Refresh();
}

void RecordingPanel::OnPortClosed() {
    m_recorder.OnPortClosed();
    Refresh();
}

void RecordingPanel::OnDeviceLost() {
    m_recorder.OnDeviceLost();
    Refresh();
}

}  // namespace sphyra

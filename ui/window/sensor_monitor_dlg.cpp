#include "ui/window/sensor_monitor_dlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "acquisition/sensor_pulse.h"
#include "ui/common/cjk_font.h"
#include "ui/common/group_box_paint_cache.h"
#include "ui/common/readout_edit_paint_cache.h"
#include "ui/list/sensor_list.h"
#include "ui/view/pulse_rate_readout.h"
#include "ui/view/wave_view.h"
#include "ui/window/about_dlg.h"
#include "ui/window/about_menu.h"
#include "ui/window/app_icon.h"
#include "ui/window/dialog_keys.h"
#include "ui/window/dialog_units.h"
#include "ui/window/message_boxes.h"
#include "ui/window/port_combo.h"

namespace sphyra {

namespace {

QString OpenCaption() {
    return CSensorMonitorDlg::tr("打开");
}
QString CloseCaption() {
    return CSensorMonitorDlg::tr("关闭");
}
QString Disconnected() {
    return CSensorMonitorDlg::tr("通信端口已断开!");
}

TickClock& ChooseClock(TickClock* injected, std::unique_ptr<TickClock>& own) {
    if (injected != nullptr) return *injected;
    own = std::make_unique<SteadyTickClock>();
    return *own;
}

}  // namespace

CSensorMonitorDlg::CSensorMonitorDlg(std::filesystem::path settingsPath, TickClock* clock,
                                     QWidget* parent)
    : QDialog(parent),
      m_clock(ChooseClock(clock, m_ownClock)),
      m_dispatch(this),
      m_acquisition(m_clock, *this),
      m_settingsFile(settingsPath),
      m_portMap(settingsPath),
      m_comm([this](int number) { return m_portMap.DeviceFor(number); }),
      m_connection(m_comm, m_clock, m_acquisition, m_settingsFile) {
    // The controls, and the serial control with its design-time properties (a member).
    SetUpWindow();

    m_aboutMenu = new AboutMenu(this);
    connect(m_aboutMenu, &AboutMenu::AboutRequested, this, &CSensorMonitorDlg::ShowAbout);

    setWindowIcon(AppIcon::Window());
    CreateWaveView();
    m_controls.prompt->setText(QString());
    PresetPortControls();

    // The sensor list empties the list and attaches its image strip.
    m_sensorList = std::make_unique<SensorList>(
        m_controls.list, m_view,
        SensorList::Readouts{m_controls.address, m_controls.interval, m_controls.gain,
                             m_controls.battery, m_controls.waveGroup},
        m_acquisition, m_clock);

    m_recording =
        std::make_unique<RecordingPanel>(this, m_connection, m_clock, m_settingsFile.Path());
    ConnectHandlers();
    m_timer.start(kTimerPeriodMs);

    m_acquisition.Applier().SetFilter(m_filter.Load());
    // The operator works in the sensor list, so that is where the window starts. No push
    // button is a default button, and a click leaves the focus where it was, so Enter and
    // Esc change nothing until he tabs to a button himself.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::TabFocus);
    }
    m_controls.list->setFocus(Qt::OtherFocusReason);
}

CSensorMonitorDlg::~CSensorMonitorDlg() {
    ShutDown();
}

void CSensorMonitorDlg::SetUpWindow() {
    // A normal top-level window rather than a dialog-type one, so that window managers give it
    // a task bar entry and a minimise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(MonitorLayout::Title());
    setFont(CjkFont::Font(CjkFont::kDialogPointSize));
    const DialogUnits units(font());
    setFixedSize(units.Size(MonitorLayout::kWidth, MonitorLayout::kHeight));
    m_controls = MonitorLayout::Build(this, units);
    // The read-outs change many times a second among a few values: neither they nor the box
    // beneath them need be painted again each time.
    const QList<QLineEdit*> readouts{m_controls.address, m_controls.interval, m_controls.gain,
                                     m_controls.battery};
    GroupBoxPaintCache::InstallUnder(this, QList<QWidget*>(readouts.begin(), readouts.end()));
    for (QLineEdit* readout : readouts) new ReadoutEditPaintCache(readout);
}

void CSensorMonitorDlg::CreateWaveView() {
    m_view = new CWaveView(this);
    m_view->setObjectName(QString::number(kViewId));
    // At creation the view covers the whole frame; later size changes put it inside it.
    m_view->setGeometry(WaveFrameRect());
    m_view->show();
    m_pulseReadout = new PulseRateReadout(m_view);
}

void CSensorMonitorDlg::PresetPortControls() {
    m_controls.port->SetLabelSource([this] { return PortLabels(); });
    const PortSettings settings = m_settingsFile.ReadPortSettings();
    const bool listed = settings.port >= PortMap::kFirstPort && settings.port <= PortMap::kLastPort;
    m_controls.port->setCurrentIndex(listed ? settings.port - 1 : -1);
    m_controls.baud->setEditText(QString::number(settings.baud));
    if (m_settingsFile.LastProblem().Any())
        TellSettingsProblem(QStringLiteral("设置未读取，使用默认值："),
                            m_settingsFile.LastProblem());
}

void CSensorMonitorDlg::TellSettingsProblem(const QString& what, const FileProblem& problem) {
    // The prompt line, not a box: the window stays usable, and the whole story is one hover away
    // and in the terminal.
    m_controls.prompt->setText(what + QString::fromStdString(problem.brief));
    m_controls.prompt->setToolTip(QString::fromStdString(problem.full));
    m_settingsProblemShown = true;
    std::fprintf(stderr, "sphyra: %s\n", problem.full.c_str());
}

QStringList CSensorMonitorDlg::PortLabels() const {
    QStringList labels;
    for (const PortChoice& choice : m_portMap.Choices())
        labels.append(QString::fromStdString(choice.label));
    return labels;
}

void CSensorMonitorDlg::ConnectHandlers() {
    connect(m_controls.openClose, &QPushButton::clicked, this, &CSensorMonitorDlg::OnOpenClose);
    connect(m_controls.exit, &QPushButton::clicked, this, &CSensorMonitorDlg::OnExit);
    connect(&m_comm, &CMSComm::OnComm, this, &CSensorMonitorDlg::OnCommEvent);
    connect(&m_timer, &QTimer::timeout, this, &CSensorMonitorDlg::OnTimer);
    // Buttons 1008, 1017 and 1018 have no action.
    connect(m_controls.softFilter, &QCheckBox::toggled, this,
            [this](bool checked) { m_acquisition.Applier().SetSoftFilterEnabled(checked); });
    connect(m_controls.autoPurge, &QCheckBox::toggled, this,
            [this](bool checked) { m_autoPurgeEnabled = checked; });
}

void CSensorMonitorDlg::AddSample(std::uint16_t value) {
    m_view->AddSample(value);
    ExpectShownFrame();
}

void CSensorMonitorDlg::AddSamples(std::span<const std::uint8_t> samples) {
    m_view->AddSamples(samples);
    ExpectShownFrame();
}

// The shown sensor sends at its own pace, so its next frame is read the moment it comes.
void CSensorMonitorDlg::ExpectShownFrame() {
    const std::optional<std::uint8_t> shown = m_acquisition.Applier().SelectedAddress();
    const SensorRecord* record = shown ? m_acquisition.Table().FindSensor(*shown) : nullptr;
    if (record == nullptr || isMinimized()) return;
    m_comm.ExpectUrgentBytesInMs(
        static_cast<int>(std::min<std::uint32_t>(record->interval, 60000)));
}

void CSensorMonitorDlg::AddSensorRow(const SensorRecord& record) {
    m_sensorList->AddSensorRow(record);
}

void CSensorMonitorDlg::UpdateSensorRow(const SensorRecord& record) {
    // Nobody sees the rows of a minimised window: they are brought up to date once it is back.
    if (isMinimized()) {
        m_rowsBehind = true;
        return;
    }
    m_sensorList->UpdateSensorRow(record);
    // Another sensor's frame leaves the displayed one's rate as it was.
    if (m_acquisition.Applier().SelectedAddress() == record.address) ShowSelectedPulse();
}

void CSensorMonitorDlg::SelectSensor(const SensorRecord& record) {
    m_sensorList->SelectSensor(record);
    ShowSelectedPulse();
}

void CSensorMonitorDlg::MarkBeat(std::uint32_t samplesAgo) {
    if (samplesAgo < static_cast<std::uint32_t>(CWaveView::kMaxSamples))
        m_view->MarkBeat(static_cast<int>(samplesAgo));
}

void CSensorMonitorDlg::ShowSelectedPulse() {
    const std::optional<std::uint8_t> selected = m_acquisition.Applier().SelectedAddress();
    const SensorRecord* record = selected ? m_acquisition.Table().FindSensor(*selected) : nullptr;
    if (m_pulseReadout != nullptr)
        m_pulseReadout->SetRate(record != nullptr ? ShownPulseRate(*record) : std::nullopt);
}

void CSensorMonitorDlg::OnOpenClose() {
    m_dispatch.Run([this] { OpenClose(); });
}

void CSensorMonitorDlg::OpenClose() {
    const int index = m_controls.port->currentIndex();
    const std::optional<int> selection = index >= 0 ? std::optional<int>(index) : std::nullopt;
    const std::string baudText = m_controls.baud->currentText().toStdString();
    // Errors of the port layer leave this handler here, before anything below changes.
    const OpenCloseOutcome outcome = m_connection.OnOpenClose(selection, baudText);
    switch (outcome.kind) {
        case OpenCloseOutcome::Kind::Opened:
            m_controls.openClose->setText(CloseCaption());
            m_controls.port->setEnabled(false);
            if (m_controls.prompt->text() == Disconnected()) m_controls.prompt->clear();
            if (outcome.settingsProblem.Any()) {
                TellSettingsProblem(QStringLiteral("端口设置未保存："), outcome.settingsProblem);
            } else if (m_settingsProblemShown) {
                m_controls.prompt->clear();
                m_controls.prompt->setToolTip(QString());
                m_settingsProblemShown = false;
            }
            break;
        case OpenCloseOutcome::Kind::Closed:
            // The port list stays disabled after a close.
            m_controls.openClose->setText(OpenCaption());
            break;
        case OpenCloseOutcome::Kind::Refused:
        case OpenCloseOutcome::Kind::Failed:
            break;
    }
    if (!outcome.message.empty())
        MessageBoxes::ShowPlain(this, MessageBoxes::Translate(outcome.message));
}

void CSensorMonitorDlg::OnCommEvent() {
    m_dispatch.Run([this] { CommEvent(); });
}

void CSensorMonitorDlg::CommEvent() {
    if (m_connection.OnCommEvent() != CommNotice::DeviceLost) return;
    // The device went away (adapter unplugged): the port already reads closed. Say so quietly;
    // a modal box here would stack up behind an operator who is busy re-plugging.
    m_connection.ClosePort();
    m_controls.openClose->setText(OpenCaption());
    m_controls.prompt->setText(Disconnected());
}

void CSensorMonitorDlg::OnTimer() {
    m_dispatch.Run([this] {
        AdvancePulses();
        PurgeWhenDue();
        if (isMinimized()) {
            m_rowsBehind = true;  // sensors may have fallen silent meanwhile
        } else {
            m_sensorList->RefreshRows();
            ShowSelectedPulse();
        }
        PaceReads();
    });
}

void CSensorMonitorDlg::CatchUpRows() {
    if (!m_rowsBehind || m_sensorList == nullptr) return;
    m_rowsBehind = false;
    m_sensorList->RelabelRows();
    ShowSelectedPulse();
}

void CSensorMonitorDlg::PaceReads() {
    // A minimised window shows nothing of what arrives, so reading it in batches saves wake-ups;
    // restored, it reads in short ones and what it missed is on screen straight away. A
    // recording stamps every read with its arrival time, so it is never kept waiting.
    const CaptureRecorder& recorder = m_recording->Recorder();
    const bool recording = recorder.IsRecording() || recorder.IsWaitingForOpen();
    const bool unseen = isMinimized() && !recording;
    // Restarted here, in its own tick, so that it and the reads start in step.
    const int period = unseen ? kUnseenReadBatchMs : kTimerPeriodMs;
    if (m_timer.isActive() && m_timer.interval() != period) m_timer.start(period);
    m_comm.SetReadBatchMs(recording ? 0 : unseen ? kUnseenReadBatchMs : kShownReadBatchMs);
}

void CSensorMonitorDlg::AdvancePulses() {
    // A silent sensor hands in no frames, so time alone must take its rate away.
    AdvanceEveryPulse(m_acquisition.Table(), m_clock.NowTick(), [this](const SensorRecord& record) {
        if (isMinimized()) {
            m_rowsBehind = true;
            return;
        }
        m_sensorList->UpdateSensorRow(record);
    });
}

void CSensorMonitorDlg::PurgeWhenDue() {
    if (!m_autoPurgeEnabled) return;
    const Tick now = m_clock.NowTick();
    if (!TickElapsedMoreThan(now, m_lastPurgeTick, kPurgePeriodMs)) return;
    m_lastPurgeTick = now;
    m_sensorList->PurgeOfflineSensors();
}

QRect CSensorMonitorDlg::WaveFrameRect() const {
    return m_controls.waveFrame != nullptr ? m_controls.waveFrame->geometry() : rect();
}

void CSensorMonitorDlg::OnSizeChanged() {
    if (m_view == nullptr || m_view->parentWidget() != this) return;
    m_view->setGeometry(WaveFrameRect().adjusted(kViewInset, kViewInset, -kViewInset, -kViewInset));
    m_view->update();
}

void CSensorMonitorDlg::OnExit() {
    ShutDown();
    // Hiding ends the modal run, which ends the program.
    QDialog::done(QDialog::Rejected);
}

void CSensorMonitorDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CSensorMonitorDlg::ShutDown() {
    if (m_shutDown) return;
    m_shutDown = true;
    m_dispatch.Run([this] {
        if (m_connection.IsOpen()) m_connection.ClosePort();
    });
    m_recording->Stop();
    m_timer.stop();
    m_acquisition.Applier().SetFilter(nullptr);
    m_filter.Unload();
}

void CSensorMonitorDlg::keyPressEvent(QKeyEvent* event) {
    if (!TakeDialogKey(focusWidget(), event)) QDialog::keyPressEvent(event);
}

void CSensorMonitorDlg::closeEvent(QCloseEvent* event) {
    ShutDown();
    event->accept();
}

void CSensorMonitorDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // The first resize event only reports the size the window was created with.
    if (event->oldSize().isValid()) OnSizeChanged();
}

void CSensorMonitorDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Minimising and restoring changes no size in Qt, but it is a size change to the window.
    if (event->type() == QEvent::WindowStateChange) {
        OnSizeChanged();
        // Back on screen it reads in short batches at once; minimised, the long ones begin at the
        // timer's next tick, in step with it, so that both share one wake-up.
        if (!isMinimized()) {
            PaceReads();
            CatchUpRows();
        }
    }
}

void CSensorMonitorDlg::contextMenuEvent(QContextMenuEvent* event) {
    m_aboutMenu->ShowContextMenu(event->globalPos());
}

bool CSensorMonitorDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (m_aboutMenu != nullptr && m_aboutMenu->HandleNativeEvent(eventType, message)) {
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}

}  // namespace sphyra

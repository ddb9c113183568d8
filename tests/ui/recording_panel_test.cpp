#include "ui/window/recording_panel.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/types.h>

#include "serial/private_profile.h"
#include "tests/recording/capture_decode.h"
#include "tests/serial/event_wait.h"
#include "tests/serial/pty_pair.h"
#include "tests/serial/test_frames.h"
#include "tests/ui/modal_catcher.h"
#include "ui/window/port_combo.h"
#include "ui/window/sensor_monitor_dlg.h"

namespace sphyra {
namespace {

namespace fs = std::filesystem;
using capture::ChunkType;
using test::MakeFrame;
using test::RunUntil;

// The highest niceness among this process's threads (Linux gives each its own).
int HighestThreadNiceness() {
    int highest = ::getpriority(PRIO_PROCESS, 0);
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/self/task", ec)) {
        const auto tid = static_cast<id_t>(std::stoul(task.path().filename().string()));
        highest = std::max(highest, ::getpriority(PRIO_PROCESS, tid));
    }
    return highest;
}

class RecordingPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_settings = fs::path(m_dir.path().toStdString()) / "sphyra.ini";
        m_folder = fs::path(m_dir.path().toStdString()) / "captures";
        PrivateProfile(m_settings).WriteProfileString("Ports", "COM1", m_pty.SlavePath());
        m_window = std::make_unique<CSensorMonitorDlg>(m_settings, &m_clock);
        Panel().SetFolderChooser([this](QWidget*, const fs::path&) {
            ++m_asked;
            return std::optional<fs::path>(m_folder);
        });
    }
    RecordingPanel& Panel() { return m_window->Recording(); }
    void Open() {
        m_window->Controls().port->setCurrentIndex(0);
        m_window->Controls().openClose->click();
        ASSERT_TRUE(m_window->Comm().GetPortOpen());
    }
    // Sends a frame and waits until the window has applied it.
    void Feed(const std::vector<std::uint8_t>& frame, std::vector<std::uint8_t>& sent) {
        const auto before = m_window->Acquisition().Ring().Stats().framesDelivered;
        m_pty.Send(frame);
        sent.insert(sent.end(), frame.begin(), frame.end());
        ASSERT_TRUE(RunUntil(
            [&] { return m_window->Acquisition().Ring().Stats().framesDelivered > before; }));
    }

    QTemporaryDir m_dir;
    fs::path m_settings;
    fs::path m_folder;
    test::PtyPair m_pty;
    ManualTickClock m_clock{1};
    std::unique_ptr<CSensorMonitorDlg> m_window;
    int m_asked = 0;
};

// Toggled before the port opens, recording waits for it, asks for the folder only
// once and remembers it, takes every byte as the window got it, and drops
// numbered markers from the button and F9.
TEST_F(RecordingPanelTest, RecordsFromTheOpeningWithMarkersIntoTheRememberedFolder) {
    test::ModalCatcher catcher;
    PrivateProfile(m_settings).WriteProfileString("Recording", "ExportAtStop", "None");
    m_window->show();  // F9 is a shortcut of the active window
    QApplication::setActiveWindow(m_window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    Panel().RecordButton()->click();
    EXPECT_EQ(m_asked, 1);
    EXPECT_TRUE(Panel().RecordButton()->isChecked());
    EXPECT_FALSE(Panel().MarkerButton()->isEnabled());
    EXPECT_EQ(PrivateProfile(m_settings).GetProfileString("Recording", "Folder", ""),
              m_folder.string());

    Open();
    ASSERT_TRUE(Panel().Recorder().IsRecording());
    std::vector<std::uint8_t> sent;
    Feed(MakeFrame(5, 3, 90, {10, 20, 30}), sent);
    const std::size_t beforeFirstMarker = sent.size();
    QTest::keyClick(m_window.get(), Qt::Key_F9);
    Feed(MakeFrame(7, 3, 80, {40, 50}), sent);
    Panel().MarkerButton()->click();
    ASSERT_TRUE(RunUntil([&] {
        return Panel().Status()->text().startsWith(QStringLiteral("录制中 00:00:")) &&
               Panel().Status()->text().endsWith(QStringLiteral("标记 2"));
    })) << Panel().Status()->text().toStdString();
    EXPECT_EQ(m_window->Controls().list->count(), 2);

    Panel().RecordButton()->click();
    EXPECT_FALSE(Panel().Recorder().IsRecording());
    const fs::path file = Panel().Recorder().CurrentFile();
    EXPECT_EQ(file.parent_path(), m_folder);
    EXPECT_TRUE(Panel().Status()->text().contains(QString::fromStdString(file.filename())));
    Panel().RecordButton()->click();  // the folder is remembered now
    EXPECT_EQ(m_asked, 1);
    EXPECT_TRUE(Panel().Recorder().IsRecording());
    EXPECT_TRUE(catcher.Boxes().empty());

    const auto got = test::DecodeCapture(file);
    ASSERT_TRUE(got.headerOk);
    EXPECT_EQ(got.header.port, "COM1");
    EXPECT_EQ(got.validBytes, got.fileSize);
    std::vector<std::uint8_t> recorded;
    std::vector<std::uint32_t> markers;
    for (const auto& chunk : got.chunks) {
        if (chunk.type == ChunkType::BytesReceived)
            recorded.insert(recorded.end(), chunk.payload.begin(), chunk.payload.end());
        if (chunk.type == ChunkType::Marker) {
            markers.push_back(capture::LoadLe<std::uint32_t>(chunk.payload.data()));
            EXPECT_EQ(recorded.size(), markers.size() == 1 ? beforeFirstMarker : sent.size());
        }
    }
    EXPECT_EQ(recorded, sent);
    EXPECT_EQ(markers, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(got.chunks.front().payload,
              capture::PortEventPayload(capture::PortEventCode::Opened, "COM1 115200"));
}

// A file size limit stands in for a full disk: one message, recording stops,
// what was written stays readable, and the window goes on showing what arrives.
TEST_F(RecordingPanelTest, AWriteErrorStopsRecordingWithOneMessageAndTheDisplayGoesOn) {
    test::ModalCatcher catcher;
    Open();
    Panel().RecordButton()->click();
    std::vector<std::uint8_t> sent;
    Feed(MakeFrame(5, 3, 90, std::vector<std::uint8_t>(80, 7)), sent);
    const fs::path file = Panel().Recorder().CurrentFile();
    ASSERT_TRUE(RunUntil([&] { return fs::file_size(file) == Panel().Recorder().Bytes(); }));

    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = static_cast<rlim_t>(fs::file_size(file) + 100);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Feed(MakeFrame(5, 3, 90, std::vector<std::uint8_t>(80, 8)), sent);
    const bool stopped = RunUntil([&] { return !catcher.Boxes().empty(); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_TRUE(stopped);

    EXPECT_TRUE(
        catcher.Boxes()[0].text.startsWith(QStringLiteral("录制已停止：文件超过了允许的大小")))
        << catcher.Boxes()[0].text.toStdString();
    EXPECT_FALSE(Panel().RecordButton()->isChecked());
    EXPECT_EQ(Panel().Status()->text(), QStringLiteral("录制已停止"));
    Feed(MakeFrame(6, 3, 90, {1, 2}), sent);
    EXPECT_EQ(m_window->Controls().list->count(), 2);
    test::RunFor(3 * RecordingPanel::kRefreshMs);
    EXPECT_EQ(catcher.Boxes().size(), 1U);

    const auto got = test::DecodeCapture(file);
    EXPECT_EQ(got.validBytes, got.fileSize);
    ASSERT_GE(got.chunks.size(), 2U);
    EXPECT_EQ(got.chunks[0].payload, std::vector<std::uint8_t>(sent.begin(), sent.begin() + 88));
    EXPECT_EQ(got.chunks.back().payload.at(0),
              static_cast<std::uint8_t>(capture::PortEventCode::RecordingError));
}

// A remembered folder that cannot be made is reported and forgotten, so the next
// press asks for another.
TEST_F(RecordingPanelTest, AFolderThatCannotBeUsedIsReportedAndAskedForAgain) {
    test::ModalCatcher catcher;
    const fs::path blocked = fs::path(m_dir.path().toStdString()) / "a_file";
    std::ofstream(blocked) << "x";
    PrivateProfile(m_settings).WriteProfileString("Recording", "Folder", (blocked / "c").string());
    Open();
    Panel().RecordButton()->click();
    ASSERT_TRUE(RunUntil([&] { return !catcher.Boxes().empty(); }));
    EXPECT_TRUE(catcher.Boxes()[0].text.startsWith(QStringLiteral("无法开始录制")));
    EXPECT_FALSE(Panel().RecordButton()->isChecked());
    EXPECT_EQ(m_asked, 0);

    Panel().RecordButton()->click();
    EXPECT_EQ(m_asked, 1);
    EXPECT_TRUE(Panel().Recorder().IsRecording());
    EXPECT_EQ(Panel().Recorder().CurrentFile().parent_path(), m_folder);
}

// The settings word, the names beside the capture, and a command that survives
// the shell for folders with spaces and quotes in their names.
TEST(ExportAtStopTest, ReadsTheChoiceAndNamesTheExportAfterTheCapture) {
    EXPECT_TRUE(ExportAtStop::Parse("").edf && !ExportAtStop::Parse("").csv);
    EXPECT_FALSE(ExportAtStop::Parse(" none ").Any());
    EXPECT_TRUE(ExportAtStop::Parse("CSV").csv && !ExportAtStop::Parse("CSV").edf);
    const ExportRequest request =
        ExportAtStop::Parse("edf , Csv").RequestFor("/r/Bob's rec/sphyra_1.sphc");
    EXPECT_EQ(
        ExportCommand(request),
        "sphyra-export '/r/Bob'\\''s rec/sphyra_1.sphc' --edf '/r/Bob'\\''s rec/sphyra_1.edf' "
        "--csv '/r/Bob'\\''s rec/sphyra_1-csv'");
}

// Two recordings stopped one after the other are both exported beside their
// captures, one at a time, and the text follows the exports to the last one.
TEST_F(RecordingPanelTest, FinishedRecordingsAreExportedBesideTheirCaptures) {
    test::ModalCatcher catcher;
    PrivateProfile(m_settings).WriteProfileString("Recording", "ExportAtStop", "EDF, CSV");
    Open();
    std::vector<std::uint8_t> sent;
    std::vector<fs::path> captures;
    for (int i = 0; i < 2; ++i) {
        Panel().RecordButton()->click();
        Feed(MakeFrame(5, 3, 90, std::vector<std::uint8_t>(40, 100)), sent);
        Feed(MakeFrame(5, 3, 90, std::vector<std::uint8_t>(40, 120)), sent);
        captures.push_back(Panel().Recorder().CurrentFile());
        Panel().RecordButton()->click();
    }
    ASSERT_NE(captures[0], captures[1]);
    const fs::path edf = captures[1].parent_path() / (captures[1].stem().string() + ".edf");
    ASSERT_TRUE(RunUntil([&] {
        return Panel().Status()->text() == QStringLiteral("已导出 ") + edf.filename().c_str();
    })) << Panel().Status()->text().toStdString();
    EXPECT_TRUE(Panel().Status()->toolTip().contains(QString::fromStdString(edf.string())));
    for (const fs::path& capture : captures) {
        const fs::path name = capture.parent_path() / capture.stem();
        EXPECT_GT(fs::file_size(name.string() + ".edf"), 256U) << name;
        EXPECT_TRUE(fs::exists(fs::path(name.string() + "-csv") / "sensor_5.csv")) << name;
    }
    EXPECT_TRUE(catcher.Boxes().empty());
}

// Quitting while an export writes its EDF file cancels it at once: the window
// goes, no partial EDF is left, the capture is, and stderr says how to redo it.
TEST_F(RecordingPanelTest, QuittingCancelsARunningExportAndLeavesNoPartialFile) {
    std::atomic<bool> holding{false};
    // The real export, held at its first progress call once the EDF file exists
    // until the window cancels it.
    Panel().SetExporter([&](const ExportRequest& request) {
        ExportRequest held = request;
        held.progress = [&](std::uint64_t done, std::uint64_t total) {
            if (!request.progress(done, total)) return false;
            if (!request.edf || !fs::exists(*request.edf)) return true;
            holding = true;
            while (request.progress(done, total)) std::this_thread::yield();
            return false;
        };
        return ExportCapture(held);
    });
    Open();
    Panel().RecordButton()->click();
    std::vector<std::uint8_t> sent;
    Feed(MakeFrame(5, 3, 90, std::vector<std::uint8_t>(40, 100)), sent);
    const fs::path capture = Panel().Recorder().CurrentFile();
    const fs::path edf = capture.parent_path() / (capture.stem().string() + ".edf");
    Panel().RecordButton()->click();
    ASSERT_TRUE(RunUntil([&] { return holding.load(); }));
    EXPECT_TRUE(Panel().Status()->text().startsWith(QStringLiteral("导出中 ")));
    EXPECT_EQ(HighestThreadNiceness(),
              std::min(::getpriority(PRIO_PROCESS, 0) + ExportQueue::kNiceness, 19));

    ::testing::internal::CaptureStderr();
    m_window->OnExit();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(m_window->isHidden());
    EXPECT_FALSE(fs::exists(edf));
    EXPECT_TRUE(fs::exists(capture));
    EXPECT_NE(said.find("sphyra-export " + capture.string() + " --edf " + edf.string()),
              std::string::npos)
        << said;
}

}  // namespace
}  // namespace sphyra

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "serial/port_settings_file.h"
#include "tests/serial/event_wait.h"
#include "tests/serial/test_frames.h"
#include "tests/ui/modal_catcher.h"
#include "tests/ui/window_fixture.h"
#include "ui/view/wave_view.h"
#include "ui/window/port_combo.h"
#include "ui/window/sensor_monitor_dlg.h"

// The window and its port: frames on the line, a lost device, and how the port is read.
namespace sphyra {
namespace {

using test::MakeFrame;
using test::ModalCatcher;
using test::RunUntil;
using test::WindowTest;
#ifndef _WIN32
using test::PtyPair;
#endif

#ifndef _WIN32  // pseudo-terminals stand in for the serial adapter
TEST_F(WindowTest, OpensAndClosesAPortAndShowsTheSensorsHeard) {
    PtyPair pty;
    auto window = MakeWindowOn(pty);
    ModalCatcher catcher;
    OpenOverPty(*window, pty);
    const MonitorControls& c = window->Controls();
    EXPECT_EQ(c.openClose->text(), QStringLiteral("关闭"));
    EXPECT_FALSE(c.port->isEnabled());
    EXPECT_EQ(PortSettingsFile(m_settingsPath).ReadPortSettings().port, 1);
    EXPECT_EQ(PortSettingsFile(m_settingsPath).ReadPortSettings().baud, 115200);

    // Bytes on the line reach the list and, for the first sensor, the view.
    pty.Send(MakeFrame(5, 3, 90, {10, 20, 30}));
    ASSERT_TRUE(RunUntil([&] { return c.list->count() == 1; }));
    EXPECT_EQ(window->WaveView()->Count(), 3);
    EXPECT_EQ(window->WaveView()->Sample(2), 30);

    // Reading in short batches, the window reads every arrival from shortly before the shown
    // sensor's next frame is due.
    window->OnTimer();
    m_clock.Advance(50);
    pty.Send(MakeFrame(5, 3, 90, {40}));
    ASSERT_TRUE(RunUntil([&] { return window->WaveView()->Count() == 4; }));
    EXPECT_FALSE(window->Comm().Pacer().UrgentWindowOpen());
    ASSERT_TRUE(RunUntil([&] { return window->Comm().Pacer().UrgentWindowOpen(); }));

    c.openClose->click();
    EXPECT_EQ(c.openClose->text(), QStringLiteral("打开"));
    EXPECT_FALSE(c.port->isEnabled());
    EXPECT_FALSE(window->Comm().GetPortOpen());
    EXPECT_TRUE(catcher.Boxes().empty());
}
#endif

#ifndef _WIN32
TEST_F(WindowTest, LosingTheDeviceResetsTheButtonAndSaysSoWithoutABox) {
    PtyPair pty;
    auto window = MakeWindowOn(pty);
    ModalCatcher catcher;
    OpenOverPty(*window, pty);
    pty.CloseMaster();
    ASSERT_TRUE(RunUntil([&] { return !window->Comm().GetPortOpen(); }));
    ASSERT_TRUE(RunUntil(
        [&] { return window->Controls().prompt->text() == QStringLiteral("通信端口已断开!"); }));
    EXPECT_EQ(window->Controls().openClose->text(), QStringLiteral("打开"));
    EXPECT_TRUE(catcher.Boxes().empty());
}
#endif

// Minimised, the window reads in long batches; restored, in short ones; recording, it reads every
// arrival.
TEST_F(WindowTest, MinimisedWindowReadsInBatchesUnlessItRecords) {
    auto window = MakeWindow();
    window->show();
    window->OnTimer();
    EXPECT_EQ(window->Comm().GetReadBatchMs(), CSensorMonitorDlg::kShownReadBatchMs);
    window->showMinimized();
    ASSERT_TRUE(RunUntil([&] { return window->isMinimized(); }));
    window->OnTimer();
    EXPECT_EQ(window->Comm().GetReadBatchMs(), CSensorMonitorDlg::kUnseenReadBatchMs);

    window->Recording().RecordFromOpen(m_dir.path().toStdString());
    window->OnTimer();
    EXPECT_EQ(window->Comm().GetReadBatchMs(), 0);
    window->Recording().SetRecording(false);
    window->OnTimer();
    EXPECT_EQ(window->Comm().GetReadBatchMs(), CSensorMonitorDlg::kUnseenReadBatchMs);

    window->showNormal();
    ASSERT_TRUE(RunUntil([&] { return !window->isMinimized(); }));
    EXPECT_EQ(window->Comm().GetReadBatchMs(), CSensorMonitorDlg::kShownReadBatchMs);
}

}  // namespace
}  // namespace sphyra

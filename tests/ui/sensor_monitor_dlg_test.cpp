#include "ui/window/sensor_monitor_dlg.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "acquisition/tick_clock.h"
#include "serial/profile_file.h"
#include "tests/serial/event_wait.h"
#include "tests/serial/test_frames.h"
#include "tests/ui/modal_catcher.h"
#include "tests/ui/window_fixture.h"
#ifndef _WIN32
#include "tests/serial/pty_pair.h"
#endif
#include "ui/view/wave_view.h"
#include "ui/window/port_combo.h"

namespace sphyra {
namespace {

using test::RunUntil;

using test::MakeFrame;
using test::ModalCatcher;
using test::WindowTest;
#ifndef _WIN32
using test::PtyPair;
#endif

TEST_F(WindowTest, StartsWithDefaultsWhenThereIsNoSettingsFile) {
    auto window = MakeWindow();
    const MonitorControls& c = window->Controls();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("启星无线红外脉搏传感器"));
    EXPECT_EQ(c.port->currentIndex(), 0);
    EXPECT_EQ(c.port->itemText(0).left(4), QStringLiteral("COM1"));
    EXPECT_EQ(c.baud->currentText(), QStringLiteral("115200"));
    EXPECT_EQ(c.list->count(), 0);
    EXPECT_EQ(window->WaveView()->Count(), 0);
    EXPECT_EQ(c.openClose->text(), QStringLiteral("打开"));
    EXPECT_TRUE(c.prompt->text().isEmpty());
    EXPECT_FALSE(window->Comm().GetPortOpen());
    // Reading the settings never creates the file.
    EXPECT_FALSE(std::filesystem::exists(m_settingsPath));
}

TEST_F(WindowTest, PortOutsideTheListLeavesNoSelectionAndOpenAsksForOne) {
    WriteSettings("[Main]\nCommPort=20\nCommBaud=57600\n");
    auto window = MakeWindow();
    EXPECT_EQ(window->Controls().port->currentIndex(), -1);
    EXPECT_EQ(window->Controls().baud->currentText(), QStringLiteral("57600"));

    ModalCatcher catcher;
    window->Controls().openClose->click();
    ASSERT_EQ(catcher.Boxes().size(), 1U);
    const ModalCatcher::Seen& box = catcher.Boxes().front();
    EXPECT_EQ(box.text, QStringLiteral("请选择通信端口号!"));
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box.title, QCoreApplication::applicationName());
    EXPECT_EQ(window->Controls().openClose->text(), QStringLiteral("打开"));
    EXPECT_TRUE(window->Controls().port->isEnabled());
}

#ifndef _WIN32
// Each need reads the file once (counted through profile_file::ReadCount), the slow system port
// listing waits for the list to open, and a file that cannot take the settings is told in the
// prompt line while the open still counts.
TEST_F(WindowTest, SettingsAreReadOncePerNeedAndProblemsAreToldWhileTheOpenCounts) {
    PtyPair pty;
    WriteSettings("[Ports]\nCOM1=" + pty.SlavePath() + "\n");
    std::filesystem::permissions(m_settingsPath, std::filesystem::perms::owner_read);
    const std::uint64_t before = profile_file::ReadCount();
    auto window = MakeWindow();
    EXPECT_EQ(profile_file::ReadCount() - before, 1u);
    EXPECT_TRUE(window->Controls().prompt->text().isEmpty());

    window->Controls().port->showPopup();
    window->Controls().port->hidePopup();
    EXPECT_EQ(profile_file::ReadCount() - before, 2u);
    EXPECT_TRUE(window->Controls().port->itemText(0).startsWith(QStringLiteral("COM1 (pts/")));

    ModalCatcher catcher;
    OpenOverPty(*window, pty);  // the device, then the write's own look at the file
    EXPECT_EQ(profile_file::ReadCount() - before, 4u);
    EXPECT_TRUE(catcher.Boxes().empty());
    EXPECT_EQ(window->Controls().prompt->text(), QStringLiteral("端口设置未保存：文件只读"));
    EXPECT_TRUE(window->Controls().prompt->toolTip().contains(QStringLiteral("read-only")));

    // A folder where the file should be: defaults, and the operator knows why.
    CSensorMonitorDlg folder(m_dir.path().toStdString(), &m_clock);
    EXPECT_TRUE(folder.Controls().prompt->text().startsWith(QStringLiteral("设置未读取")));
    EXPECT_EQ(folder.Controls().baud->currentText(), QStringLiteral("115200"));
}
#endif

TEST_F(WindowTest, APortThatCannotBeOpenedIsReportedWithAStopBox) {
    const std::string missing = m_dir.filePath(QStringLiteral("no-such-tty")).toStdString();
    WriteSettings("[Ports]\nCOM1=" + missing + "\n");
    auto window = MakeWindow();
    ModalCatcher catcher;
    window->Controls().openClose->click();

    ASSERT_EQ(catcher.Boxes().size(), 1U);
    EXPECT_EQ(catcher.Boxes()[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(catcher.Boxes()[0].text.isEmpty());
    EXPECT_EQ(catcher.Boxes()[0].title, QCoreApplication::applicationName());
    // The rest of the handler did not run.
    EXPECT_EQ(window->Controls().openClose->text(), QStringLiteral("打开"));
    EXPECT_TRUE(window->Controls().port->isEnabled());
    EXPECT_EQ(ReadSettings().find("CommPort"), std::string::npos);
}

TEST_F(WindowTest, EnterAndEscapeChangeNothing) {
    auto window = MakeWindow();
    window->show();
    for (QWidget* target : std::array<QWidget*, 3>{
             window->Controls().list, window->Controls().autoPurge, window->Controls().gain}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(target, Qt::Key_Escape);
    }
    window->accept();
    window->reject();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->IsShutDown());
    EXPECT_FALSE(window->Controls().autoPurge->isChecked());
}

#ifndef _WIN32
TEST_F(WindowTest, ExitClosesThePortBeforeTheWindowGoesAway) {
    PtyPair pty;
    auto window = MakeWindowOn(pty);
    window->show();
    OpenOverPty(*window, pty);
    window->Controls().exit->click();
    EXPECT_TRUE(window->IsShutDown());
    EXPECT_FALSE(window->Comm().GetPortOpen());
    EXPECT_FALSE(window->isVisible());
}
#endif

#ifndef _WIN32
TEST_F(WindowTest, TheCloseButtonEndsTheWindowLikeExit) {
    PtyPair pty;
    auto window = MakeWindowOn(pty);
    window->show();
    OpenOverPty(*window, pty);
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(window->IsShutDown());
    EXPECT_FALSE(window->Comm().GetPortOpen());
}
#endif

TEST_F(WindowTest, ViewCoversTheFrameUntilASizeChangeThenSitsTwoPixelsInside) {
    auto window = MakeWindow();
    const QRect frame = window->Controls().waveFrame->geometry();
    EXPECT_EQ(window->WaveView()->geometry(), frame);
    EXPECT_EQ(window->WaveView()->objectName(), QStringLiteral("100"));
    window->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->WaveView()->geometry(), frame);

    window->showMinimized();
    window->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->WaveView()->geometry(), frame.adjusted(2, 2, -2, -2));
    EXPECT_TRUE(window->WaveView()->isVisible());
}

TEST_F(WindowTest, PurgeRunsAtMostOnceEvery5000msWhileTicked) {
    auto window = MakeWindow();
    window->OnTimer();
    m_clock.Set(9000);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 0U);  // not ticked

    window->Controls().autoPurge->setChecked(true);
    ASSERT_TRUE(window->AutoPurgeEnabled());
    m_clock.Set(4999);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 0U);
    m_clock.Set(5000);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 0U);
    m_clock.Set(5001);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 5001U);
    m_clock.Set(10001);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 5001U);
    m_clock.Set(10002);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 10002U);

    // Across the 32-bit wrap: 16 ms later is not 5000 ms later.
    m_clock.Set(0xFFFFFF00U);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 0xFFFFFF00U);
    m_clock.Set(0xFFFFFF10U);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 0xFFFFFF00U);
    m_clock.Set(0x00001290U);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 0x00001290U);

    window->Controls().autoPurge->setChecked(false);
    m_clock.Set(0x00009000U);
    window->OnTimer();
    EXPECT_EQ(window->LastPurgeTick(), 0x00001290U);
}

TEST_F(WindowTest, TheTimerPurgesSilentSensors) {
    auto window = MakeWindow();
    const auto frame = MakeFrame(7, 1, 80, {1, 2});
    window->Acquisition().Receive(frame.data(), frame.size());
    ASSERT_EQ(window->Controls().list->count(), 1);

    window->Controls().autoPurge->setChecked(true);
    m_clock.Advance(30001);
    // The 50 ms timer does the rest.
    ASSERT_TRUE(RunUntil([&] { return window->Controls().list->count() == 0; }));
    EXPECT_EQ(window->Acquisition().Table().Size(), 0U);
    EXPECT_EQ(window->LastPurgeTick(), m_clock.NowTick());
}

TEST_F(WindowTest, AboutIsOfferedOnTheBackgroundAndOpensTheAboutBox) {
    auto window = MakeWindow();
    window->show();
    auto* about = window->findChild<QAction*>(QStringLiteral("aboutAction"));
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), QStringLiteral("关于 Sphyra(&A)..."));

    ModalCatcher catcher;
    const QPoint spot(window->width() - 10, window->height() - 60);
    QContextMenuEvent event(QContextMenuEvent::Mouse, spot, window->mapToGlobal(spot));
    QCoreApplication::sendEvent(window.get(), &event);
    ASSERT_EQ(catcher.Boxes().size(), 1U);
    EXPECT_EQ(catcher.Boxes()[0].className, QStringLiteral("QMenu"));
    EXPECT_EQ(catcher.Boxes()[0].actions, QStringList{about->text()});

    about->trigger();
    ASSERT_EQ(catcher.Boxes().size(), 2U);
    EXPECT_EQ(catcher.Boxes()[1].className, QStringLiteral("sphyra::CAboutDlg"));
    EXPECT_EQ(catcher.Boxes()[1].title, QStringLiteral("关于 Sphyra"));
}

TEST_F(WindowTest, TickingSoftwareFilterRunsSamplesThroughTheFilterLibrary) {
    auto window = MakeWindow();
    // The suite puts a stand-in QXFilter on the library path.
    ASSERT_TRUE(window->FilterAvailable());
    QCheckBox* filter = window->Controls().softFilter;
    EXPECT_FALSE(filter->isEnabled());

    const auto raw = MakeFrame(3, 1, 50, {7, 8});
    window->Acquisition().Receive(raw.data(), raw.size());
    filter->setChecked(true);
    m_clock.Advance(40);
    const auto filtered = MakeFrame(3, 1, 50, {9});
    window->Acquisition().Receive(filtered.data(), filtered.size());

    const CWaveView* view = window->WaveView();
    ASSERT_EQ(view->Count(), 3);
    EXPECT_EQ(view->Sample(0), 7);
    EXPECT_EQ(view->Sample(1), 8);
    EXPECT_EQ(view->Sample(2), 1009);
    std::array<std::uint16_t, SampleRing::kCapacity> history{};
    const SensorRecord* record = window->Acquisition().Table().FindSensor(3);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->history->SnapshotHistory(history), 3U);
    EXPECT_EQ(history[2], 1009);

    // Shut-down lets go of the library; nothing may call into it afterwards.
    window->OnExit();
    EXPECT_FALSE(window->FilterAvailable());
    EXPECT_EQ(window->Acquisition().Applier().Filter(), nullptr);
}

}  // namespace
}  // namespace sphyra

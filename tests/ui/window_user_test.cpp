// The main window as an operator meets it: shown, driven by keys and clicks on whatever has
// the focus, with sensors arriving through the receive path.

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "acquisition/tick_clock.h"
#include "serial/private_profile.h"
#include "tests/serial/event_wait.h"
#include "tests/serial/test_frames.h"
#include "tests/ui/modal_catcher.h"
#include "ui/list/sensor_list.h"
#include "ui/view/wave_view.h"
#include "ui/window/sensor_monitor_dlg.h"
#ifndef _WIN32
#include "tests/serial/pty_pair.h"
#endif

namespace sphyra {
namespace {

using test::MakeFrame;
using test::RunUntil;
#ifndef _WIN32
using test::PtyPair;
#endif

class WindowUserTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_settingsPath = m_dir.filePath(QStringLiteral("sphyra.ini")).toStdString();
    }

    // The window as the program shows it, active and waiting for the operator.
    void Start() {
        m_window = std::make_unique<CSensorMonitorDlg>(m_settingsPath, &m_clock);
        m_window->show();
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
    }

    void Hear(std::uint8_t address, std::uint8_t battery = 90,
              const std::vector<std::uint8_t>& samples = {1, 2, 3}) {
        const auto frame = MakeFrame(address, 3, battery, samples);
        m_window->Acquisition().Receive(frame.data(), frame.size());
    }

    // Keys go where the operator's keys would: to the widget with the focus.
    static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QTest::keyClick(focus, key, modifiers);
    }

    QListWidget* List() const { return m_window->Controls().list; }

    QTemporaryDir m_dir;
    std::filesystem::path m_settingsPath;
    ManualTickClock m_clock{1};
    std::unique_ptr<CSensorMonitorDlg> m_window;
};

#ifndef _WIN32
TEST_F(WindowUserTest, EnterAndEscapeAtStartChangeNothingWhileAFocusedButtonStillTakesThem) {
    PtyPair pty;
    PrivateProfile(m_settingsPath).WriteProfileString("Ports", "COM1", pty.SlavePath());
    Start();
    test::ModalCatcher catcher;
    EXPECT_EQ(QApplication::focusWidget(), List());
    for (const QPushButton* button : m_window->findChildren<QPushButton*>())
        EXPECT_FALSE(button->isDefault()) << button->text().toStdString();

    Press(Qt::Key_Return);
    Press(Qt::Key_Enter, Qt::KeypadModifier);
    Press(Qt::Key_Escape);
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_FALSE(m_window->IsShutDown());
    EXPECT_FALSE(m_window->Comm().GetPortOpen());

    // A click on Open opens the port and leaves the focus in the list: Enter does not close it.
    QPushButton* open = m_window->Controls().openClose;
    QTest::mouseClick(open, Qt::LeftButton);
    ASSERT_TRUE(m_window->Comm().GetPortOpen());
    EXPECT_EQ(QApplication::focusWidget(), List());
    Press(Qt::Key_Return);
    EXPECT_TRUE(m_window->Comm().GetPortOpen());

    // The operator tabs to the button himself: Enter and Space press it, Esc does not.
    for (int i = 0; i < 40 && QApplication::focusWidget() != open; ++i) Press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), open);
    Press(Qt::Key_Return);
    EXPECT_FALSE(m_window->Comm().GetPortOpen());
    Press(Qt::Key_Escape);
    EXPECT_FALSE(m_window->Comm().GetPortOpen());
    Press(Qt::Key_Space);
    EXPECT_TRUE(m_window->Comm().GetPortOpen());
    EXPECT_TRUE(m_window->isVisible());
    EXPECT_TRUE(catcher.Boxes().empty());
}
#endif

TEST_F(WindowUserTest, AnyNumberOfSensorsSitInOneUnclippedRowThatFollowsTheChoice) {
    for (const int sensors : {16, 256}) {
        Start();
        for (int a = 0; a < sensors; ++a) Hear(static_cast<std::uint8_t>(a));
        ASSERT_EQ(List()->count(), sensors);
        QCoreApplication::processEvents();

        const QRect viewport = List()->viewport()->rect();
        const int labelHeight = 32 + 2 * List()->fontMetrics().height();
        const auto visible = [&](int row) {
            return viewport.contains(List()->visualItemRect(List()->item(row)));
        };
        EXPECT_FALSE(List()->verticalScrollBar()->isVisible());
        const int top = List()->visualItemRect(List()->item(0)).top();
        for (int row = 0; row < sensors; ++row) {
            const QRect cell = List()->visualItemRect(List()->item(row));
            ASSERT_EQ(cell.top(), top) << sensors << " sensors, row " << row;
            ASSERT_GE(cell.height(), labelHeight) << row;
        }
        EXPECT_TRUE(visible(0));

        // Chosen by a click on the row cut off at the right edge: it comes fully into view.
        int cut = 0;
        while (cut < sensors && visible(cut)) ++cut;
        ASSERT_LT(cut, sensors);
        const QRect shown = List()->visualItemRect(List()->item(cut)).intersected(viewport);
        ASSERT_FALSE(shown.isEmpty());
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, {}, shown.center());
        ASSERT_TRUE(
            RunUntil([&] { return m_window->Acquisition().Applier().SelectedAddress() == cut; }));
        EXPECT_TRUE(visible(cut));
        // Chosen by key: End goes to the last row and brings it into view.
        Press(Qt::Key_End);
        EXPECT_EQ(m_window->Acquisition().Applier().SelectedAddress(), sensors - 1);
        EXPECT_TRUE(visible(sensors - 1));
        // Chosen by the program: the displayed sensor's row comes into view as well.
        Press(Qt::Key_Home);
        ASSERT_FALSE(visible(sensors - 1));
        m_window->Acquisition().Applier().SelectSensor(static_cast<std::uint8_t>(sensors - 1));
        EXPECT_TRUE(visible(sensors - 1));
    }
}

TEST_F(WindowUserTest, TheTimerMarksASilentSensorOnceAndItsNextFrameRestoresIt) {
    Start();
    Hear(5, 90);
    Hear(8, 70);
    const SensorList& sensors = m_window->Sensors();
    const auto row = [&](int r) { return List()->item(r)->text(); };
    const MonitorControls& c = m_window->Controls();

    m_clock.Advance(10000);  // not yet past the mark
    const int before = sensors.RelabelCount();
    m_window->OnTimer();
    EXPECT_EQ(sensors.RelabelCount(), before);
    EXPECT_EQ(row(0), QStringLiteral("传感器_5\n[90%] --"));

    m_clock.Advance(1);
    m_window->OnTimer();
    m_window->OnTimer();  // one re-label per crossing, not one per tick
    EXPECT_EQ(sensors.RelabelCount(), before + 2);
    EXPECT_EQ(row(0), QStringLiteral("传感器_5\n[--]"));
    EXPECT_EQ(row(1), QStringLiteral("传感器_8\n[--]"));
    // The displayed sensor says so in the caption, the read-out and the view.
    EXPECT_EQ(c.waveGroup->title(), QStringLiteral("采样波形[传感器_5][不在线]"));
    EXPECT_EQ(c.battery->text(), QStringLiteral("--"));
    EXPECT_TRUE(m_window->WaveView()->IsSilent());

    Hear(5, 90);
    EXPECT_EQ(row(0), QStringLiteral("传感器_5\n[90%] --"));
    EXPECT_EQ(row(1), QStringLiteral("传感器_8\n[--]"));
    EXPECT_EQ(c.waveGroup->title(), QStringLiteral("采样波形[传感器_5]"));
    EXPECT_EQ(c.battery->text(), QStringLiteral("90%"));
    EXPECT_FALSE(m_window->WaveView()->IsSilent());
    m_window->OnTimer();
    EXPECT_EQ(sensors.RelabelCount(), before + 3);
}

#ifndef _WIN32
// What a view shows after `samples` were added one by one to an empty view of `capacity`.
std::vector<std::uint16_t> Swept(const std::vector<std::uint8_t>& samples, int capacity) {
    std::vector<std::uint16_t> view;
    for (const std::uint8_t s : samples) {
        if (static_cast<int>(view.size()) >= capacity) view.clear();
        view.push_back(s);
    }
    return view;
}

TEST_F(WindowUserTest, ASensorChosenOnALivePortCarriesOnFromItsHistory) {
    PtyPair pty;
    PrivateProfile(m_settingsPath).WriteProfileString("Ports", "COM1", pty.SlavePath());
    Start();
    m_window->Controls().openClose->click();
    ASSERT_TRUE(m_window->Comm().GetPortOpen());
    const CWaveView* view = m_window->WaveView();
    const int capacity = view->Capacity();
    ASSERT_GT(capacity, 200);

    // Sensor 8 sends more than a sweep, and the next frame will not complete the sweep.
    constexpr int kFrame = 80;
    int frames = capacity / kFrame + 1;
    while ((frames * kFrame) % capacity + kFrame >= capacity) ++frames;
    std::vector<std::uint8_t> sent;
    const auto send = [&](std::uint8_t address) {
        std::vector<std::uint8_t> samples;
        for (int i = 0; i < kFrame; ++i)
            samples.push_back(static_cast<std::uint8_t>((sent.size() + i) * 7 % 251));
        if (address == 8) sent.insert(sent.end(), samples.begin(), samples.end());
        pty.Send(MakeFrame(address, 3, 90, samples));
    };
    send(5);
    for (int i = 0; i < frames; ++i) send(8);
    ASSERT_TRUE(RunUntil([&] {
        const SensorRecord* r = m_window->Acquisition().Table().FindSensor(8);
        return r != nullptr && r->frames == static_cast<std::uint64_t>(frames);
    }));

    QTest::mouseClick(List()->viewport(), Qt::LeftButton, {},
                      List()->visualItemRect(List()->item(1)).center());
    ASSERT_TRUE(RunUntil([&] { return m_window->Acquisition().Applier().SelectedAddress() == 8; }));
    send(8);
    ASSERT_TRUE(
        RunUntil([&] { return view->Count() == static_cast<int>(Swept(sent, capacity).size()); }));
    // Exactly what a view that had shown sensor 8 all along would hold: history, then live.
    const std::vector<std::uint16_t> expected = Swept(sent, capacity);
    ASSERT_GT(expected.size(), static_cast<std::size_t>(kFrame));
    for (std::size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(view->Sample(static_cast<int>(i)), expected[i]) << i;
}
#endif

}  // namespace
}  // namespace sphyra

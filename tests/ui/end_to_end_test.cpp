// The whole program path: simulated sensors write into a pseudo-terminal, the
// real main window reads it through the port layer, and the operator's view of
// the result (list rows, selection, waveform, read-outs, purge) is checked.

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "serial/private_profile.h"
#include "tests/serial/event_wait.h"
#include "tools/sim/frame_encoder.h"
#include "tools/sim/pty_endpoint.h"
#include "tools/sim/sensor_simulator.h"
#include "ui/view/wave_view.h"
#include "ui/window/sensor_monitor_dlg.h"

namespace sphyra {
namespace {

using test::RunUntil;

constexpr Tick kStart = 1000;

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        m_pty = PtyEndpoint::Create(error);
        ASSERT_TRUE(m_pty) << error;
        ASSERT_TRUE(m_dir.isValid());
        const std::filesystem::path settings = m_dir.filePath("sphyra.ini").toStdString();
        PrivateProfile profile(settings);
        ASSERT_TRUE(profile.WriteProfileString("Ports", "COM1", m_pty->Path()));

        m_window = std::make_unique<CSensorMonitorDlg>(settings, &m_clock);
        m_window->show();
        m_window->Controls().openClose->click();
        ASSERT_TRUE(m_window->Comm().GetPortOpen());
    }

    // Sends everything the simulator produces up to `untilMs` and waits until the
    // window has applied every frame of it.
    void Play(SensorSimulator& sim, std::uint64_t untilMs) {
        ASSERT_TRUE(m_pty->Write(sim.Produce(untilMs)));
        m_sent = sim.Totals().frames;
        ASSERT_TRUE(RunUntil([&] { return FramesReceived() == m_sent; }))
            << "received " << FramesReceived() << " of " << m_sent << " frames";
    }

    void Send(const std::vector<std::uint8_t>& frame) {
        ASSERT_TRUE(m_pty->Write(frame));
        ++m_sent;
        ASSERT_TRUE(RunUntil([&] { return FramesReceived() == m_sent; }));
    }

    std::uint64_t FramesReceived() {
        const SensorTable& table = m_window->Acquisition().Table();
        std::uint64_t total = 0;
        for (std::size_t i = 0; i < table.Size(); ++i) total += table.At(i).frames;
        return total + m_purgedFrames;
    }

    std::vector<int> RowAddresses() const {
        std::vector<int> addresses;
        const QListWidget* list = m_window->Controls().list;
        for (int i = 0; i < list->count(); ++i)
            addresses.push_back(list->item(i)->data(Qt::UserRole).toInt());
        return addresses;
    }

    std::optional<std::uint8_t> Selected() const {
        return m_window->Acquisition().Applier().SelectedAddress();
    }

    void ClickRow(int row) {
        QListWidget* list = m_window->Controls().list;
        const QPoint centre = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    }

    QString Caption() const { return m_window->Controls().waveGroup->title(); }
    QString AddressReadout() const { return m_window->Controls().address->text(); }
    CWaveView& View() const { return *m_window->WaveView(); }

    ManualTickClock m_clock{kStart};
    QTemporaryDir m_dir;
    std::unique_ptr<PtyEndpoint> m_pty;
    std::unique_ptr<CSensorMonitorDlg> m_window;
    std::uint64_t m_sent = 0;
    std::uint64_t m_purgedFrames = 0;
};

// Four sensors, address 0 among them, each with its own rate.
SimulatorConfig FourSensors() {
    const std::vector<std::uint8_t> addresses{9, 0, 4, 23};
    SimulatorConfig config = MakeSimulatorConfig(addresses, 20, 25, 11);
    config.sensors[0].framesPerSecond = 20;
    config.sensors[1].framesPerSecond = 50;
    config.sensors[3].framesPerSecond = 10;
    return config;
}

// Records, per address, the order of first frames and the samples last sent.
struct SentLog {
    std::vector<int> firstHeard;
    std::map<int, std::vector<std::uint8_t>> lastSamples;

    void Attach(SensorSimulator& sim) {
        sim.SetObserver([this](const SimEvent& event) {
            if (event.kind != SimEventKind::kFrame) return;
            if (!lastSamples.contains(event.address)) firstHeard.push_back(event.address);
            lastSamples[event.address].assign(event.samples.begin(), event.samples.end());
        });
    }
};

TEST_F(EndToEndTest, SensorsAppearInOrderAndTheOperatorSwitchesBetweenThem) {
    SensorSimulator sim(FourSensors());
    SentLog log;
    log.Attach(sim);
    Play(sim, 1000);

    ASSERT_EQ(log.firstHeard.size(), 4u);
    EXPECT_EQ(RowAddresses(), log.firstHeard);
    const int first = log.firstHeard[0];
    ASSERT_EQ(Selected(), first);
    EXPECT_EQ(Caption(), QStringLiteral("采样波形[传感器_%1]").arg(first));
    EXPECT_EQ(AddressReadout(), QString::number(first));

    // The selected sensor's waveform runs live: the view's newest point is the
    // newest sample that sensor sent.
    Play(sim, 1500);
    ASSERT_GT(View().Count(), 0);
    EXPECT_EQ(View().Sample(View().Count() - 1), log.lastSamples[first].back());

    // A click switches the waveform, the caption and the read-outs.
    ClickRow(2);
    const int third = log.firstHeard[2];
    ASSERT_TRUE(RunUntil([&] { return Selected() == third; }));
    EXPECT_EQ(Caption(), QStringLiteral("采样波形[传感器_%1]").arg(third));
    EXPECT_EQ(AddressReadout(), QString::number(third));
    const SensorRecord* record =
        m_window->Acquisition().Table().FindSensor(static_cast<std::uint8_t>(third));
    ASSERT_NE(record, nullptr);
    const int history = static_cast<int>(record->history->Count());
    EXPECT_EQ(View().Count(), std::min(history, View().Capacity()));

    // So do the arrow keys, and the new sensor's samples now reach the view.
    QTest::keyClick(m_window->Controls().list, Qt::Key_Right);
    EXPECT_EQ(Selected(), log.firstHeard[3]);
    QTest::keyClick(m_window->Controls().list, Qt::Key_Left);
    QTest::keyClick(m_window->Controls().list, Qt::Key_Left);
    EXPECT_EQ(Selected(), log.firstHeard[1]);
    EXPECT_EQ(AddressReadout(), QString::number(log.firstHeard[1]));
    Play(sim, 2000);
    EXPECT_EQ(View().Sample(View().Count() - 1), log.lastSamples[log.firstHeard[1]].back());
}

TEST_F(EndToEndTest, PurgeDropsSensorsSilentOverThirtySecondsOnlyWhenTicked) {
    SensorSimulator sim(FourSensors());
    SentLog log;
    log.Attach(sim);
    // Every frame lands at one tick on the manual clock (opening the port
    // advanced it past kStart while waiting for the port to settle).
    const Tick heard = m_clock.NowTick();
    Play(sim, 500);
    const std::vector<int> rows = log.firstHeard;
    ASSERT_EQ(rows.size(), 4u);
    const int selected = rows[0];
    ASSERT_EQ(Selected(), selected);

    // The second sensor is heard once more a millisecond later.
    m_clock.Advance(1);
    Send(EncodeFrame(static_cast<std::uint8_t>(rows[1]), 5, 80, std::vector<std::uint8_t>{1}));

    // 30001 ms after the others, exactly 30000 ms after the second sensor.
    m_clock.Set(heard + 30001);
    m_window->OnTimer();
    EXPECT_EQ(RowAddresses(), rows) << "nothing is purged while the box is unticked";

    m_window->Controls().autoPurge->setChecked(true);
    for (std::size_t i = 0; i < 4; ++i)
        if (static_cast<int>(i) != 1) m_purgedFrames += sim.Stats()[i].frames;
    m_window->OnTimer();
    EXPECT_EQ(RowAddresses(), std::vector<int>{rows[1]});

    // The purged sensor stays on display and, heard again, comes back as a new
    // row that still feeds the view without being selected anew.
    EXPECT_EQ(Selected(), selected);
    EXPECT_EQ(Caption(), QStringLiteral("采样波形[传感器_%1][不在线]").arg(selected));
    const int before = View().Count();
    Send(EncodeFrame(static_cast<std::uint8_t>(selected), 5, 80,
                     std::vector<std::uint8_t>{10, 20, 30}));
    EXPECT_EQ(RowAddresses(), (std::vector<int>{rows[1], selected}));
    EXPECT_EQ(Selected(), selected);
    EXPECT_TRUE(m_window->Controls().list->selectedItems().isEmpty());
    EXPECT_EQ(View().Count(), before + 3);
    EXPECT_EQ(View().Sample(View().Count() - 1), 30);
    EXPECT_EQ(Caption(), QStringLiteral("采样波形[传感器_%1]").arg(selected));
}

}  // namespace
}  // namespace sphyra

// Simulated sensors fed into the real window: every sensor's rate in the list, the chosen
// one's large in the view, and "--" once they fall silent.
#include <QLineEdit>
#include <QListWidget>

#include <gtest/gtest.h>

#include "acquisition/tick_clock.h"
#include "tests/serial/event_wait.h"
#include "tools/sim/sensor_simulator.h"
#include "ui/list/sensor_list.h"
#include "ui/view/pulse_rate_readout.h"
#include "ui/view/wave_view.h"
#include "ui/window/sensor_monitor_dlg.h"

#include <QTemporaryDir>

namespace sphyra {
namespace {

TEST(PulseWindow, EverySensorsRateIsListedAndTheChosenOnesIsShownLarge) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ManualTickClock clock(0xFFFFC000u);  // wraps during the run
    CSensorMonitorDlg window(dir.filePath(QStringLiteral("sphyra.ini")).toStdString(), &clock);

    SimulatorConfig config = MakeSimulatorConfig(std::vector<std::uint8_t>{4, 9}, 10, 25.0, 3);
    config.sensors[0].bpm = 66;
    config.sensors[1].bpm = 104;
    SensorSimulator simulator(config);
    for (std::uint64_t ms = 20; ms <= 15'000; ms += 20) {
        const std::vector<std::uint8_t> bytes = simulator.Produce(ms);
        clock.Advance(20);
        window.Acquisition().Receive(bytes.data(), bytes.size());
        if (ms % 1000 == 0) window.OnTimer();
    }
    const QListWidget* list = window.Controls().list;
    ASSERT_EQ(list->count(), 2);
    const PulseRateReadout* readout = window.PulseReadout();
    ASSERT_NE(readout, nullptr);
    // Rates as the detector rounds them; the simulated rates are 66 and 104.
    const QString first = list->item(0)->text();
    const QString second = list->item(1)->text();
    EXPECT_TRUE(first.endsWith(QStringLiteral("] 66")) || first.endsWith(QStringLiteral("] 65")) ||
                first.endsWith(QStringLiteral("] 67")))
        << first.toStdString();
    EXPECT_TRUE(second.endsWith(QStringLiteral("] 104")) ||
                second.endsWith(QStringLiteral("] 103")) ||
                second.endsWith(QStringLiteral("] 105")))
        << second.toStdString();
    ASSERT_EQ(window.Acquisition().Applier().SelectedAddress(), 4);
    EXPECT_TRUE(first.endsWith(QStringLiteral("] ") + readout->RateText()));

    // Choosing the other sensor shows its rate at once.
    ASSERT_TRUE(window.Acquisition().Applier().SelectSensor(9));
    EXPECT_TRUE(second.endsWith(QStringLiteral("] ") + readout->RateText()));

    // Both fall silent: within 3 s the timer alone takes every rate away.
    clock.Advance(3000);
    window.OnTimer();
    EXPECT_EQ(readout->RateText(), QStringLiteral("--"));
    EXPECT_TRUE(list->item(0)->text().endsWith(QStringLiteral("] --")));
    EXPECT_TRUE(list->item(1)->text().endsWith(QStringLiteral("] --")));
}

// Minimised, the window reads in batches and leaves its rows alone; restored, it shows at once
// what a window fed frame by frame shows, rates included.
TEST(PulseWindow, ARestoredWindowShowsWhatItMissedWhileMinimised) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ManualTickClock clock(1);
    CSensorMonitorDlg shown(dir.filePath(QStringLiteral("a.ini")).toStdString(), &clock);
    CSensorMonitorDlg minimised(dir.filePath(QStringLiteral("b.ini")).toStdString(), &clock);
    // Both have been minimised once, which moves the view inside its frame.
    for (CSensorMonitorDlg* window : {&shown, &minimised}) {
        window->show();
        window->showMinimized();
        ASSERT_TRUE(test::RunUntil([&] { return window->isMinimized(); }));
    }
    shown.showNormal();
    ASSERT_TRUE(test::RunUntil([&] { return !shown.isMinimized(); }));

    SimulatorConfig config = MakeSimulatorConfig(std::vector<std::uint8_t>{4, 9}, 10, 25.0, 3);
    config.sensors[0].bpm = 66;
    config.sensors[1].bpm = 104;
    SensorSimulator simulator(config);
    std::vector<std::uint8_t> batch;
    int relabels = 0;
    for (std::uint64_t ms = 20; ms <= 15'000; ms += 20) {
        const std::vector<std::uint8_t> bytes = simulator.Produce(ms);
        clock.Advance(20);
        shown.Acquisition().Receive(bytes.data(), bytes.size());
        batch.insert(batch.end(), bytes.begin(), bytes.end());
        if (ms % CSensorMonitorDlg::kUnseenReadBatchMs == 0) {
            minimised.Acquisition().Receive(batch.data(), batch.size());
            batch.clear();
        }
        if (ms % 1000 == 0) {
            shown.OnTimer();
            minimised.OnTimer();
        }
        if (ms == 1000) relabels = minimised.Sensors().RelabelCount();
    }
    EXPECT_EQ(minimised.Sensors().RelabelCount(), relabels);

    minimised.showNormal();
    ASSERT_TRUE(test::RunUntil([&] { return !minimised.isMinimized(); }));
    const QListWidget* expected = shown.Controls().list;
    const QListWidget* list = minimised.Controls().list;
    ASSERT_EQ(list->count(), 2);
    for (int row = 0; row < 2; ++row)
        EXPECT_EQ(list->item(row)->text(), expected->item(row)->text()) << row;
    EXPECT_EQ(minimised.PulseReadout()->RateText(), shown.PulseReadout()->RateText());
    EXPECT_EQ(minimised.Controls().battery->text(), shown.Controls().battery->text());
    ASSERT_EQ(minimised.WaveView()->Count(), shown.WaveView()->Count());
    for (int i = 0; i < shown.WaveView()->Count(); ++i)
        ASSERT_EQ(minimised.WaveView()->Sample(i), shown.WaveView()->Sample(i)) << i;
}

}  // namespace
}  // namespace sphyra

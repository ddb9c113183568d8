// Simulated sensors fed into the real window: every sensor's rate in the list, the chosen
// one's large in the view, and "--" once they fall silent.
#include <QListWidget>

#include <gtest/gtest.h>

#include "acquisition/tick_clock.h"
#include "tools/sim/sensor_simulator.h"
#include "ui/view/pulse_rate_readout.h"
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

}  // namespace
}  // namespace sphyra

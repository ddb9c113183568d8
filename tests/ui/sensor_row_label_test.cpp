#include "ui/list/sensor_row_label.h"

#include <gtest/gtest.h>

#include <vector>

#include "tools/sim/pulse_waveform.h"

namespace sphyra {
namespace {

SensorRecord Heard(std::uint8_t address, int battery, Tick lastTick) {
    SensorRecord record;
    record.address = address;
    record.battery = battery;
    record.lastTick = lastTick;
    return record;
}

TEST(SensorRowLabel, FreshSensorShowsNameOverBattery) {
    const SensorRowText label = SensorRowLabel(Heard(12, 7, 5000), 5040);
    EXPECT_EQ(label.text, QStringLiteral("传感器_12\n[7%] --"));
    EXPECT_EQ(label.image, kSensorImageHeard);
    EXPECT_EQ(SensorRowLabel(Heard(0, 100, 1), 1).text, QStringLiteral("传感器_0\n[100%] --"));
    EXPECT_EQ(SensorRowLabel(Heard(255, 90, 1), 1).text, QStringLiteral("传感器_255\n[90%] --"));
}

TEST(SensorRowLabel, SilentForMoreThanTenSecondsIsGreyedOut) {
    const SensorRowText stale = SensorRowLabel(Heard(3, 80, 1000), 1000 + 10001);
    EXPECT_EQ(stale.text, QStringLiteral("传感器_3\n[--]"));
    EXPECT_EQ(stale.image, kSensorImageSilent);

    const SensorRowText boundary = SensorRowLabel(Heard(3, 80, 1000), 1000 + 10000);
    EXPECT_EQ(boundary.text, QStringLiteral("传感器_3\n[80%] --"));
    EXPECT_EQ(boundary.image, kSensorImageHeard);
}

TEST(SensorRowLabel, AgeIsMeasuredAcrossTheTickWrap) {
    const Tick lastTick = 0xFFFFF000u;
    // 4352 ms after lastTick, past the wrap: fresh, though `now` is numerically smaller.
    EXPECT_EQ(SensorRowLabel(Heard(1, 50, lastTick), 0x100u).image, kSensorImageHeard);
    // lastTick + 10000 would wrap; the age test must not call everything after it stale or fresh.
    EXPECT_EQ(SensorRowLabel(Heard(1, 50, lastTick), lastTick + 10000u).image, kSensorImageHeard);
    EXPECT_EQ(SensorRowLabel(Heard(1, 50, lastTick), lastTick + 10001u).image, kSensorImageSilent);
}

TEST(SensorRowLabel, NeverHeardIsNeverStale) {
    EXPECT_EQ(SensorRowLabel(Heard(9, 60, 0), 0x7FFFFFFFu).text,
              QStringLiteral("传感器_9\n[60%] --"));
}

// `seconds` of a steady pulse at 250 samples a second, or of flat zero samples.
void Feed(SensorRecord& record, double bpm, double seconds, bool flat = false) {
    const PulseWaveform wave(bpm);
    std::vector<std::uint16_t> samples;
    for (int i = 0; i < static_cast<int>(seconds * 250); ++i) {
        samples.push_back(flat ? 0 : PulseWaveform::ToSample(wave.ValueAt(i / 250.0), 5));
    }
    record.pulse->AddSamples(record.lastTick, samples.data(), samples.size());
}

TEST(SensorRowLabel, PulseRateFollowsTheBatteryOnlyWhileItCanBeTrusted) {
    SensorRecord record = Heard(4, 80, 1000);
    record.pulse->SetFixedSampleRate(250);
    EXPECT_EQ(SensorRowLabel(record, 1000).text, QStringLiteral("传感器_4\n[80%] --"));
    Feed(record, 75, 15);
    EXPECT_EQ(SensorRowLabel(record, 1000).text, QStringLiteral("传感器_4\n[80%] 75"));
    // Silent past the stale limit: no battery level and no rate either.
    EXPECT_EQ(SensorRowLabel(record, 1000 + 10001).text, QStringLiteral("传感器_4\n[--]"));
    Feed(record, 75, 4, true);
    EXPECT_EQ(SensorRowLabel(record, 1000).text, QStringLiteral("传感器_4\n[80%] --"));
}

}  // namespace
}  // namespace sphyra

// Every sensor's pulse is followed as its frames are applied, and a row is
// refreshed when, and only when, something its tile shows changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "acquisition/frame_applier.h"
#include "acquisition/sensor_pulse.h"
#include "tests/acquisition/recording_display.h"
#include "tools/sim/pulse_waveform.h"

namespace sphyra::test {
namespace {

constexpr int kSamplesPerFrame = 10;
constexpr std::uint32_t kFrameMs = 40;  // 250 samples a second

class FrameApplierPulseTest : public ::testing::Test {
protected:
    // One frame for each sensor, the one at `flat` reading 0, then time moves on by a frame.
    void Step(const std::map<std::uint8_t, double>& bpms, int flat = -1) {
        for (const auto& [address, bpm] : bpms) {
            const PulseWaveform wave(bpm);
            std::vector<std::uint8_t> samples;
            for (int i = 0; i < kSamplesPerFrame; ++i) {
                const double t = static_cast<double>(m_sample + static_cast<std::uint64_t>(i)) /
                                 (1000.0 * kSamplesPerFrame / kFrameMs);
                samples.push_back(flat == address ? 0
                                                  : PulseWaveform::ToSample(wave.ValueAt(t), 4));
            }
            const SensorRecord* record = m_table.FindSensor(address);
            const auto shownBefore =
                record != nullptr ? ShownPulseRate(*record) : std::optional<int>();
            const bool steadyFrames = record != nullptr && record->interval == kFrameMs;
            const std::size_t calls = m_display.Calls().size();
            m_applier.ApplyFrame(address, 4, 80, kSamplesPerFrame, samples.data());
            const bool refreshed = std::any_of(
                m_display.Calls().begin() + static_cast<std::ptrdiff_t>(calls),
                m_display.Calls().end(),
                [](const std::string& call) { return call.rfind("UpdateSensorRow", 0) == 0; });
            // Gain, battery and frame interval stay the same, so the pulse alone decides.
            if (steadyFrames) {
                const bool pulseChanged =
                    ShownPulseRate(*m_table.FindSensor(address)) != shownBefore;
                EXPECT_EQ(refreshed, pulseChanged)
                    << "sensor " << int{address} << " at " << m_clock.NowTick() << " ms";
                m_refreshes[address] += refreshed ? 1 : 0;
            }
        }
        m_sample += kSamplesPerFrame;
        m_clock.Advance(kFrameMs);
    }
    std::optional<int> Shown(std::uint8_t address) const {
        return ShownPulseRate(*m_table.FindSensor(address));
    }

    SensorTable m_table;
    ManualTickClock m_clock{0xFFFF0000u};  // the tick wraps on the way
    RecordingDisplay m_display;
    FrameApplier m_applier{m_table, m_clock, m_display};
    std::uint64_t m_sample = 0;
    std::map<std::uint8_t, int> m_refreshes;
};

TEST_F(FrameApplierPulseTest, EverySensorsRateIsFollowedAndItsRowRefreshedOnlyForAChange) {
    const std::map<std::uint8_t, double> bpms{{1, 72.0}, {2, 118.0}};
    for (int frame = 0; frame < 20'000 / static_cast<int>(kFrameMs); ++frame) Step(bpms);
    ASSERT_EQ(m_applier.SelectedAddress(), 1);  // sensor 2 is never drawn, yet followed
    EXPECT_NEAR(Shown(1).value_or(0), 72, 1);
    EXPECT_NEAR(Shown(2).value_or(0), 118, 1);
    EXPECT_GE(m_refreshes[2], 1);
    // A steady pulse settles: the rows are not refreshed frame after frame.
    EXPECT_LT(m_refreshes[2], 10);
    // Beats are marked for the displayed sensor only (72 bpm: 24 beats in 20 s, less the
    // detector's start), each shortly behind the latest sample.
    const std::vector<std::uint32_t>& marks = m_display.BeatMarks();
    EXPECT_GE(marks.size(), 15u);
    EXPECT_LE(marks.size(), 24u);
    for (std::uint32_t ago : marks) EXPECT_LT(ago, 250u);

    const int refreshes = m_refreshes[2];
    // Finger off sensor 2: its rate goes within 3 s, and that alone refreshes the row.
    for (int frame = 0; frame < 3'000 / static_cast<int>(kFrameMs); ++frame) Step(bpms, 2);
    EXPECT_EQ(m_refreshes[2], refreshes + 1);
    EXPECT_EQ(Shown(2), std::nullopt);
    EXPECT_NEAR(Shown(1).value_or(0), 72, 1);
}

TEST_F(FrameApplierPulseTest, ASilentSensorLosesItsRateAsTimePasses) {
    for (int frame = 0; frame < 15'000 / static_cast<int>(kFrameMs); ++frame) Step({{5, 64.0}});
    SensorRecord& record = *m_table.FindSensor(5);
    ASSERT_TRUE(Shown(5).has_value());
    EXPECT_FALSE(AdvanceSensorPulse(record, m_clock.NowTick()));
    EXPECT_TRUE(AdvanceSensorPulse(record, m_clock.NowTick() + 3000));
    EXPECT_EQ(Shown(5), std::nullopt);
    EXPECT_FALSE(AdvanceSensorPulse(record, m_clock.NowTick() + 3050));
}

std::uint16_t Flatten(std::uint16_t) {
    return 100;
}

// The analyzer sees the samples as stored: a filter that flattens them leaves no pulse.
TEST_F(FrameApplierPulseTest, TheFilteredSamplesAreTheOnesAnalysed) {
    m_applier.SetFilter(&Flatten);
    m_applier.SetSoftFilterEnabled(true);
    for (int frame = 0; frame < 15'000 / static_cast<int>(kFrameMs); ++frame) Step({{3, 80.0}});
    EXPECT_EQ(Shown(3), std::nullopt);
    EXPECT_EQ(m_table.FindSensor(3)->pulse->SamplesSeen(), m_sample);
}

}  // namespace
}  // namespace sphyra::test

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "acquisition/frame_applier.h"
#include "acquisition/sensor_acquisition.h"
#include "tests/acquisition/frame_bytes.h"
#include "tests/acquisition/recording_display.h"

namespace sphyra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Optional;

class FrameApplierTest : public ::testing::Test {
protected:
    void Apply(std::uint8_t address, std::uint8_t gain, std::uint8_t battery,
               const Bytes& samples) {
        m_applier.ApplyFrame(address, gain, battery, static_cast<std::uint8_t>(samples.size()),
                             samples.data());
    }
    std::vector<std::string> TakeCalls() {
        std::vector<std::string> calls = m_display.Calls();
        m_display.ClearCalls();
        return calls;
    }
    std::string History(std::uint8_t address) const {
        const SensorRecord* record = m_table.FindSensor(address);
        return record == nullptr ? "<none>" : RecordingDisplay::History(*record);
    }

    SensorTable m_table;
    ManualTickClock m_clock{1000};
    RecordingDisplay m_display;
    FrameApplier m_applier{m_table, m_clock, m_display};
};

TEST_F(FrameApplierTest, NothingIsSelectedAtFirst) {
    EXPECT_EQ(m_applier.SelectedAddress(), std::nullopt);
}

TEST_F(FrameApplierTest, FirstSensorIsRecordedAddedAndSelected) {
    Apply(5, 10, 90, {0x10, 0x20});

    const SensorRecord* record = m_table.FindSensor(5);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->gain, 10);
    EXPECT_EQ(record->battery, 90);
    EXPECT_EQ(record->interval, 0u);
    EXPECT_EQ(record->lastTick, 1000u);
    EXPECT_THAT(m_applier.SelectedAddress(), Optional(5));
    // The samples reach the view once, through the history the selection copies.
    EXPECT_THAT(TakeCalls(), ElementsAre("AddSensorRow 5 gain 10 battery 90 interval 0",
                                         "SelectSensor 5 history 16 32"));
}

TEST_F(FrameApplierTest, SecondFrameSetsTheIntervalAndRefreshesTheRow) {
    Apply(5, 10, 90, {0x10});
    TakeCalls();
    m_clock.Advance(40);
    Apply(5, 10, 90, {0x11, 0x12});

    EXPECT_EQ(m_table.FindSensor(5)->lastTick, 1040u);
    EXPECT_EQ(m_table.FindSensor(5)->frames, 2u);
    EXPECT_EQ(m_table.FindSensor(5)->samples, 3u);
    EXPECT_THAT(TakeCalls(), ElementsAre("AddSample 17", "AddSample 18",
                                         "UpdateSensorRow 5 gain 10 battery 90 interval 40"));
    EXPECT_EQ(History(5), " 16 17 18");
}

TEST_F(FrameApplierTest, UnchangedFrameDoesNotRefreshTheRow) {
    Apply(5, 10, 90, {});
    m_clock.Advance(40);
    Apply(5, 10, 90, {});
    TakeCalls();
    m_clock.Advance(40);
    Apply(5, 10, 90, {0x01});
    EXPECT_THAT(TakeCalls(), ElementsAre("AddSample 1"));
}

TEST_F(FrameApplierTest, EachKindOfChangeRefreshesTheRowOnce) {
    Apply(5, 10, 90, {});
    m_clock.Advance(40);
    Apply(5, 10, 90, {});
    TakeCalls();

    m_clock.Advance(40);
    Apply(5, 11, 90, {});
    EXPECT_THAT(TakeCalls(), ElementsAre("UpdateSensorRow 5 gain 11 battery 90 interval 40"));
    m_clock.Advance(40);
    Apply(5, 11, 89, {});
    EXPECT_THAT(TakeCalls(), ElementsAre("UpdateSensorRow 5 gain 11 battery 89 interval 40"));
    m_clock.Advance(41);
    Apply(5, 11, 89, {});
    EXPECT_THAT(TakeCalls(), ElementsAre("UpdateSensorRow 5 gain 11 battery 89 interval 41"));
    m_clock.Advance(50);
    Apply(5, 12, 88, {});
    EXPECT_THAT(TakeCalls(), ElementsAre("UpdateSensorRow 5 gain 12 battery 88 interval 50"));
}

TEST_F(FrameApplierTest, UnselectedSensorIsStoredAndListedButNeverDrawn) {
    Apply(5, 10, 90, {});
    TakeCalls();

    Apply(7, 1, 50, {0x01, 0x02});
    m_clock.Advance(20);
    Apply(7, 1, 49, {0x03});

    EXPECT_THAT(m_applier.SelectedAddress(), Optional(5));
    EXPECT_THAT(TakeCalls(), ElementsAre("AddSensorRow 7 gain 1 battery 50 interval 0",
                                         "UpdateSensorRow 7 gain 1 battery 49 interval 20"));
    EXPECT_EQ(History(7), " 1 2 3");
}

TEST_F(FrameApplierTest, SelectingASensorShowsItsHistoryThenItsLiveSamples) {
    Apply(5, 10, 90, {});
    Apply(7, 1, 50, {0x01, 0x02});
    TakeCalls();

    EXPECT_FALSE(m_applier.SelectSensor(99));
    EXPECT_THAT(m_applier.SelectedAddress(), Optional(5));
    EXPECT_TRUE(m_applier.SelectSensor(7));
    Apply(7, 1, 50, {0x03});
    Apply(5, 10, 90, {0x09});

    EXPECT_THAT(m_applier.SelectedAddress(), Optional(7));
    EXPECT_THAT(TakeCalls(), ElementsAre("SelectSensor 7 history 1 2", "AddSample 3"));
}

// Address 0 is an ordinary sensor: being on display must not read as "nothing selected".
TEST_F(FrameApplierTest, SensorZeroIsSelectedWhenNothingElseIs) {
    Apply(0, 2, 70, {0x05});
    EXPECT_THAT(m_applier.SelectedAddress(), Optional(0));
    EXPECT_THAT(TakeCalls(), ElementsAre("AddSensorRow 0 gain 2 battery 70 interval 0",
                                         "SelectSensor 0 history 5"));
}

TEST_F(FrameApplierTest, WhileSensorZeroIsShownNewSensorsAreNotSelected) {
    Apply(0, 2, 70, {});
    TakeCalls();

    Apply(9, 3, 60, {0x44});
    Apply(0, 2, 70, {0x06});

    EXPECT_THAT(m_applier.SelectedAddress(), Optional(0));
    EXPECT_THAT(TakeCalls(),
                ElementsAre("AddSensorRow 9 gain 3 battery 60 interval 0", "AddSample 6"));
}

RecordingDisplay* g_filterLog = nullptr;

// Logs into the display's call list so the test sees filter and view calls interleaved.
std::uint16_t DoubleAndOne(std::uint16_t sample) {
    g_filterLog->Note("Filter " + std::to_string(sample));
    return static_cast<std::uint16_t>(sample * 2 + 1);
}

TEST_F(FrameApplierTest, FilteredSamplesAreStoredAndDrawnOneByOne) {
    g_filterLog = &m_display;
    m_applier.SetFilter(&DoubleAndOne);
    m_applier.SetSoftFilterEnabled(true);
    Apply(5, 10, 90, {});
    TakeCalls();

    Apply(5, 10, 90, {0x10, 0xFF});
    Apply(6, 10, 90, {0x03});

    EXPECT_THAT(TakeCalls(),
                ElementsAre("Filter 16", "AddSample 33", "Filter 255", "AddSample 511", "Filter 3",
                            "AddSensorRow 6 gain 10 battery 90 interval 0"));
    EXPECT_EQ(History(5), " 33 511");
    EXPECT_EQ(History(6), " 7");
    g_filterLog = nullptr;
}

TEST_F(FrameApplierTest, EnabledFilterWithoutAFunctionStoresRawSamples) {
    m_applier.SetSoftFilterEnabled(true);
    Apply(5, 10, 90, {0x10, 0xFF});
    EXPECT_EQ(History(5), " 16 255");
}

TEST_F(FrameApplierTest, FilterIsNotUsedUntilEnabled) {
    g_filterLog = &m_display;
    m_applier.SetFilter(&DoubleAndOne);
    Apply(5, 10, 90, {0x10});
    EXPECT_EQ(History(5), " 16");
    g_filterLog = nullptr;
}

TEST_F(FrameApplierTest, IntervalIsRightAcrossTheTickWrap) {
    m_clock.Set(0xFFFFFFF0u);
    Apply(5, 10, 90, {});
    m_clock.Set(0x00000018u);
    Apply(5, 10, 90, {});
    EXPECT_EQ(m_table.FindSensor(5)->interval, 40u);
    EXPECT_EQ(m_table.FindSensor(5)->lastTick, 0x18u);
}

TEST_F(FrameApplierTest, FrameHeardExactlyAtTickZeroStillStartsTheInterval) {
    m_clock.Set(0);
    Apply(5, 10, 90, {});
    m_clock.Set(40);
    Apply(5, 10, 90, {});
    EXPECT_EQ(m_table.FindSensor(5)->interval, 40u);
}

TEST(SensorAcquisitionTest, ReceivedBytesReachTheDisplay) {
    ManualTickClock clock{500};
    RecordingDisplay display;
    SensorAcquisition acquisition{clock, display};
    const Bytes frame = MakeFrame(5, 10, 90, {0x10, 0x20});

    acquisition.Receive(frame.data(), 4);
    EXPECT_THAT(display.Calls(), IsEmpty());
    acquisition.Receive(frame.data() + 4, frame.size() - 4);

    EXPECT_THAT(display.Calls(), ElementsAre("AddSensorRow 5 gain 10 battery 90 interval 0",
                                             "SelectSensor 5 history 16 32"));
    EXPECT_EQ(acquisition.Table().Size(), 1u);
    EXPECT_TRUE(acquisition.Ring().Empty());
}

}  // namespace
}  // namespace sphyra::test

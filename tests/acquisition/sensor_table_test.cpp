#include <gtest/gtest.h>

#include "acquisition/sensor_table.h"

namespace sphyra {
namespace {

TEST(SensorTableTest, EmptyTableFindsNothing) {
    SensorTable table;
    EXPECT_EQ(table.FindSensor(0), nullptr);
    EXPECT_EQ(table.FindSensor(5), nullptr);
}

TEST(SensorTableTest, NewRecordStartsBlank) {
    SensorTable table;
    const SensorRecord& record = table.AddSensor(7);
    EXPECT_EQ(record.address, 7);
    EXPECT_EQ(record.gain, 0);
    EXPECT_EQ(record.battery, 0);
    EXPECT_EQ(record.interval, 0u);
    EXPECT_EQ(record.lastTick, 0u);
    ASSERT_NE(record.history, nullptr);
    EXPECT_EQ(record.history->Count(), 0u);
}

TEST(SensorTableTest, AddingAnAddressTwiceKeepsOneRecord) {
    SensorTable table;
    SensorRecord& first = table.AddSensor(9);
    first.gain = 3;
    SensorRecord& second = table.AddSensor(9);
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second.gain, 3);
    EXPECT_EQ(table.Size(), 1u);
    EXPECT_EQ(table.FindSensor(9), &first);
}

TEST(SensorTableTest, RemovingTheFirstOfThreeKeepsTheOthersInOrder) {
    SensorTable table;
    table.AddSensor(0);
    table.AddSensor(20);
    table.AddSensor(30).history->PushSample(77);

    table.RemoveSensor(0);

    ASSERT_EQ(table.Size(), 2u);
    EXPECT_EQ(table.At(0).address, 20);
    EXPECT_EQ(table.At(1).address, 30);
    EXPECT_EQ(table.FindSensor(0), nullptr);
    ASSERT_NE(table.FindSensor(20), nullptr);
    const SensorRecord* moved = table.FindSensor(30);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->history->Count(), 1u) << "the history moves with its record";
}

TEST(SensorTableTest, RemovingAnUnknownAddressIsIgnored) {
    SensorTable table;
    table.AddSensor(1);
    table.RemoveSensor(2);
    EXPECT_EQ(table.Size(), 1u);
}

}  // namespace
}  // namespace sphyra

#include "ui/list/sensor_list_keys.h"

#include <Qt>

#include <gtest/gtest.h>

namespace sphyra {
namespace {

TEST(SensorListKeyTarget, EmptyListHasNoTarget) {
    for (const int key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Home, Qt::Key_End, Qt::Key_A})
        EXPECT_EQ(SensorListKeyTarget(key, -1, 0), -1) << key;
}

TEST(SensorListKeyTarget, WithNothingSelectedEveryKeyLandsOnTheFirstRow) {
    for (const int key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up, Qt::Key_Home,
                          Qt::Key_PageUp, Qt::Key_Space})
        EXPECT_EQ(SensorListKeyTarget(key, -1, 4), 0) << key;
    // End and Page Down jump to the last row even from no selection.
    EXPECT_EQ(SensorListKeyTarget(Qt::Key_End, -1, 4), 3);
    EXPECT_EQ(SensorListKeyTarget(Qt::Key_PageDown, -1, 4), 3);
}

TEST(SensorListKeyTarget, StopsAtTheEnds) {
    EXPECT_EQ(SensorListKeyTarget(Qt::Key_Left, 0, 4), 0);
    EXPECT_EQ(SensorListKeyTarget(Qt::Key_Up, 0, 4), 0);
    EXPECT_EQ(SensorListKeyTarget(Qt::Key_Right, 3, 4), 3);
    EXPECT_EQ(SensorListKeyTarget(Qt::Key_Down, 3, 4), 3);
    EXPECT_EQ(SensorListKeyTarget(Qt::Key_Right, 0, 1), 0);
    // A selection left beyond the end by a shrinking list is pulled back in.
    EXPECT_EQ(SensorListKeyTarget(Qt::Key_A, 7, 4), 3);
}

}  // namespace
}  // namespace sphyra

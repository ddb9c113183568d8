#include "serial/comm_settings.h"

#include <gtest/gtest.h>

namespace sphyra {
namespace {

TEST(CommSettingsTest, ParsesTheControlsSettingsText) {
    const auto plain = CommSettings::Parse("115200,n,8,1");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->baud, 115200);
    EXPECT_EQ(plain->parity, CommSettings::Parity::None);
    EXPECT_EQ(plain->dataBits, 8);
    EXPECT_EQ(plain->stopBits, CommSettings::StopBits::One);
    EXPECT_EQ(plain->ToString(), "115200,n,8,1");

    const auto other = CommSettings::Parse(" 1201 , E , 7 , 1.5 ");
    ASSERT_TRUE(other);
    EXPECT_EQ(other->ToString(), "1201,e,7,1.5");
    EXPECT_EQ(CommSettings::Parse("300,s,5,2")->ToString(), "300,s,5,2");
}

TEST(CommSettingsTest, RejectsMalformedText) {
    for (const char* bad : {"", "115200", "115200,n,8", "115200,n,8,1,1", "0,n,8,1", "-9600,n,8,1",
                            "abc,n,8,1", "9600x,n,8,1", "9600,x,8,1", "9600,nn,8,1", "9600,n,9,1",
                            "9600,n,4,1", "9600,n,8,3", "99999999999,n,8,1"}) {
        EXPECT_FALSE(CommSettings::Parse(bad)) << bad;
    }
}

}  // namespace
}  // namespace sphyra

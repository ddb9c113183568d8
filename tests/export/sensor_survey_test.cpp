#include "export/sensor_survey.h"

#include <gtest/gtest.h>

#include <array>

namespace sphyra {
namespace {

// A port opened on a link that was already sending hands over its buffered second at once;
// the rate the export lays samples out at must still be the sensor's, and a pause must not
// lower it either.
TEST(SensorSurveyTest, RateIgnoresTheBurstAtOpeningAndThePauses) {
    SensorSurvey survey(false);
    std::array<std::uint8_t, 20> samples{};
    FeedFrame frame;
    frame.address = 9;
    frame.samples = samples;
    auto send = [&](std::uint64_t us) {
        frame.timeUs = us;
        survey.OnFrame(frame);
    };
    for (int i = 0; i < 25; ++i) send(1000);  // one second of 25 frames/s, buffered
    std::uint64_t us = 1000;
    for (int i = 0; i < 400; ++i) send(us += 40'000);  // 500 samples/s
    us += 5'000'000;                                   // a pause, then its own buffered burst
    for (int i = 0; i < 25; ++i) send(us);
    for (int i = 0; i < 400; ++i) send(us += 40'000);

    ASSERT_EQ(survey.Sensors().size(), 1u);
    EXPECT_NEAR(survey.Sensors()[0].MeasuredRate(), 500.0, 0.5);
}

}  // namespace
}  // namespace sphyra

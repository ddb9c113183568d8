#include "ui/view/pulse_rate_readout.h"

#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

#include "ui/view/beat_marks.h"
#include "ui/view/wave_view.h"

namespace sphyra {
namespace {

int WhitePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == qRgb(255, 255, 255);
    return count;
}

TEST(PulseRateReadout, SitsTopRightOfTheViewClearOfTheValueAndDrawsTheRateOrDashes) {
    CWaveView view;
    view.resize(700, 300);
    auto* readout = new PulseRateReadout(&view);
    view.SetSamples(std::array<std::uint16_t, 3>{100, 120, 140}.data(), 3);
    view.show();
    const QRect box = readout->geometry();
    EXPECT_EQ(box.right(), 700 - 1 - PulseRateReadout::kRightMargin);
    EXPECT_EQ(box.top(), PulseRateReadout::kTopMargin);
    view.resize(500, 300);  // it follows the corner
    EXPECT_EQ(readout->geometry().right(), 500 - 1 - PulseRateReadout::kRightMargin);
    EXPECT_EQ(readout->size(), box.size());

    const QImage dashes = view.grab(readout->geometry()).toImage();
    readout->SetRate(72);
    const QImage rate = view.grab(readout->geometry()).toImage();
    readout->SetRate(188);
    EXPECT_EQ(readout->size(), box.size());  // the widest rate fits the same box
    EXPECT_EQ(readout->RateText(), QStringLiteral("188"));
    readout->SetRate(std::nullopt);
    EXPECT_EQ(readout->RateText(), QStringLiteral("--"));

    // The number is large: many more lit pixels than the dashes, which still show.
    EXPECT_GT(WhitePixels(dashes), 20);
    EXPECT_GT(WhitePixels(rate), 2 * WhitePixels(dashes));
    // The latest-value read-out keeps its place and is not covered.
    view.grab();  // paints, so the view records where the value went
    EXPECT_FALSE(view.ValueRect().intersects(readout->geometry()));
}

TEST(BeatMarks, ATickSitsAboveTheMarkedSampleUntilTheSweepStartsOver) {
    CWaveView view;
    view.resize(400, 300);
    view.show();
    for (int i = 0; i < 100; ++i) view.AddSample(static_cast<std::uint16_t>(i == 60 ? 200 : 50));
    view.MarkBeat(39);   // sample 60, the peak
    view.MarkBeat(100);  // before the sweep began: nothing to mark
    ASSERT_EQ(view.Beats().Count(), 1);
    EXPECT_TRUE(view.Beats().IsMarked(60));

    std::array<std::uint16_t, 100> samples{};
    for (int i = 0; i < 100; ++i) samples[static_cast<std::size_t>(i)] = view.Sample(i);
    const WaveGeometry geometry(1.0F, 1.0F, view.width(), view.height());
    const QRect tick = BeatMarks::RectAt(geometry, samples.data(), 100, 60);
    EXPECT_LT(tick.bottom(), geometry.TraceY(200));
    const QImage image = view.grab().toImage();
    EXPECT_EQ(image.pixel(tick.center()), BeatMarks::kColor.rgb());

    for (int i = 0; i < view.Capacity(); ++i) view.AddSample(50);
    EXPECT_EQ(view.Beats().Count(), 0);
}

}  // namespace
}  // namespace sphyra

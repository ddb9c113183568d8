#include "ui/list/sensor_image_strip.h"

#include <QColor>

#include <gtest/gtest.h>

namespace sphyra {
namespace {

int Alpha(const QPixmap& pixmap, int x, int y) {
    return pixmap.toImage().pixelColor(x, y).alpha();
}

TEST(SensorImageStrip, WhiteIsKeyedOutAndColoursStay) {
    QImage strip(2 * kSensorImageWidth + 10, kSensorImageHeight, QImage::Format_RGB32);
    strip.fill(Qt::white);
    strip.setPixelColor(3, 4, QColor(200, 10, 10));
    strip.setPixelColor(kSensorImageWidth + 5, 6, QColor(254, 255, 255));  // almost white

    const std::vector<QPixmap> images = CutSensorImageStrip(strip);
    ASSERT_EQ(images.size(), 2u);  // the 10-pixel remainder is not a picture
    EXPECT_EQ(images[0].size(), QSize(kSensorImageWidth, kSensorImageHeight));
    EXPECT_EQ(Alpha(images[0], 0, 0), 0);
    EXPECT_EQ(Alpha(images[0], 3, 4), 255);
    EXPECT_EQ(images[0].toImage().pixelColor(3, 4).red(), 200);
    EXPECT_EQ(Alpha(images[1], 5, 6), 255);
    EXPECT_EQ(Alpha(images[1], 6, 6), 0);
}

TEST(SensorImageStrip, TooShortStripGivesNothing) {
    QImage strip(3 * kSensorImageWidth, kSensorImageHeight - 1, QImage::Format_RGB32);
    strip.fill(Qt::red);
    EXPECT_TRUE(CutSensorImageStrip(strip).empty());
}

TEST(SensorImageStrip, BuiltInStripHoldsThreeDistinctPictures) {
    const std::vector<QPixmap> images = LoadSensorImageStrip();
    ASSERT_EQ(images.size(), 3u);
    for (const QPixmap& image : images) {
        EXPECT_EQ(image.size(), QSize(kSensorImageWidth, kSensorImageHeight));
        // Transparent around the picture, solid somewhere inside it.
        EXPECT_EQ(Alpha(image, 0, 0), 0);
        EXPECT_EQ(Alpha(image, 71, 0), 0);
        EXPECT_EQ(Alpha(image, 20, 8), 255);
    }
    EXPECT_NE(images[0].toImage(), images[1].toImage());
    EXPECT_NE(images[1].toImage(), images[2].toImage());
}

}  // namespace
}  // namespace sphyra

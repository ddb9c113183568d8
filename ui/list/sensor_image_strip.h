#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <vector>

namespace sphyra {

inline constexpr int kSensorImageWidth = 72;
inline constexpr int kSensorImageHeight = 32;

// Where the list's strip lives among the compiled-in resources.
inline const QString kSensorStripResource = QStringLiteral(":/sensor_list/sensor_strip.png");

// Cuts a strip of pictures laid side by side into 72 x 32 pieces, making pure
// white transparent. A partial piece at the right end is dropped.
std::vector<QPixmap> CutSensorImageStrip(const QImage& strip);

// The list's own strip, cut; empty if the resource is missing.
std::vector<QPixmap> LoadSensorImageStrip();

}  // namespace sphyra

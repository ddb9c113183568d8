#pragma once

#include <QImage>

namespace sphyra {

// `image` at a byte per pixel with its own colour table when it is opaque and has at most 256
// colours, which holds it exactly; otherwise `image` as it is. Text drawn with antialiasing over
// a plain box mixes a few colours in a few dozen shades, so cached read-outs fit this.
QImage PalettisedImage(QImage image);

}  // namespace sphyra

#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace sphyra {

// Reads one of the program's own PNG pictures with Qt's built-in PNG reader. Reading by file
// name alone makes Qt load every image format plugin (and libjpeg with them) to ask whether it
// wants the file, which costs start-up time for nothing.
QImage ReadPng(const QString& path);
// The size of such a picture, read from its header alone; invalid when it cannot be read.
QSize PngSize(const QString& path);

// Puts a PNG that a style loads by file name (QPixmap(path)) into the pixmap cache under the key
// QPixmap::load looks for, read with the built-in reader, so that the style's first paint does
// not load every image plugin. When the key does not match (another Qt), nothing changes but the
// time saved.
void CachePngForStyle(const QString& path);

}  // namespace sphyra

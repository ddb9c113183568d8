#pragma once

#include <QImage>
#include <QString>

namespace sphyra {

// Reads one of the program's own PNG pictures with Qt's built-in PNG reader. Reading by file
// name alone makes Qt load every image format plugin (and libjpeg with them) to ask whether it
// wants the file, which costs start-up time for nothing.
QImage ReadPng(const QString& path);

}  // namespace sphyra

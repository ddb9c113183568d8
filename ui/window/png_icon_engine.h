#pragma once

#include <QIconEngine>
#include <QString>

namespace sphyra {

// An icon of one PNG picture that is decoded whenever a pixmap is asked for and never kept.
// A window icon is asked for its pixmaps once, when it is set, while the window and its handle
// each hold the icon for as long as the window lives: held as an ordinary icon, the picture's
// decoded pixels would stay in memory all that time for nothing. Every answer is the one an
// ordinary icon made from the decoded picture gives.
class PngIconEngine final : public QIconEngine {
public:
    explicit PngIconEngine(QString path);

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QString key() const override;
    QIconEngine* clone() const override;

private:
    // The picture, decoded afresh; and as an ordinary icon.
    QPixmap Picture() const;
    QIcon Decoded() const;

    QString m_path;
};

}  // namespace sphyra

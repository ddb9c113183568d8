#pragma once

#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QString>

class QGroupBox;

namespace sphyra {

// A group box draws only its frame and title, yet Qt paints it again beneath any widget over
// it that changes and is not opaque. The read-out boxes are such widgets: the interval alone
// changes about 19 times a second at full load, and each time Fusion loads its frame image
// and lays out the title. This paints the box once into a pixmap, over what its parent paints
// beneath it, exactly as a repaint would, and answers every paint with a copy of the part
// exposed. Anything that can change how the box looks paints it afresh: that paint is Qt's
// own, and the copy is taken after it, outside any paint. A box over a sibling it does not
// own is left to Qt, as the copy would hide that sibling.
class GroupBoxPaintCache final : public QObject {
public:
    // Watches `box` and lives as long as it.
    explicit GroupBoxPaintCache(QGroupBox* box);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // How many times the box was really painted.
    int Renders() const { return m_renders; }

private:
    struct Look {
        QRect geometry;
        QString title;
        bool enabled = false;
        bool checked = false;
        qint64 palette = 0;
        qint64 parentPalette = 0;
        QString font;
        const void* style = nullptr;
        qreal ratio = 0;
        bool overSibling = false;
        bool operator==(const Look&) const = default;
    };
    Look CurrentLook() const;
    void Render();

    QGroupBox* m_box;
    QPixmap m_image;
    Look m_look;
    bool m_rendering = false;
    bool m_renderPosted = false;
    int m_renders = 0;
};

}  // namespace sphyra

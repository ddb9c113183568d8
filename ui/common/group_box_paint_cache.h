#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QString>
#include <vector>

#include "ui/common/queued_once.h"
#include "ui/common/widget_look.h"

class QGroupBox;
class QWidget;

namespace sphyra {

// A group box draws only its frame and title, yet Qt paints it again beneath any widget over
// it that changes and is not opaque. The read-out boxes are such widgets: the interval alone
// changes about 19 times a second at full load, and each time Fusion loads its frame image
// and lays out the title. This keeps what the box looks like under each of the widgets given,
// painted once over what its parent paints there, exactly as a repaint would, and answers a
// paint that lies under one of them with a copy. Only those parts are kept, so the copies cost
// little memory. Anything that can change how the box looks paints it afresh: that paint is
// Qt's own, and the copies are taken after it, outside any paint. A box over a sibling it does
// not own is left to Qt, as the copies would hide that sibling.
class GroupBoxPaintCache final : public QObject {
public:
    // Watches `box` and lives as long as it. `over`: siblings of the box that lie on it.
    GroupBoxPaintCache(QGroupBox* box, const QList<QWidget*>& over);

    // Gives each group box of `parent` (its own children) that some of `over` lie on a cache
    // for them.
    static void InstallUnder(QWidget* parent, const QList<QWidget*>& over);

    bool eventFilter(QObject* watched, QEvent* event) override;

    // How many times the parts were really painted.
    int Renders() const { return m_renders; }

private:
    struct Look {
        QRect geometry;
        std::vector<QRect> parts;  // in the box's coordinates
        QString title;
        WidgetLook widget;
        bool checked = false;
        qint64 parentPalette = 0;
        bool overSibling = false;
        bool operator==(const Look&) const = default;
    };
    Look CurrentLook() const;
    void Render();

    QGroupBox* m_box;
    QList<QPointer<QWidget>> m_over;
    std::vector<QPixmap> m_images;  // one per part
    Look m_look;
    bool m_rendering = false;
    QueuedOnce m_render;
    int m_renders = 0;
};

}  // namespace sphyra

#include "ui/common/group_box_paint_cache.h"

#include <QGroupBox>
#include <QPaintEvent>
#include <QPainter>

namespace sphyra {

GroupBoxPaintCache::GroupBoxPaintCache(QGroupBox* box) : QObject(box), m_box(box) {
    box->installEventFilter(this);
}

GroupBoxPaintCache::Look GroupBoxPaintCache::CurrentLook() const {
    const QWidget* parent = m_box->parentWidget();
    Look look;
    look.geometry = m_box->geometry();
    look.title = m_box->title();
    look.enabled = m_box->isEnabled();
    look.checked = m_box->isCheckable() && m_box->isChecked();
    look.palette = m_box->palette().cacheKey();
    look.font = m_box->font().key();
    look.style = m_box->style();
    look.ratio = m_box->devicePixelRatioF();
    if (parent == nullptr) return look;
    look.parentPalette = parent->palette().cacheKey();
    // Siblings are stacked in the order of the parent's children: those before the box lie under
    // it.
    for (const QObject* child : parent->children()) {
        if (child == m_box) break;
        const auto* sibling = qobject_cast<const QWidget*>(child);
        if (sibling != nullptr && sibling->isVisible() && !sibling->isWindow() &&
            sibling->geometry().intersects(look.geometry)) {
            look.overSibling = true;
            break;
        }
    }
    return look;
}

void GroupBoxPaintCache::Render() {
    m_look = CurrentLook();
    if (m_look.overSibling || m_look.geometry.isEmpty()) {
        m_image = QPixmap();
        return;
    }
    m_image = QPixmap(m_look.geometry.size() * m_look.ratio);
    m_image.setDevicePixelRatio(m_look.ratio);
    // What the parent paints there first: its background and its own drawing, not its children.
    if (QWidget* parent = m_box->parentWidget()) {
        parent->render(&m_image, QPoint(), QRegion(m_look.geometry), QWidget::DrawWindowBackground);
    } else {
        m_image.fill(m_box->palette().color(m_box->backgroundRole()));
    }
    m_rendering = true;
    m_box->render(&m_image, QPoint(), QRegion(), QWidget::RenderFlags());
    m_rendering = false;
    ++m_renders;
}

bool GroupBoxPaintCache::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_box || event->type() != QEvent::Paint || m_rendering) return false;
    // A box painting its own background has none of its parent's beneath; leave it to Qt.
    if (m_box->autoFillBackground() || m_box->testAttribute(Qt::WA_StyledBackground)) return false;
    const Look look = CurrentLook();
    if (look.overSibling) return false;
    if (m_image.isNull() || !(look == m_look)) {
        if (!m_renderPosted) {
            m_renderPosted = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_renderPosted = false;
                    Render();
                },
                Qt::QueuedConnection);
        }
        return false;
    }
    const QRect exposed = static_cast<QPaintEvent*>(event)->rect();
    const QRectF source(QPointF(exposed.topLeft()) * look.ratio,
                        QSizeF(exposed.size()) * look.ratio);
    QPainter painter(m_box);
    painter.drawPixmap(QRectF(exposed), m_image, source);
    return true;
}

}  // namespace sphyra

#include "ui/common/group_box_paint_cache.h"

#include <QGroupBox>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace sphyra {

GroupBoxPaintCache::GroupBoxPaintCache(QGroupBox* box, const QList<QWidget*>& over)
    : QObject(box), m_box(box) {
    for (QWidget* widget : over) m_over.append(widget);
    box->installEventFilter(this);
}

void GroupBoxPaintCache::InstallUnder(QWidget* parent, const QList<QWidget*>& over) {
    for (QGroupBox* box : parent->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
        const bool covered = std::any_of(over.begin(), over.end(), [&](const QWidget* widget) {
            return widget != nullptr && box->geometry().contains(widget->geometry());
        });
        if (covered) new GroupBoxPaintCache(box, over);
    }
}

GroupBoxPaintCache::Look GroupBoxPaintCache::CurrentLook() const {
    const QWidget* parent = m_box->parentWidget();
    Look look;
    look.geometry = m_box->geometry();
    for (const QPointer<QWidget>& widget : m_over) {
        if (widget == nullptr || widget->parentWidget() != parent) continue;
        const QRect part = widget->geometry().translated(-look.geometry.topLeft());
        if (m_box->rect().contains(part)) look.parts.push_back(part);
    }
    look.title = m_box->title();
    look.widget = WidgetLook::Of(*m_box);
    look.checked = m_box->isCheckable() && m_box->isChecked();
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
    m_images.clear();
    QWidget* parent = m_box->parentWidget();
    if (m_look.overSibling || parent == nullptr) return;
    for (const QRect& part : m_look.parts) {
        QPixmap image(part.size() * m_look.widget.ratio);
        image.setDevicePixelRatio(m_look.widget.ratio);
        // What the parent paints there first: its background and its own drawing, not its children.
        parent->render(&image, QPoint(), QRegion(part.translated(m_look.geometry.topLeft())),
                       QWidget::DrawWindowBackground);
        m_rendering = true;
        m_box->render(&image, QPoint(), QRegion(part), QWidget::RenderFlags());
        m_rendering = false;
        m_images.push_back(std::move(image));
    }
    ++m_renders;
}

bool GroupBoxPaintCache::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_box || event->type() != QEvent::Paint || m_rendering) return false;
    // A box painting its own background has none of its parent's beneath; leave it to Qt.
    if (m_box->autoFillBackground() || m_box->testAttribute(Qt::WA_StyledBackground)) return false;
    const QRect exposed = static_cast<QPaintEvent*>(event)->rect();
    const Look look = CurrentLook();
    if (look.overSibling) return false;
    if (m_images.size() != look.parts.size() || !(look == m_look)) {
        m_render.Ask(this, [this] { Render(); });
        return false;
    }
    for (std::size_t i = 0; i < look.parts.size(); ++i) {
        const QRect& part = look.parts[i];
        if (!part.contains(exposed)) continue;
        const QRect inPart = exposed.translated(-part.topLeft());
        const QRectF source(QPointF(inPart.topLeft()) * look.widget.ratio,
                            QSizeF(inPart.size()) * look.widget.ratio);
        QPainter painter(m_box);
        painter.drawPixmap(QRectF(exposed), m_images[i], source);
        return true;
    }
    return false;  // beyond the parts kept: Qt paints it
}

}  // namespace sphyra

#include "ui/common/readout_edit_paint_cache.h"

#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>

#include "ui/common/palettised_image.h"

namespace sphyra {

ReadoutEditPaintCache::ReadoutEditPaintCache(QLineEdit* edit) : QObject(edit), m_edit(edit) {
    edit->installEventFilter(this);
    connect(edit, &QLineEdit::textChanged, this, &ReadoutEditPaintCache::Sync);
    connect(edit, &QLineEdit::selectionChanged, this, &ReadoutEditPaintCache::Sync);
}

ReadoutEditPaintCache::Look ReadoutEditPaintCache::CurrentLook() const {
    Look look;
    look.size = m_edit->size();
    look.inWindow = m_edit->mapTo(m_edit->window(), QPoint(0, 0));
    look.widget = WidgetLook::Of(*m_edit);
    return look;
}

bool ReadoutEditPaintCache::Plain() const {
    return m_edit->isReadOnly() && m_edit->isVisible() && !m_edit->hasFocus() &&
           !m_edit->hasSelectedText();
}

void ReadoutEditPaintCache::FollowLook() {
    const Look look = CurrentLook();
    if (look == m_look) return;
    m_images.clear();
    m_look = look;
}

void ReadoutEditPaintCache::Sync() {
    FollowLook();
    const bool plain = Plain();
    const bool kept = plain && m_images.contains(m_edit->text());
    if (m_edit->testAttribute(Qt::WA_OpaquePaintEvent) != kept)
        m_edit->setAttribute(Qt::WA_OpaquePaintEvent, kept);
    // Once full it keeps what it has: a text beyond is painted by Qt, as without the cache.
    if (!plain || kept || m_images.size() >= kMaxTexts) return;
    m_render.Ask(this, [this] { Render(); });
}

void ReadoutEditPaintCache::Render() {
    FollowLook();
    if (!Plain() || m_images.size() >= kMaxTexts || m_images.contains(m_edit->text())) return;
    QImage image(m_look.size * m_look.widget.ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(m_look.widget.ratio);
    image.fill(Qt::transparent);
    // Everything the window paints at the edit's place, the edit included, as a repaint would.
    m_edit->setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_rendering = true;
    m_edit->window()->render(&image, QPoint(), QRegion(QRect(m_look.inWindow, m_look.size)),
                             QWidget::DrawWindowBackground | QWidget::DrawChildren);
    m_rendering = false;
    m_images.insert(m_edit->text(), PalettisedImage(std::move(image)));
    Sync();
}

bool ReadoutEditPaintCache::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_edit || m_rendering) return false;
    switch (event->type()) {
        case QEvent::Paint:
            break;
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Show:
        case QEvent::Resize:
        case QEvent::Move:
        case QEvent::EnabledChange:
        case QEvent::ActivationChange:
        case QEvent::ReadOnlyChange:
        case QEvent::PaletteChange:
        case QEvent::FontChange:
        case QEvent::StyleChange:
        case QEvent::ScreenChangeInternal:
            // The new state is set before the event comes; Qt paints what it looks like.
            Sync();
            return false;
        default:
            return false;
    }
    const auto it = m_images.constFind(m_edit->text());
    if (Plain() && CurrentLook() == m_look && it != m_images.constEnd()) {
        const QRect exposed = static_cast<QPaintEvent*>(event)->rect();
        const QRectF source(QPointF(exposed.topLeft()) * m_look.widget.ratio,
                            QSizeF(exposed.size()) * m_look.widget.ratio);
        QPainter painter(m_edit);
        painter.drawImage(QRectF(exposed), *it, source);
        return true;
    }
    if (!m_edit->testAttribute(Qt::WA_OpaquePaintEvent)) return false;
    // Marked opaque for a copy it cannot give after all: nothing beneath was painted, so have the
    // whole place painted again the usual way.
    m_edit->setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_edit->update();
    return true;
}

}  // namespace sphyra

#pragma once

#include <QFont>
#include <QWidget>

namespace sphyra {

// What decides how a style draws a widget, apart from its own content: a copy of its pixels
// stays good only while none of it changes.
struct WidgetLook {
    bool enabled = false;
    bool active = false;  // styles may draw an inactive window's colours
    qint64 palette = 0;
    QFont font;  // compared as a font, not by its key: building the key is a string per check
    const void* style = nullptr;
    qreal ratio = 0;
    bool operator==(const WidgetLook&) const = default;

    static WidgetLook Of(const QWidget& widget) {
        return {widget.isEnabled(), widget.isActiveWindow(), widget.palette().cacheKey(),
                widget.font(),      widget.style(),          widget.devicePixelRatioF()};
    }
};

}  // namespace sphyra

#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>

#include "ui/common/queued_once.h"
#include "ui/common/widget_look.h"

class QLineEdit;

namespace sphyra {

// The read-outs are read-only edits whose text changes many times a second at full load, yet
// takes only a few values: the interval jitters between a handful of milliseconds. Each change
// had Qt lay the text out three times, draw Fusion's rounded frame and paint what lies beneath.
// This keeps, for each text an edit has shown, what its place in the window looks like, taken
// from the window itself outside any paint. While the edit is plain (no focus, no selection)
// and shows a text it holds, the edit is opaque and its paints are answered with the copy, so
// nothing beneath it is painted either. Any other state, a new text or a new look is left to
// Qt, and the copy is taken after that paint.
class ReadoutEditPaintCache final : public QObject {
public:
    // Watches `edit` and lives as long as it.
    explicit ReadoutEditPaintCache(QLineEdit* edit);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Texts kept; once full, later texts are painted by Qt.
    static constexpr int kMaxTexts = 16;

    struct Look {
        QSize size;
        QPoint inWindow;
        WidgetLook widget;
        bool operator==(const Look&) const = default;
    };
    Look CurrentLook() const;
    // Forgets the copies when the edit no longer looks as when they were taken.
    void FollowLook();
    bool Plain() const;
    // Makes the edit opaque exactly when its next paint can be a copy; asks for a copy of what
    // Qt is about to paint when it can be kept.
    void Sync();
    void Render();

    QLineEdit* m_edit;
    QHash<QString, QImage> m_images;
    Look m_look;
    bool m_rendering = false;
    QueuedOnce m_render;
};

}  // namespace sphyra

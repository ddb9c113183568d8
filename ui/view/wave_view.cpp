#include "ui/view/wave_view.h"

#include <QColor>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>
#include <QString>

#include <algorithm>
#include <limits>

#include "ui/common/cjk_font.h"

namespace sphyra {

namespace {

const QColor kBackgroundColor(0, 0, 192);
const QColor kGridColor(0, 0, 255);
const QColor kTraceColor(255, 255, 255);
const QColor kReadoutColor(255, 255, 255);
const QColor kSilentColor(112, 112, 176);

// The read-out box, from (8, 4) up to but excluding (68, 24).
const QRect kValueRect(8, 4, 60, 20);

constexpr int kReadoutPixelSize = 16;

// The trace's value scale puts the grid 128 units apart.
constexpr int kGridSpacing = 128;

QFont MakeReadoutFont() {
    QFont font;
    const QString family = CjkFont::Family();
    if (!family.isEmpty()) font.setFamilies({family});
    font.setPixelSize(kReadoutPixelSize);
    font.setWeight(QFont::Bold);
    // Crisp glyphs keep the read-out in the two colours of the view.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

}  // namespace

CWaveView::CWaveView(QWidget* parent)
    : QWidget(parent),
      m_readoutFont(MakeReadoutFont()),
      m_readout(m_readoutFont, kReadoutColor, kBackgroundColor, kValueRect.size()) {
    // paintEvent covers every exposed pixel itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
    ClearSamples();
}

void CWaveView::AddSample(std::uint16_t value) {
    const WaveGeometry::Area dirty = Store(value);
    update(kValueRect);
    UpdateArea(dirty);
}

void CWaveView::AddSamples(std::span<const std::uint8_t> values) {
    if (values.empty()) return;
    WaveGeometry::Area dirty{{std::numeric_limits<int>::max(), std::numeric_limits<int>::min()},
                             {std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}};
    for (const std::uint8_t value : values) {
        const WaveGeometry::Area area = Store(value);
        dirty.columns.first = std::min(dirty.columns.first, area.columns.first);
        dirty.columns.last = std::max(dirty.columns.last, area.columns.last);
        if (area.rows.Empty()) continue;
        dirty.rows.first = std::min(dirty.rows.first, area.rows.first);
        dirty.rows.last = std::max(dirty.rows.last, area.rows.last);
    }
    // Nobody sees a minimised window; what it missed is painted whole once it is back.
    if (window()->isMinimized()) {
        m_missedRepaint = true;
        return;
    }
    if (m_missedRepaint) {
        m_missedRepaint = false;
        update();
        return;
    }
    // The strips of consecutive samples adjoin, so the span from the first to the last
    // covers their union; after a restart of the sweep Store asked for what the restart cleared.
    update(kValueRect);
    UpdateArea(dirty);
}

void CWaveView::UpdateArea(const WaveGeometry::Area& area) {
    // Only the new segments' rows change; a full-height strip would paint, and send to the X
    // server, many times the pixels for the same picture.
    if (area.columns.Empty() || area.rows.Empty()) return;
    update(QRect(area.columns.first, area.rows.first, area.columns.last - area.columns.first + 1,
                 area.rows.last - area.rows.first + 1));
}

void CWaveView::UpdateClearedSweep() {
    // Clearing the sweep changes only its trace and the beat ticks above it: the background and
    // the grid stay, and most of the view's height is either. A tick above the top edge is drawn
    // against it, so the band always reaches one tick's height down from there.
    const WaveGeometry::Span trace =
        Geometry().TraceRows(m_samples.data(), std::min(m_count, kMaxSamples));
    if (trace.Empty() || height() <= 0) return;
    const int first =
        std::clamp(trace.first - BeatMarks::kGap - BeatMarks::kHeight, 0, height() - 1);
    const int last =
        std::clamp(std::max(trace.last, first + BeatMarks::kHeight - 1), 0, height() - 1);
    update(QRect(0, first, width(), last - first + 1));
}

WaveGeometry::Area CWaveView::Store(std::uint16_t value) {
    if (m_count >= m_capacity) {
        UpdateClearedSweep();
        m_count = 0;
        m_beats.Clear();
    }
    // A view narrower than one sample still holds the value it was given.
    m_samples[static_cast<std::size_t>(m_count)] = value;
    ++m_count;
    const WaveGeometry geometry = Geometry();
    return {geometry.DirtyColumns(m_count), geometry.DirtyRows(m_count, m_samples.data())};
}

void CWaveView::SetSamples(const std::uint16_t* samples, int n) {
    m_count = 0;
    m_beats.Clear();
    if (samples != nullptr) {
        const int kept = std::min({n, m_capacity, kMaxSamples});
        for (int i = 0; i < kept; ++i) {
            m_samples[static_cast<std::size_t>(i)] = samples[i];
        }
        m_count = std::max(0, kept);
    }
    update();
}

void CWaveView::ClearSamples() {
    m_count = 0;
    m_beats.Clear();
    m_samples.fill(0);
}

void CWaveView::SetSilent(bool silent) {
    if (silent == m_silent) return;
    m_silent = silent;
    update();
}

void CWaveView::MarkBeat(int samplesAgo) {
    const int index = m_count - 1 - samplesAgo;
    if (samplesAgo < 0 || index < 0) return;
    m_beats.Mark(index);
    update(BeatMarks::RectAt(Geometry(), m_samples.data(), std::min(m_count, m_capacity), index));
}

std::uint16_t CWaveView::Sample(int index) const {
    if (index < 0 || index >= kMaxSamples) {
        return 0;
    }
    return m_samples[static_cast<std::size_t>(index)];
}

void CWaveView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_capacity = WaveGeometry::CapacityForWidth(width(), m_xScale);
}

WaveGeometry CWaveView::Geometry() const {
    return WaveGeometry(m_xScale, m_yScale, width(), height());
}

void CWaveView::paintEvent(QPaintEvent* event) {
    m_valueRect = kValueRect;
    m_segmentsInLastPaint = 0;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);

    // Work rectangle by rectangle, so a narrow strip costs a handful of segments even when
    // the region also holds the read-out box further left.
    const QRegion& region = event->region();
    const WaveGeometry geometry = Geometry();
    const int y0 = geometry.Baseline();
    std::vector<WaveGeometry::Area> areas;
    for (const QRect& rect : region) {
        painter.fillRect(rect, kBackgroundColor);
        for (int y : {y0 - 2 * kGridSpacing, y0 - kGridSpacing, y0}) {
            if (y >= rect.top() && y <= rect.bottom()) {
                painter.fillRect(QRect(rect.left(), y, rect.width(), 1), kGridColor);
            }
        }
        areas.push_back({{rect.left(), rect.right()}, {rect.top(), rect.bottom()}});
    }

    PaintTrace(painter, geometry, areas);
    m_beats.Paint(painter, geometry, m_samples.data(), std::min(m_count, m_capacity), region);

    if (m_count > 0 && region.intersects(m_valueRect)) {
        PaintReadout(painter);
    }
}

void CWaveView::PaintTrace(QPainter& painter, const WaveGeometry& geometry,
                           const std::vector<WaveGeometry::Area>& areas) {
    const int points = std::min(m_count, m_capacity);
    const QColor color = m_silent ? kSilentColor : kTraceColor;
    auto fillRun = [&painter, &color](const WaveGeometry::Run& run) {
        painter.fillRect(QRect(run.x, run.y, run.width, run.height), color);
    };
    for (int i : geometry.SegmentsToPaint(areas, m_samples.data(), points)) {
        const WaveGeometry::Segment s = geometry.SegmentAt(i, m_samples.data());
        WaveGeometry::ForEachLineRun(s.x1, s.y1, s.x2, s.y2, fillRun);
        ++m_segmentsInLastPaint;
    }
}

void CWaveView::PaintReadout(QPainter& painter) {
    const std::uint16_t latest = m_samples[static_cast<std::size_t>(m_count - 1)];
    if (m_silent) {
        // A silent sensor's value is drawn once and stays: not worth a cache of its own.
        painter.save();
        painter.setFont(m_readoutFont);
        painter.setPen(kSilentColor);
        painter.setBackgroundMode(Qt::OpaqueMode);
        painter.setBackground(kBackgroundColor);
        painter.drawText(m_valueRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         QString::number(latest));
        painter.restore();
        return;
    }
    const ReadoutCache::Entry& readout = m_readout.Image(latest, devicePixelRatioF());
    painter.drawImage(QPointF(m_valueRect.topLeft()) + readout.offset, readout.image);
}

}  // namespace sphyra

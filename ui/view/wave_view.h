#pragma once

#include <QFont>
#include <QRect>
#include <QWidget>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "ui/view/beat_marks.h"
#include "ui/view/readout_cache.h"
#include "ui/view/wave_geometry.h"

class QPainter;

namespace sphyra {

// Draws the selected sensor's samples as a sweeping trace: new samples extend the trace
// to the right and, once it has crossed the view, the view clears and starts again at
// the left. Holds its own copy of at most 1024 samples, one per horizontal pixel.
class CWaveView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxSamples = WaveGeometry::kMaxSamples;

    explicit CWaveView(QWidget* parent = nullptr);

    // Appends one sample and repaints only the read-out and the few pixels around the new
    // segment, or the whole view when the sweep starts over.
    void AddSample(std::uint16_t value);
    // The same as AddSample for each value in turn, with one repaint request for them all.
    // While the window is minimised nothing is requested; the next batch after it is restored
    // repaints the whole view.
    void AddSamples(std::span<const std::uint8_t> values);

    // Replaces the contents with the first samples of `samples`; when there are more
    // than fit, the oldest ones are kept.
    void SetSamples(const std::uint16_t* samples, int n);

    // Empties the view without repainting it.
    void ClearSamples();

    // A silent sensor's last waveform is drawn faded, so it cannot pass for a live one.
    void SetSilent(bool silent);
    bool IsSilent() const { return m_silent; }

    // Marks a beat at the sample `samplesAgo` before the latest, when it is on the current
    // sweep, and repaints only the mark.
    void MarkBeat(int samplesAgo);
    const BeatMarks& Beats() const { return m_beats; }

    int Count() const { return m_count; }
    int Capacity() const { return m_capacity; }
    std::uint16_t Sample(int index) const;
    // Where the latest value was printed by the most recent paint; empty before it.
    QRect ValueRect() const { return m_valueRect; }
    // Trace segments drawn by the most recent paint, to show a partial repaint stays cheap.
    int SegmentsInLastPaint() const { return m_segmentsInLastPaint; }
    const QFont& ReadoutFont() const { return m_readoutFont; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    WaveGeometry Geometry() const;
    void PaintTrace(QPainter& painter, const WaveGeometry& geometry,
                    const std::vector<WaveGeometry::Area>& areas);
    void PaintReadout(QPainter& painter);
    // Stores one value, restarting the sweep when the view is full; returns the columns and
    // rows the value dirtied.
    WaveGeometry::Area Store(std::uint16_t value);
    void UpdateArea(const WaveGeometry::Area& area);
    // Asks for what a restart of the sweep clears to be repainted.
    void UpdateClearedSweep();

    float m_xScale = 1.0F;
    float m_yScale = 1.0F;
    int m_count = 0;
    int m_capacity = kMaxSamples;
    std::array<std::uint16_t, kMaxSamples> m_samples{};
    QRect m_valueRect;
    BeatMarks m_beats;

    QFont m_readoutFont;
    ReadoutCache m_readout;
    int m_segmentsInLastPaint = 0;
    bool m_silent = false;
    bool m_missedRepaint = false;
};

}  // namespace sphyra

#pragma once

#include <QFont>
#include <QString>
#include <QWidget>
#include <optional>

namespace sphyra {

// The chosen sensor's pulse rate, large, in the top right corner of the waveform view, the way
// bedside monitors show it: "心率" small above the number, "--" when there is no rate to trust.
// A child of the view that keeps itself in the corner; the view itself is left alone.
class PulseRateReadout : public QWidget {
    Q_OBJECT
public:
    // Margins from the view's top and right edges.
    static constexpr int kTopMargin = 4;
    static constexpr int kRightMargin = 8;

    explicit PulseRateReadout(QWidget* view);

    // Repaints only when the rate shown changes.
    void SetRate(std::optional<int> bpm);
    std::optional<int> Rate() const { return m_rate; }
    // What the number reads: the rate, or "--".
    QString RateText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PlaceInCorner();

    std::optional<int> m_rate;
    QFont m_captionFont;
    QFont m_rateFont;
};

}  // namespace sphyra

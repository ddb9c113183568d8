#include "ui/view/pulse_rate_readout.h"

#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include "ui/common/cjk_font.h"

namespace sphyra {

namespace {

QString Caption() {
    return QCoreApplication::translate("sphyra::PulseRateReadout", "心率");
}

}  // namespace
namespace {

// The waveform view's colours, so the box reads as part of the view.
const QColor kBackgroundColor(0, 0, 192);
const QColor kTextColor(255, 255, 255);

constexpr int kCaptionPixelSize = 14;
constexpr int kRatePixelSize = 40;
constexpr int kPadding = 4;

QFont MakeFont(int pixelSize) {
    QFont font;
    const QString family = CjkFont::Family();
    if (!family.isEmpty()) font.setFamilies({family});
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Bold);
    // Crisp glyphs, like the view's latest-value read-out.
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

}  // namespace

PulseRateReadout::PulseRateReadout(QWidget* view)
    : QWidget(view),
      m_captionFont(MakeFont(kCaptionPixelSize)),
      m_rateFont(MakeFont(kRatePixelSize)) {
    setObjectName(QStringLiteral("pulseRateReadout"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    const QFontMetrics caption(m_captionFont);
    const QFontMetrics rate(m_rateFont);
    // Room for the widest rate there can be, so the box never changes size.
    const int width = std::max(caption.horizontalAdvance(Caption()),
                               rate.horizontalAdvance(QStringLiteral("888")));
    resize(width + 2 * kPadding, caption.height() + rate.height() + kPadding);
    if (view != nullptr) {
        view->installEventFilter(this);
        PlaceInCorner();
    }
    show();
}

void PulseRateReadout::SetRate(std::optional<int> bpm) {
    if (bpm == m_rate) return;
    m_rate = bpm;
    update();
}

QString PulseRateReadout::RateText() const {
    return m_rate ? QString::number(*m_rate) : QStringLiteral("--");
}

void PulseRateReadout::PlaceInCorner() {
    const QWidget* view = parentWidget();
    move(std::max(0, view->width() - width() - kRightMargin), kTopMargin);
}

bool PulseRateReadout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) PlaceInCorner();
    return QWidget::eventFilter(watched, event);
}

void PulseRateReadout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackgroundColor);
    painter.setPen(kTextColor);
    const QFontMetrics caption(m_captionFont);
    painter.setFont(m_captionFont);
    painter.drawText(QRect(0, 0, width() - kPadding, caption.height()),
                     Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, Caption());
    painter.setFont(m_rateFont);
    painter.drawText(QRect(0, caption.height(), width() - kPadding, height() - caption.height()),
                     Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine, RateText());
}

}  // namespace sphyra

#include "ui/view/wave_view.h"

#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QRegion>
#include <QScreen>
#include <QTest>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "tests/serial/event_wait.h"
#include "ui/view/readout_cache.h"

namespace sphyra {
namespace {

using test::RunUntil;

const QRgb kBackground = qRgb(0, 0, 192);
const QRgb kGrid = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);
const QRect kValueRect(8, 4, 60, 20);

// Records the region of every paint the view receives.
class PaintRecorder : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            painted += static_cast<QPaintEvent*>(event)->region();
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
    QRegion painted;
    int paints = 0;
};

std::unique_ptr<CWaveView> ShowView(int width, int height) {
    auto view = std::make_unique<CWaveView>();
    view->resize(width, height);
    view->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    EXPECT_TRUE(RunUntil([&] { return view->width() == width && view->height() == height; }));
    return view;
}

QImage Grab(CWaveView& view) {
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage OnScreen(CWaveView& view) {
    QScreen* screen = view.screen();
    return screen->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

int CountWhite(const QImage& image, const QRect& area) {
    int white = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            white += image.pixel(x, y) == kWhite ? 1 : 0;
        }
    }
    return white;
}

int CountWhiteOutsideValueRect(const QImage& image) {
    return CountWhite(image, image.rect()) - CountWhite(image, kValueRect);
}

TEST(WaveViewTest, EmptyViewShowsBackgroundAndThreeGridLinesOnly) {
    auto view = ShowView(1100, 300);
    EXPECT_EQ(view->Count(), 0);
    EXPECT_EQ(view->Capacity(), 1024);
    const QImage image = Grab(*view);
    const int y0 = 300 - 8;
    for (int y = 0; y < image.height(); ++y) {
        const bool grid = y == y0 || y == y0 - 128 || y == y0 - 256;
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(image.pixel(x, y), grid ? kGrid : kBackground) << x << "," << y;
        }
    }
    EXPECT_EQ(view->ValueRect(), kValueRect);
}

TEST(WaveViewTest, ValuesLandOnTheirGridLines) {
    auto view = ShowView(200, 400);
    const int y0 = 400 - 8;
    for (int v : {0, 0, 0, 128, 128, 128, 256, 256, 256, 300, 300}) {
        view->AddSample(static_cast<std::uint16_t>(v));
    }
    const QImage image = Grab(*view);
    for (int x = 0; x <= 2; ++x) {
        EXPECT_EQ(image.pixel(x, y0), kWhite) << x;
    }
    // The rise from 0 to 128 between columns 2 and 3 switches column halfway up.
    EXPECT_EQ(image.pixel(2, y0 - 64), kWhite);
    EXPECT_EQ(image.pixel(3, y0 - 65), kWhite);
    EXPECT_EQ(image.pixel(4, y0 - 128), kWhite);
    EXPECT_EQ(image.pixel(4, y0 - 127), kBackground);
    EXPECT_EQ(image.pixel(4, y0 - 129), kBackground);
    EXPECT_EQ(image.pixel(4, y0), kGrid);
    EXPECT_EQ(image.pixel(7, y0 - 256), kWhite);
    EXPECT_EQ(image.pixel(9, y0 - 300), kWhite);
    // The last point ends the last segment, which leaves its end pixel out.
    EXPECT_EQ(image.pixel(10, y0 - 300), kBackground);
}

TEST(WaveViewTest, SampleBeyondCapacityRestartsTheSweepAtTheLeft) {
    auto view = ShowView(1100, 300);
    const int y0 = 300 - 8;
    for (int i = 0; i < 1024; ++i) {
        view->AddSample(100);
    }
    EXPECT_EQ(Grab(*view).pixel(1022, y0 - 100), kWhite);

    PaintRecorder recorder;
    view->installEventFilter(&recorder);
    view->AddSample(200);
    ASSERT_TRUE(RunUntil([&] { return recorder.paints > 0; }));
    QCoreApplication::processEvents();
    view->removeEventFilter(&recorder);
    // The old trace and the band above it for beat ticks, not the whole view; the screen must
    // still show what a full paint draws.
    EXPECT_EQ(recorder.painted, QRegion(kValueRect) + QRegion(0, y0 - 100 - 12, 1100, 13));
    EXPECT_EQ(OnScreen(*view), Grab(*view));

    EXPECT_EQ(view->Count(), 1);
    EXPECT_EQ(view->Sample(0), 200);
    QImage image = Grab(*view);
    EXPECT_EQ(CountWhiteOutsideValueRect(image), 0);
    EXPECT_GT(CountWhite(image, kValueRect), 0);

    view->AddSample(200);
    image = Grab(*view);
    EXPECT_EQ(image.pixel(0, y0 - 200), kWhite);
    EXPECT_EQ(image.pixel(1022, y0 - 100), kBackground);
}

TEST(WaveViewTest, RestartClearsABeatTickPushedDownToTheTopEdge) {
    // Values above the view's height put the trace above its top edge and the tick against it.
    auto view = ShowView(320, 300);
    for (int i = 0; i < view->Capacity(); ++i) view->AddSample(400);
    view->MarkBeat(10);
    ASSERT_TRUE(
        RunUntil([&] { return OnScreen(*view).pixel(view->Capacity() - 10, 0) != kBackground; }));
    view->AddSample(400);
    QCoreApplication::processEvents();
    EXPECT_EQ(OnScreen(*view), Grab(*view));
}

TEST(WaveViewTest, SetSamplesKeepsTheOldestThatFit) {
    auto view = ShowView(900, 300);
    ASSERT_EQ(view->Capacity(), 900);
    std::vector<std::uint16_t> history(2047);
    for (std::size_t i = 0; i < history.size(); ++i) {
        history[i] = i < 900 ? 40 : 220;
    }
    view->AddSample(7);
    view->SetSamples(history.data(), static_cast<int>(history.size()));
    EXPECT_EQ(view->Count(), 900);
    EXPECT_EQ(view->Sample(0), 40);
    EXPECT_EQ(view->Sample(899), 40);

    const QImage image = Grab(*view);
    const int y0 = 300 - 8;
    for (int x = 0; x < 899; ++x) {
        ASSERT_EQ(image.pixel(x, y0 - 40), kWhite) << x;
    }
    EXPECT_EQ(CountWhite(image, QRect(0, y0 - 220, 900, 1)), 0);
    EXPECT_EQ(view->SegmentsInLastPaint(), 899);

    view->SetSamples(history.data(), 0);
    EXPECT_EQ(view->Count(), 0);
    view->SetSamples(nullptr, 5);
    EXPECT_EQ(view->Count(), 0);
}

TEST(WaveViewTest, ShrinkingBelowTheCountRestartsOnTheNextSample) {
    auto view = ShowView(1100, 300);
    for (int i = 0; i < 600; ++i) {
        view->AddSample(static_cast<std::uint16_t>(i % 200));
    }
    view->resize(400, 300);
    ASSERT_TRUE(RunUntil([&] { return view->Capacity() == 400; }));
    EXPECT_EQ(view->Count(), 600);
    // Only what fits is drawn; the read-out still shows the latest value.
    const QImage image = Grab(*view);
    EXPECT_EQ(view->SegmentsInLastPaint(), 399);
    EXPECT_GT(CountWhite(image, kValueRect), 0);

    view->AddSample(50);
    EXPECT_EQ(view->Count(), 1);
    EXPECT_EQ(view->Sample(0), 50);
}

TEST(WaveViewTest, ReadoutStaysInsideItsBox) {
    auto view = ShowView(300, 300);
    const int y0 = 300 - 8;
    for (int i = 0; i < 100; ++i) {
        view->AddSample(0);
    }
    view->AddSample(65535);  // the widest value, far above the view
    const QImage image = Grab(*view);
    EXPECT_GT(CountWhite(image, kValueRect), 20);
    // Apart from the read-out, white only on the baseline and in the final rise.
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == kWhite && !kValueRect.contains(x, y)) {
                ASSERT_TRUE(y == y0 || x == 99) << x << "," << y;
            }
        }
    }
    EXPECT_EQ(image.pixel(99, 0), kWhite);
}

TEST(WaveViewTest, NewSampleRepaintsOnlyTheReadoutAndANarrowStrip) {
    auto view = ShowView(1100, 300);
    std::vector<std::uint16_t> history(500);
    for (std::size_t i = 0; i < history.size(); ++i) {
        history[i] = static_cast<std::uint16_t>(i % 250);
    }
    view->SetSamples(history.data(), static_cast<int>(history.size()));
    ASSERT_TRUE(RunUntil([&] { return view->SegmentsInLastPaint() == 499; }));

    PaintRecorder recorder;
    view->installEventFilter(&recorder);
    view->AddSample(100);
    ASSERT_TRUE(RunUntil([&] { return recorder.paints > 0; }));
    QCoreApplication::processEvents();
    view->removeEventFilter(&recorder);

    // Count 501: the new segment runs from column 499 to 500, and from row 292 - 249 down to
    // row 292 - 100; nothing else in those columns changes.
    const QRect strip(499, 43, 4, 150);
    const QRegion allowed = QRegion(kValueRect) + QRegion(strip);
    EXPECT_TRUE((recorder.painted - allowed).isEmpty()) << recorder.painted.boundingRect().height();
    EXPECT_TRUE(recorder.painted.contains(strip));
    EXPECT_GE(view->SegmentsInLastPaint(), 1);
    EXPECT_LE(view->SegmentsInLastPaint(), 6);
}

TEST(WaveViewTest, NarrowStripPaintDrawsAHandfulOfSegments) {
    auto view = ShowView(1100, 300);
    std::vector<std::uint16_t> history(1024, 60);
    view->SetSamples(history.data(), 1024);
    view->repaint();
    EXPECT_EQ(view->SegmentsInLastPaint(), 1023);
    view->repaint(QRect(500, 0, 5, 300));
    EXPECT_EQ(view->SegmentsInLastPaint(), 6);
}

TEST(WaveViewTest, IncrementalRepaintsAddUpToAFullPaint) {
    auto view = ShowView(320, 300);
    for (int i = 0; i < 300; ++i) {
        // A pulse-like shape with steep edges, fed one sample per event-loop turn.
        const int phase = i % 60;
        const int value = phase < 5 ? 30 + phase * 45 : std::max(30, 255 - (phase - 5) * 6);
        view->AddSample(static_cast<std::uint16_t>(value));
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    QScreen* screen = view->screen();
    ASSERT_NE(screen, nullptr);
    const QImage onScreen =
        screen->grabWindow(view->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(onScreen.size(), view->size());
    EXPECT_EQ(onScreen, Grab(*view));
}

TEST(WaveViewTest, ClearSamplesEmptiesWithoutRepainting) {
    auto view = ShowView(400, 300);
    std::vector<std::uint16_t> history(50, 90);
    view->SetSamples(history.data(), 50);
    ASSERT_TRUE(RunUntil([&] { return view->SegmentsInLastPaint() == 49; }));

    PaintRecorder recorder;
    view->installEventFilter(&recorder);
    view->ClearSamples();
    QCoreApplication::processEvents();
    view->removeEventFilter(&recorder);
    EXPECT_EQ(recorder.paints, 0);
    EXPECT_EQ(view->Count(), 0);
    for (int i = 0; i < CWaveView::kMaxSamples; ++i) {
        ASSERT_EQ(view->Sample(i), 0);
    }
}

TEST(WaveViewTest, FrameBatchesRepaintOnceEachAndLeaveWhatAFullPaintShows) {
    auto batched = ShowView(320, 300);
    auto single = ShowView(320, 300);
    std::vector<std::uint8_t> frame(80);
    PaintRecorder recorder;
    batched->installEventFilter(&recorder);
    // Five frames of 80 samples cross the 320-sample view once; after each, what reached the
    // screen must be what a full paint draws.
    for (int f = 0; f < 5; ++f) {
        for (std::size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<std::uint8_t>((f * 80 + int(i)) % 60 < 5 ? 250 : 40 + f * 9);
        for (const std::uint8_t value : frame) single->AddSample(value);
        const int paintsBefore = recorder.paints;
        batched->AddSamples(frame);
        ASSERT_TRUE(RunUntil([&] { return recorder.paints > paintsBefore; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(recorder.paints, paintsBefore + 1);
        EXPECT_EQ(OnScreen(*batched), Grab(*batched)) << "after frame " << f;
    }
    batched->removeEventFilter(&recorder);
    ASSERT_EQ(batched->Count(), single->Count());
    for (int i = 0; i < CWaveView::kMaxSamples; ++i)
        ASSERT_EQ(batched->Sample(i), single->Sample(i));
}

TEST(WaveViewTest, ReadoutIsTheTextDrawnInPlace) {
    auto view = ShowView(300, 300);
    // 7 is drawn twice, the second time from what the first left behind.
    for (const int value : {7, 255, 65535, 7}) {
        SCOPED_TRACE(value);
        view->AddSample(static_cast<std::uint16_t>(value));
        const QImage shown = Grab(*view);
        QImage expected = shown;
        QPainter painter(&expected);
        painter.setFont(view->ReadoutFont());
        painter.setPen(Qt::white);
        painter.setBackgroundMode(Qt::OpaqueMode);
        painter.setBackground(QColor(kBackground));
        painter.drawText(kValueRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         QString::number(value));
        painter.end();
        EXPECT_EQ(shown, expected);
        EXPECT_GT(CountWhite(shown, kValueRect), 5);
    }
}

TEST(WaveViewTest, MinimisedViewRequestsNoRepaintAndIsRepaintedWholeWhenBack) {
    auto view = ShowView(300, 300);
    const std::vector<std::uint8_t> frame(80, 100);
    view->showMinimized();
    ASSERT_TRUE(RunUntil([&] { return view->isMinimized(); }));
    PaintRecorder recorder;
    view->installEventFilter(&recorder);
    view->AddSamples(frame);
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.paints, 0);

    view->showNormal();
    ASSERT_TRUE(RunUntil([&] { return !view->isMinimized(); }));
    recorder.painted = QRegion();
    view->AddSamples(frame);
    ASSERT_TRUE(RunUntil([&] { return recorder.painted.contains(view->rect()); }));
    view->removeEventFilter(&recorder);
    EXPECT_EQ(view->Count(), 160);
}

TEST(ReadoutCacheTest, EveryRawValueIsDrawnOnceAndKept) {
    ReadoutCache cache(QFont(), Qt::white, QColor(kBackground), kValueRect.size());
    for (int round = 0; round < 2; ++round)
        for (int value = 0; value < 256; ++value) cache.Image(std::uint16_t(value), 1.0);
    const qint64 zero = cache.Image(0, 1.0).image.cacheKey();
    for (int value = 255; value >= 0; --value) cache.Image(std::uint16_t(value), 1.0);
    EXPECT_EQ(cache.Size(), 256);
    EXPECT_EQ(cache.Image(0, 1.0).image.cacheKey(), zero);
    // A byte per pixel: a full cache must not cost the window half a megabyte.
    EXPECT_EQ(cache.Image(255, 1.0).image.format(), QImage::Format_Indexed8);
}

TEST(ReadoutCacheTest, AValueLooksTheSameWhateverWasDrawnBefore) {
    // Each new value is drawn into the box the last one was drawn in.
    ReadoutCache reused(QFont(), Qt::white, QColor(kBackground), kValueRect.size());
    reused.Image(65535, 1.0);
    ReadoutCache fresh(QFont(), Qt::white, QColor(kBackground), kValueRect.size());
    const ReadoutCache::Entry& after = reused.Image(31, 1.0);
    const ReadoutCache::Entry& alone = fresh.Image(31, 1.0);
    EXPECT_EQ(after.offset, alone.offset);
    EXPECT_EQ(after.image, alone.image);
}

}  // namespace
}  // namespace sphyra

#include "analysis/beat_shape_checker.h"

#include <algorithm>
#include <cmath>

namespace sphyra::analysis {

void BeatShapeChecker::Design(double sampleRateHz) {
    m_step = std::max<std::size_t>(1, static_cast<std::size_t>(sampleRateHz / kKeptRateHz));
    m_keptRateHz = sampleRateHz / static_cast<double>(m_step);
    Restart();
}

void BeatShapeChecker::Restart() {
    m_count = 0;
    m_phase = 0;
    m_previous.reset();
    // Kept values are counted afresh: the cached sums no longer point anywhere.
    m_cachedCount = 0;
}

std::optional<double> BeatShapeChecker::OnBeat(double position) {
    // Kept value k is sample (k + 1) * step - 1.
    const double step = static_cast<double>(m_step);
    const double here = (position + 1.0) / step - 1.0;
    const std::optional<double> previous = m_previous;
    m_previous = here;
    if (!previous || m_count == 0) return std::nullopt;

    const double newest = static_cast<double>(m_count - 1);
    const double spacing = here - *previous;
    const double half =
        std::min({kHalfWindowS * m_keptRateHz, kHalfWindowShare * spacing, newest - here});
    const double oldest = newest - static_cast<double>(kCapacity - 1);
    if (half < 3 || *previous - half < std::max(oldest, 0.0)) return std::nullopt;

    const auto w = static_cast<std::int64_t>(half);
    const auto a = static_cast<std::int64_t>(std::lround(*previous)) - w;
    const auto b = static_cast<std::int64_t>(std::lround(here)) - w;
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    const std::int64_t n = 2 * w + 1;
    // The previous beat's own sums, when its stretch is the one this beat's were taken over
    // last time (as it is while the rate holds): the same values added in the same order.
    if (a == m_cachedStart && n == m_cachedCount) {
        sa = m_cachedSum;
        saa = m_cachedSquares;
    } else {
        for (std::int64_t i = 0; i < n; ++i) {
            const double x = m_kept[static_cast<std::size_t>(a + i) % kCapacity];
            sa += x;
            saa += x * x;
        }
    }
    for (std::int64_t i = 0; i < n; ++i) {
        const double x = m_kept[static_cast<std::size_t>(a + i) % kCapacity];
        const double y = m_kept[static_cast<std::size_t>(b + i) % kCapacity];
        sb += y;
        sbb += y * y;
        sab += x * y;
    }
    m_cachedStart = b;
    m_cachedCount = n;
    m_cachedSum = sb;
    m_cachedSquares = sbb;
    const auto count = static_cast<double>(n);
    const double va = saa - sa * sa / count;
    const double vb = sbb - sb * sb / count;
    if (va <= 0 || vb <= 0) return 0.0;
    return (sab - sa * sb / count) / std::sqrt(va * vb);
}

}  // namespace sphyra::analysis

#include "export/export_layout.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sphyra {

namespace {

constexpr std::array<int, 7> kRecordSeconds = {1, 2, 5, 10, 20, 30, 60};
constexpr double kGoodEnough = 2e-5;
constexpr std::uint64_t kMinGapUs = 500'000;

int SamplesPerRecord(double rate, int seconds) {
    return std::max(1, static_cast<int>(std::lround(rate * seconds)));
}

double WorstError(const std::vector<SensorSurveyEntry>& sensors, int seconds) {
    double worst = 0;
    for (const SensorSurveyEntry& s : sensors) {
        const double exact = s.MeasuredRate() * seconds;
        if (exact <= 0) continue;
        worst =
            std::max(worst, std::abs(SamplesPerRecord(s.MeasuredRate(), seconds) - exact) / exact);
    }
    return worst;
}

}  // namespace

ExportLayout PlanExport(const std::vector<SensorSurveyEntry>& sensors) {
    int best = kRecordSeconds.front();
    double bestError = WorstError(sensors, best);
    for (const int seconds : kRecordSeconds) {
        const double error = WorstError(sensors, seconds);
        if (error < bestError) {
            best = seconds;
            bestError = error;
        }
        if (error <= kGoodEnough) {
            best = seconds;
            break;
        }
    }
    ExportLayout layout;
    layout.recordUnits = best * 100'000;
    for (const SensorSurveyEntry& s : sensors) {
        TrackPlan plan;
        plan.address = s.address;
        plan.measuredRate = s.MeasuredRate();
        plan.samplesPerRecord = SamplesPerRecord(plan.measuredRate, best);
        plan.rate = plan.samplesPerRecord / static_cast<double>(best);
        // Longer than a few frames, so that a late frame is not a gap, and long
        // enough that a pause padded up to now always ends before the next frame.
        const double frameUs = s.maxFrameSamples * 1e6 / plan.rate;
        plan.gapUs = std::max(kMinGapUs, static_cast<std::uint64_t>(4 * frameUs));
        layout.tracks.push_back(plan);
    }
    return layout;
}

}  // namespace sphyra

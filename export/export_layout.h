#pragma once

#include <cstdint>
#include <vector>

#include "export/sensor_survey.h"

namespace sphyra {

// How one sensor's samples are laid on the export's time line.
struct TrackPlan {
    std::uint8_t address = 0;
    int samplesPerRecord = 1;
    double rate = 1.0;        // samples per second as stored: samplesPerRecord / record length
    double measuredRate = 0;  // as measured from the capture
    std::uint64_t gapUs = 0;  // a pause longer than this is a gap, filled and annotated
};

// The record length shared by all signals and each sensor's plan.
struct ExportLayout {
    int recordUnits = 100'000;  // record length in 10 µs units (EDFlib's unit)
    std::vector<TrackPlan> tracks;

    double RecordSeconds() const { return recordUnits / 100'000.0; }
};

// The shortest record length, out of 1, 2, 5, 10, 20, 30 and 60 s, at which every
// sensor's measured rate times the length is a whole number to within 2e-5 (under
// 2 s a day); failing that, the length with the smallest such error. Each rate is
// then stored as the rounded number of samples per record over the length.
ExportLayout PlanExport(const std::vector<SensorSurveyEntry>& sensors);

}  // namespace sphyra

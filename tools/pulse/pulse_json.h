#pragma once

#include <ostream>
#include <string>

#include "tools/pulse/offline_pulse_run.h"

namespace sphyra {

// The JSON document sphyra-pulse prints; its schema is kPulseJsonSchema.
void WritePulseJson(std::ostream& out, const OfflinePulseRun& run, const std::string& file,
                    const std::string& column);

extern const char* const kPulseJsonSchema;

}  // namespace sphyra

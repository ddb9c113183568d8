#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "export/annotation_spool.h"

namespace sphyra {

struct AnnotationFill {
    std::uint64_t written = 0;
    std::uint64_t lost = 0;  // no room left in the file from their place on
};

// Writes the spooled annotations into a closed EDF+ file's annotation signals, as
// TALs after each data record's time-keeping TAL: in the record whose time holds
// the annotation's place, or the next one with room. One pass over the file, one
// record in memory. `recordLength` and `startOffset` (the start time's fraction of
// a second) are in 100 µs, the annotations' unit; onsets are written from the
// file's whole-second start, as EDFlib writes them.
bool FillEdfAnnotations(const std::filesystem::path& path, AnnotationSpool& spool,
                        std::int64_t recordLength, std::int64_t startOffset, AnnotationFill& fill,
                        std::string& error);

}  // namespace sphyra

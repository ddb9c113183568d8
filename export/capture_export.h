#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "acquisition/receive_ring.h"
#include "export/export_layout.h"
#include "export/pulse_workers.h"
#include "recording/capture_reader.h"

namespace sphyra {

struct ExportRequest {
    std::filesystem::path capture;
    std::optional<std::filesystem::path> edf;     // EDF+ file to write
    std::optional<std::filesystem::path> csvDir;  // folder for the CSV files
    bool beats = true;  // run the pulse analysis (beats, rates.csv); it costs most of the time
    // Threads the pulse analysis runs on beside the exporting one; 0 runs it on that one.
    unsigned threads = PulseWorkers::DefaultThreads();
    // Called now and then, from the exporting thread, with the bytes of capture gone through out
    // of `total` (both passes count, so `total` is twice the file's size). Returning false
    // cancels: what the export wrote is removed and the result says `cancelled`.
    std::function<bool(std::uint64_t done, std::uint64_t total)> progress;
};

struct ExportResult {
    bool ok = false;
    bool cancelled = false;
    std::string error;     // why it failed, when it did
    std::string stopText;  // where and why reading the capture stopped
    CaptureInfo info;
    ExportLayout layout;
    std::uint64_t durationUs = 0;
    std::uint64_t frames = 0;
    ParseStats stats;
    std::uint64_t annotations = 0;
    std::uint64_t annotationsLost = 0;
    std::uint64_t records = 0;
};

// Turns a capture into EDF+ and/or CSV files in two streaming passes: the first
// finds the sensors and their rates (EDF needs its signal list up front), the
// second lays the samples out and writes them. Memory does not grow with the
// capture's length.
ExportResult ExportCapture(const ExportRequest& request);

// A few lines for a person: the capture, the sensors and rates, what was written.
std::string DescribeExport(const ExportRequest& request, const ExportResult& result);

}  // namespace sphyra

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/annotation_spool.h"
#include "export/edf_annotation_filler.h"
#include "export/export_layout.h"
#include "export/file_buffer_grant.h"
#include "export/track_sink.h"
#include "recording/capture_reader.h"

namespace sphyra {

// Writes laid-out tracks as an EDF+ file through EDFlib: one signal per track,
// samples stored as they came (0-255), positions without data as -1, the
// digital minimum. Holds at most a few records of samples per track. The
// annotations wait in a temporary file and go into the records' annotation
// signals once EDFlib has closed the file (EDFlib would keep them all in memory).
class EdfWriter final : public TrackSink {
public:
    static constexpr short kFillValue = -1;
    static constexpr int kMaxAnnotationSignals = 64;

    EdfWriter() = default;
    ~EdfWriter() override;
    EdfWriter(const EdfWriter&) = delete;
    EdfWriter& operator=(const EdfWriter&) = delete;

    // `annotations` is how many annotations the file must be able to hold; it
    // decides the number of annotation signals, the room for them in each record.
    bool Open(const std::filesystem::path& path, const ExportLayout& layout,
              const CaptureInfo& info, std::uint64_t annotations, std::uint64_t records,
              std::string& error);
    // Writes what is left, then the annotations; every track must have been filled
    // to a whole record.
    bool Close(std::string& error);

    void Samples(std::size_t track, std::uint64_t position,
                 std::span<const std::uint8_t> samples) override;
    void Fill(std::size_t track, std::uint64_t position, std::uint64_t count) override;
    void Annotation(std::uint64_t onsetUs, std::int64_t durationUs,
                    const std::string& text) override;

    std::uint64_t Annotations() const { return m_spool.Count(); }
    // Annotations beyond what the file's annotation signals can hold; known after Close.
    std::uint64_t AnnotationsLost() const { return m_fill.lost; }
    std::uint64_t RecordsWritten() const { return m_records; }

private:
    struct Queue {
        std::vector<short> samples;
        std::size_t head = 0;
        int perRecord = 1;
        std::size_t Size() const { return samples.size() - head; }
    };
    void WriteReadyRecords();

    // Declared first, so destroyed last: the file closed in the destructor writes through it.
    std::unique_ptr<FileBufferGrant> m_buffer;
    int m_handle = -1;
    std::filesystem::path m_path;
    std::vector<Queue> m_queues;
    std::uint64_t m_records = 0;
    std::int64_t m_recordLength = 1;  // in the annotations' unit
    std::int64_t m_startOffset = 0;   // likewise
    AnnotationSpool m_spool;
    AnnotationFill m_fill;
    bool m_failed = false;
};

}  // namespace sphyra

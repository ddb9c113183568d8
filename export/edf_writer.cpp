#include "export/edf_writer.h"

#include <edflib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace sphyra {

namespace {

constexpr std::int64_t kEdfTimeUnitUs = 100;  // annotation times are in 100 µs
// EDFlib gives each annotation signal this many bytes in a record.
constexpr std::uint64_t kAnnotationSignalBytes = 114;
// Room to plan for one annotation, as a TAL: "+86399.1234", "sensor 12 beat" and
// three separators, 29 bytes. Beats are most of them; the longer rest are few.
constexpr std::uint64_t kTalBytes = 32;
constexpr std::uint64_t kTimeKeepingBytes = 20;
// Records go out in writes of this size rather than stdio's 4 KB; larger gained nothing.
constexpr std::size_t kStdioBufferBytes = 256 * 1024;

// Returns the start's fraction of a second in the annotations' unit, as EDFlib adds it to onsets.
std::int64_t SetStart(int handle, std::int64_t startUs) {
    const std::time_t seconds = static_cast<std::time_t>(startUs / 1'000'000);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return 0;
    edf_set_startdatetime(handle, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                          local.tm_hour, local.tm_min, local.tm_sec);
    // EDFlib advises no more than 100 µs resolution here.
    const std::int64_t subUs = startUs % 1'000'000;
    edf_set_subsecond_starttime(handle, static_cast<int>(subUs / kEdfTimeUnitUs * 1000));
    return subUs / kEdfTimeUnitUs;
}

}  // namespace

EdfWriter::~EdfWriter() {
    if (m_handle >= 0) edfclose_file(m_handle);
}

bool EdfWriter::Open(const std::filesystem::path& path, const ExportLayout& layout,
                     const CaptureInfo& info, std::uint64_t annotations, std::uint64_t records,
                     std::string& error) {
    const int signals = static_cast<int>(layout.tracks.size());
    if (signals == 0) {
        error = "no sensor was heard in the capture, so there is no signal to write";
        return false;
    }
    if (signals > EDFLIB_MAXSIGNALS) {
        error = "too many sensors for one EDF file";
        return false;
    }
    // Like the CSV folder, a folder named for the file is made when missing.
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
    if (!m_spool.Open(error)) return false;
    errno = 0;
    m_buffer = std::make_unique<FileBufferGrant>(kStdioBufferBytes);
    m_handle = edfopen_file_writeonly(path.string().c_str(), EDFLIB_FILETYPE_EDFPLUS, signals);
    m_buffer->Withdraw();
    if (m_handle < 0) {
        const int cause = errno;
        error = "cannot create " + path.string() +
                (cause != 0 ? ": " + std::string(std::strerror(cause))
                            : " (EDFlib error " + std::to_string(m_handle) + ")");
        m_handle = -1;
        return false;
    }
    bool ok = edf_set_datarecord_duration(m_handle, layout.recordUnits) == 0;
    m_queues.assign(layout.tracks.size(), {});
    for (int i = 0; i < signals; ++i) {
        const TrackPlan& plan = layout.tracks[static_cast<std::size_t>(i)];
        m_queues[static_cast<std::size_t>(i)].perRecord = plan.samplesPerRecord;
        const std::string label = "sensor " + std::to_string(plan.address);
        ok = ok && edf_set_samplefrequency(m_handle, i, plan.samplesPerRecord) == 0 &&
             edf_set_digital_minimum(m_handle, i, kFillValue) == 0 &&
             edf_set_digital_maximum(m_handle, i, 255) == 0 &&
             edf_set_physical_minimum(m_handle, i, kFillValue) == 0 &&
             edf_set_physical_maximum(m_handle, i, 255) == 0 &&
             edf_set_label(m_handle, i, label.c_str()) == 0 &&
             edf_set_physical_dimension(m_handle, i, "count") == 0 &&
             edf_set_transducer(m_handle, i, "infrared pulse sensor") == 0;
    }
    // Room in each record for its share of the annotations, and one signal more, so
    // that a burst spills into the records after it without loss.
    const std::uint64_t perRecord = records == 0 ? 1 : (annotations + records - 1) / records;
    const std::uint64_t bytes = kTimeKeepingBytes + perRecord * kTalBytes;
    const int annotationSignals = static_cast<int>(
        std::clamp<std::uint64_t>((bytes + kAnnotationSignalBytes - 1) / kAnnotationSignalBytes + 1,
                                  1, kMaxAnnotationSignals));
    ok = ok && edf_set_number_of_annotation_signals(m_handle, annotationSignals) == 0;
    m_path = path;
    m_recordLength = layout.recordUnits / 10;
    m_startOffset = SetStart(m_handle, info.startTimeUs);
    const std::string recording = info.port + " " + std::to_string(info.baud) + " baud";
    edf_set_equipment(m_handle, "Sphyra");
    edf_set_recording_additional(m_handle, recording.c_str());
    if (!ok) error = "EDFlib refused the signal settings for " + path.string();
    return ok;
}

void EdfWriter::Samples(std::size_t track, std::uint64_t, std::span<const std::uint8_t> samples) {
    std::vector<short>& q = m_queues[track].samples;
    const std::size_t at = q.size();
    q.resize(at + samples.size());
    // Blocks of a fixed size, which the compiler widens many samples at a time.
    constexpr std::size_t kBlock = 16;
    const std::uint8_t* in = samples.data();
    short* out = q.data() + at;
    std::size_t i = 0;
    for (; i + kBlock <= samples.size(); i += kBlock) {
        for (std::size_t j = 0; j < kBlock; ++j) out[i + j] = in[i + j];
    }
    for (; i < samples.size(); ++i) out[i] = in[i];
    WriteReadyRecords();
}

void EdfWriter::Fill(std::size_t track, std::uint64_t, std::uint64_t count) {
    Queue& q = m_queues[track];
    // In pieces of a record, so a long fill never piles up in memory.
    while (count > 0) {
        const std::uint64_t n =
            std::min<std::uint64_t>(count, static_cast<std::uint64_t>(q.perRecord));
        q.samples.insert(q.samples.end(), n, kFillValue);
        count -= n;
        WriteReadyRecords();
    }
}

void EdfWriter::Annotation(std::uint64_t onsetUs, std::int64_t durationUs,
                           const std::string& text) {
    if (m_handle < 0) return;
    const auto onset = static_cast<std::int64_t>(onsetUs) / kEdfTimeUnitUs;
    m_spool.Add(onset, durationUs < 0 ? -1 : durationUs / kEdfTimeUnitUs, text);
}

void EdfWriter::WriteReadyRecords() {
    if (m_handle < 0 || m_failed) return;
    for (;;) {
        for (const Queue& q : m_queues) {
            if (q.Size() < static_cast<std::size_t>(q.perRecord)) return;
        }
        for (Queue& q : m_queues) {
            if (edfwrite_digital_short_samples(m_handle, q.samples.data() + q.head) != 0) {
                m_failed = true;
                return;
            }
            q.head += static_cast<std::size_t>(q.perRecord);
            if (q.head * 2 >= q.samples.size()) {
                q.samples.erase(q.samples.begin(),
                                q.samples.begin() + static_cast<std::ptrdiff_t>(q.head));
                q.head = 0;
            }
        }
        ++m_records;
    }
}

bool EdfWriter::Close(std::string& error) {
    if (m_handle < 0) return false;
    WriteReadyRecords();
    bool leftover = false;
    for (const Queue& q : m_queues) leftover = leftover || q.Size() != 0;
    const int closed = edfclose_file(m_handle);
    m_handle = -1;
    if (m_failed || closed != 0) {
        error = "writing the EDF file failed (disk full?)";
        return false;
    }
    if (leftover) {
        error = "internal: samples left over after the last whole record";
        return false;
    }
    // The file is a valid EDF+ file from here on; each record's annotations are
    // written over its empty annotation bytes in one piece.
    return FillEdfAnnotations(m_path, m_spool, m_recordLength, m_startOffset, m_fill, error);
}

}  // namespace sphyra

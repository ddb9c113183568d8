#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "recording/capture_format.h"

namespace sphyra {

struct CaptureWriterOptions {
    // Longest time a chunk waits before it is written and fdatasync'ed. Kept under
    // a second so a crash or power cut loses at most the last second.
    std::chrono::milliseconds syncInterval{500};
    // Queued bytes the disk may fall behind by before recording gives up rather
    // than let memory grow without end.
    std::size_t maxBacklog = 64U << 20;
};

// Appends one capture file. Chunks are encoded on the caller's thread into a
// queue; a thread of the writer's own writes the queue and fdatasyncs it at
// every sync interval, so the caller never waits for the disk.
//
// The first write error (disk full, file too large under `ulimit -f`, I/O
// error) stops the writer for good: the file is cut back to its last whole
// chunk, a "recording stopped by an error" port event is added if the disk
// still takes it, later chunks are dropped, and Error() tells what happened.
class CaptureWriter {
public:
    explicit CaptureWriter(CaptureWriterOptions options = {});
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // Creates `folder` if missing, takes the first free name for the header's
    // start time, writes the header and syncs it. On failure nothing is left
    // behind and `error` says why.
    bool Open(const std::filesystem::path& folder, const capture::CaptureHeader& header,
              std::string* error);

    // Queue one chunk; false (and the chunk dropped) once failed or closed. A read
    // longer than the largest payload becomes several chunks with the same times.
    bool AppendReceived(std::int64_t timeUs, std::uint32_t tick, const std::uint8_t* bytes,
                        std::size_t n);
    bool AppendMarker(std::int64_t timeUs, std::uint32_t tick, std::uint32_t number,
                      std::string_view text = {});
    bool AppendPortEvent(std::int64_t timeUs, std::uint32_t tick, capture::PortEventCode code,
                         std::string_view text = {});

    // Writes and syncs everything queued so far, waiting for the disk.
    bool Flush();
    // Flushes, stops the thread and closes the file; true when nothing failed.
    bool Close();

    bool IsOpen() const { return m_fd >= 0; }
    bool HasFailed() const { return m_failed.load(); }
    // The first error, for the operator; empty while none.
    std::string Error() const;
    const std::filesystem::path& Path() const { return m_path; }
    // Header and chunks accepted so far: what the file holds once flushed.
    std::uint64_t Size() const { return m_size.load(); }
    // Bytes known to be on the disk (written and synced).
    std::uint64_t DurableSize() const { return m_durable.load(); }

private:
    bool Enqueue(capture::ChunkType type, std::int64_t timeUs, std::uint32_t tick,
                 const std::uint8_t* payload, std::size_t n);
    void Run();
    void WriteBatch(const std::vector<std::uint8_t>& batch, std::int64_t lastTimeUs,
                    std::uint32_t lastTick);
    // Writer thread only: records the first error and ends the file with it.
    void Fail(int err, std::string_view what, std::int64_t timeUs, std::uint32_t tick);
    void WriteErrorChunk(int err, std::int64_t timeUs, std::uint32_t tick);

    CaptureWriterOptions m_options;
    std::filesystem::path m_path;
    int m_fd = -1;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<std::uint8_t> m_pending;  // whole chunks waiting for the thread
    std::int64_t m_lastTimeUs = 0;        // times of the newest chunk queued
    std::uint32_t m_lastTick = 0;
    std::uint64_t m_flushAsked = 0;
    std::uint64_t m_flushDone = 0;
    bool m_closing = false;
    int m_tailErrno = 0;  // a caller-side failure the thread still has to write down
    std::string m_error;

    std::atomic<bool> m_failed{false};
    std::atomic<std::uint64_t> m_size{0};
    std::atomic<std::uint64_t> m_durable{0};
    std::uint64_t m_written = 0;  // thread only: bytes in the file, whole chunks
};

// What went wrong, for the operator: the reason in words, then the call, the
// file and the system's own text for `err`.
std::string DescribeCaptureError(int err, std::string_view what, const std::filesystem::path& path);

}  // namespace sphyra

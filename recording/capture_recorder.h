#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "acquisition/tick_clock.h"
#include "recording/capture_clock.h"
#include "recording/capture_writer.h"
#include "serial/receive_tap.h"

namespace sphyra {

struct CaptureRecorderOptions {
    // A new file is begun once the current one reaches this size or this age;
    // 0 for no limit.
    std::uint64_t maxFileBytes = 0;
    std::int64_t maxFileUs = 0;
    CaptureWriterOptions writer;
};

// One recording: what the port layer's tap shows it goes to capture files, with
// the receive time and the program's tick, in the order it came. A recording may
// span several files when a size or age limit is set. Errors stop the recording
// and are kept until the owner takes them; the port and the display go on.
// Runs on the thread that receives; the disk is written by the writer's own.
class CaptureRecorder final : public ReceiveTap {
public:
    CaptureRecorder(const CaptureClock& clock, const TickClock& ticks,
                    CaptureRecorderOptions options = {});
    ~CaptureRecorder() override;
    CaptureRecorder(const CaptureRecorder&) = delete;
    CaptureRecorder& operator=(const CaptureRecorder&) = delete;

    // The port name for file headers, as the user gave it ("COM3", "/dev/ttyUSB0").
    // Without it, the port opening names it "COM<n>".
    void SetPortName(std::string name);
    void SetBaud(int baud) { m_baud = baud; }

    // Begins a file in `folder` (created if missing); false with the reason in
    // `error` when it cannot.
    bool Start(const std::filesystem::path& folder, std::string* error);
    // Begins recording into `folder` at the next opening of the port. A failure
    // then is kept for TakeError.
    void StartOnOpen(const std::filesystem::path& folder);
    // Completes the file (everything written and synced) and stops.
    void Stop();
    bool IsRecording() const { return m_writer != nullptr; }
    bool IsWaitingForOpen() const { return m_startOnOpen.has_value(); }

    // Drops the next numbered marker (1, 2, 3 … within a file); 0 when not recording.
    std::uint32_t DropMarker(std::string_view text = {});

    // Looks for a write error and for a file that has grown old; call it now and
    // then (a timer) so both are noticed while nothing arrives.
    void Poll();
    // The message of the error that stopped the recording, once.
    std::optional<std::string> TakeError();

    std::int64_t ElapsedUs() const;
    // Bytes the tap has shown, recording or not.
    std::uint64_t ReceivedBytes() const { return m_received; }
    // Bytes written to all files of this recording so far.
    std::uint64_t Bytes() const;
    std::filesystem::path CurrentFile() const;
    int FilesBegun() const { return m_filesBegun; }
    // Markers dropped in the current file.
    std::uint32_t Markers() const { return m_markers; }

    void OnReceived(const std::uint8_t* bytes, std::size_t n) override;
    void OnPortOpened(int port, int baud) override;
    void OnPortClosed() override;
    void OnDeviceLost() override;

private:
    bool BeginFile(std::string* error);
    void EndFile();
    void RotateIfDue();
    void CheckWriter();
    void PortEvent(capture::PortEventCode code, std::string_view text);
    std::int64_t FileTimeUs() const;

    const CaptureClock& m_clock;
    const TickClock& m_ticks;
    CaptureRecorderOptions m_options;
    std::unique_ptr<CaptureWriter> m_writer;
    std::filesystem::path m_folder;
    std::optional<std::filesystem::path> m_startOnOpen;
    std::filesystem::path m_lastFile;
    std::string m_portName;
    bool m_portNameGiven = false;
    int m_baud = 0;
    std::int64_t m_recordingStartUs = 0;  // monotonic
    std::int64_t m_fileStartUs = 0;       // monotonic
    std::uint64_t m_closedBytes = 0;      // in the files already ended
    std::uint64_t m_received = 0;
    std::uint32_t m_markers = 0;
    int m_filesBegun = 0;
    std::optional<std::string> m_error;
};

}  // namespace sphyra

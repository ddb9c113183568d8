#include "recording/capture_recorder.h"

#include <utility>

namespace sphyra {

using capture::PortEventCode;

CaptureRecorder::CaptureRecorder(const CaptureClock& clock, const TickClock& ticks,
                                 CaptureRecorderOptions options)
    : m_clock(clock), m_ticks(ticks), m_options(options) {}

CaptureRecorder::~CaptureRecorder() {
    Stop();
}

void CaptureRecorder::SetPortName(std::string name) {
    m_portName = std::move(name);
    m_portNameGiven = true;
}

bool CaptureRecorder::Start(const std::filesystem::path& folder, std::string* error) {
    m_startOnOpen.reset();
    if (IsRecording()) return true;
    m_folder = folder;
    m_closedBytes = 0;
    m_filesBegun = 0;
    m_recordingStartUs = m_clock.MonotonicUs();
    return BeginFile(error);
}

void CaptureRecorder::StartOnOpen(const std::filesystem::path& folder) {
    if (!IsRecording()) m_startOnOpen = folder;
}

void CaptureRecorder::Stop() {
    m_startOnOpen.reset();
    if (!IsRecording()) return;
    EndFile();
}

bool CaptureRecorder::BeginFile(std::string* error) {
    capture::CaptureHeader header;
    header.startTimeUs = m_clock.WallUs();
    header.baud = static_cast<std::uint32_t>(m_baud);
    header.tickAtStart = m_ticks.NowTick();
    header.port = m_portName;
    auto writer = std::make_unique<CaptureWriter>(m_options.writer);
    if (!writer->Open(m_folder, header, error)) return false;
    m_fileStartUs = m_clock.MonotonicUs();
    m_markers = 0;
    ++m_filesBegun;
    m_lastFile = writer->Path();
    m_writer = std::move(writer);
    return true;
}

void CaptureRecorder::EndFile() {
    m_writer->Close();
    m_closedBytes += m_writer->Size();
    if (m_writer->HasFailed() && !m_error) m_error = m_writer->Error();
    m_writer.reset();
}

std::int64_t CaptureRecorder::FileTimeUs() const {
    return m_clock.MonotonicUs() - m_fileStartUs;
}

void CaptureRecorder::CheckWriter() {
    if (IsRecording() && m_writer->HasFailed()) EndFile();
}

void CaptureRecorder::RotateIfDue() {
    if (!IsRecording()) return;
    const bool big = m_options.maxFileBytes > 0 && m_writer->Size() >= m_options.maxFileBytes;
    const bool old = m_options.maxFileUs > 0 && FileTimeUs() >= m_options.maxFileUs;
    if (!big && !old) return;
    EndFile();
    std::string error;
    if (!BeginFile(&error) && !m_error) m_error = error;
}

void CaptureRecorder::Poll() {
    CheckWriter();
    RotateIfDue();
}

std::optional<std::string> CaptureRecorder::TakeError() {
    return std::exchange(m_error, std::nullopt);
}

std::uint32_t CaptureRecorder::DropMarker(std::string_view text) {
    CheckWriter();
    if (!IsRecording()) return 0;
    const std::uint32_t number = m_markers + 1;
    if (!m_writer->AppendMarker(FileTimeUs(), m_ticks.NowTick(), number, text)) return 0;
    m_markers = number;
    return number;
}

std::int64_t CaptureRecorder::ElapsedUs() const {
    return IsRecording() ? m_clock.MonotonicUs() - m_recordingStartUs : 0;
}

std::uint64_t CaptureRecorder::Bytes() const {
    return m_closedBytes + (IsRecording() ? m_writer->Size() : 0);
}

std::filesystem::path CaptureRecorder::CurrentFile() const {
    return m_lastFile;
}

void CaptureRecorder::OnReceived(const std::uint8_t* bytes, std::size_t n) {
    m_received += n;
    CheckWriter();
    RotateIfDue();
    if (IsRecording()) m_writer->AppendReceived(FileTimeUs(), m_ticks.NowTick(), bytes, n);
}

void CaptureRecorder::OnPortOpened(int port, int baud) {
    if (!m_portNameGiven) m_portName = "COM" + std::to_string(port);
    m_baud = baud;
    if (m_startOnOpen) {
        const std::filesystem::path folder = *m_startOnOpen;
        std::string error;
        if (!Start(folder, &error)) m_error = error;
    }
    PortEvent(PortEventCode::Opened, m_portName + " " + std::to_string(baud));
}

void CaptureRecorder::OnPortClosed() {
    PortEvent(PortEventCode::Closed, {});
}

void CaptureRecorder::OnDeviceLost() {
    PortEvent(PortEventCode::DeviceLost, {});
}

void CaptureRecorder::PortEvent(PortEventCode code, std::string_view text) {
    CheckWriter();
    if (IsRecording()) m_writer->AppendPortEvent(FileTimeUs(), m_ticks.NowTick(), code, text);
}

}  // namespace sphyra

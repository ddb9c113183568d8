#include "recording/cli/record_session.h"

#include <QCoreApplication>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "recording/capture_folder.h"

namespace sphyra {
namespace {

constexpr std::int64_t kFileAgeUs = 3'600'000'000;  // a new file every hour
constexpr int kReconnectMs = 1000;

int g_signalPipe[2] = {-1, -1};

void OnSignalNumber(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// "COM3" (any case) gives 3; anything else is a device path.
int ComNumber(const std::string& port) {
    if (port.size() < 4 || port.size() > 5) return 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(port[i])) != "COM"[i]) return 0;
    }
    int number = 0;
    for (std::size_t i = 3; i < port.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(port[i]))) return 0;
        number = number * 10 + (port[i] - '0');
    }
    return number >= PortMap::kFirstPort && number <= PortMap::kLastPort ? number : 0;
}

std::string Clock(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

CaptureRecorderOptions RecorderOptions(const RecordOptions& options) {
    CaptureRecorderOptions out;
    out.maxFileBytes = options.maxFileMegabytes * 1'000'000;
    out.maxFileUs = kFileAgeUs;
    return out;
}

std::filesystem::path SettingsPath(const RecordOptions& options) {
    return options.settingsPath.empty() ? PortSettingsFile::PathForProgram("sphyra")
                                        : options.settingsPath;
}

}  // namespace

RecordSession::RecordSession(RecordOptions options, std::FILE* log, bool terminal)
    : m_options(std::move(options)),
      m_log(log),
      m_terminal(terminal),
      m_acquisition(m_ticks, m_display),
      m_settingsFile(SettingsPath(m_options)),
      m_portMap(SettingsPath(m_options)),
      m_comm([this](int number) {
          return m_devicePath.empty() ? m_portMap.DeviceFor(number) : m_devicePath;
      }),
      m_connection(m_comm, m_ticks, m_acquisition, m_settingsFile),
      m_recorder(m_clock, m_ticks, RecorderOptions(m_options)) {
    const int number = ComNumber(m_options.port);
    if (number > 0) {
        m_portNumber = number;
    } else {
        m_devicePath = m_options.port;
    }
    m_recorder.SetPortName(m_options.port);
    m_connection.SetReceiveTap(&m_recorder);
    connect(&m_comm, &CMSComm::OnComm, this, &RecordSession::OnComm);
    connect(&m_second, &QTimer::timeout, this, &RecordSession::OnSecond);
    m_reconnect.setSingleShot(true);
    connect(&m_reconnect, &QTimer::timeout, this, &RecordSession::TryReconnect);
}

RecordSession::~RecordSession() {
    m_connection.SetReceiveTap(nullptr);
}

int RecordSession::Run() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction action {};
        action.sa_handler = OnSignalNumber;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
        m_signals = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        connect(m_signals.get(), &QSocketNotifier::activated, this, &RecordSession::OnSignal);
    }

    const std::filesystem::path folder =
        m_options.outFolder.empty() ? DefaultCaptureFolder() : m_options.outFolder;
    m_recorder.StartOnOpen(folder);
    m_started = std::chrono::steady_clock::now();
    if (!OpenPort(false)) return kPortFailed;
    if (auto error = m_recorder.TakeError()) {
        Print("sphyra-record: " + *error);
        m_connection.ClosePort();
        return kRecordingFailed;
    }
    m_shownFile = m_recorder.CurrentFile();
    Print("sphyra-record: recording " + m_options.port + " at " + std::to_string(m_options.baud) +
          " baud into " + m_shownFile.string());
    m_second.start(1000);
    if (m_options.durationSeconds > 0)
        QTimer::singleShot(static_cast<int>(m_options.durationSeconds * 1000), this,
                           [this] { Finish(kOk); });
    QCoreApplication::exec();
    return m_exitCode;
}

bool RecordSession::OpenPort(bool quiet) {
    std::string message;
    try {
        if (m_connection.OpenPort(m_portNumber, m_options.baud, &message)) return true;
    } catch (const CommError& error) {
        message = error.what();
    }
    if (!quiet)
        Print("sphyra-record: cannot open " + m_options.port + ": " +
              (message.empty() ? std::string("the port did not open") : message));
    return false;
}

void RecordSession::OnComm() {
    if (m_connection.OnCommEvent() != CommNotice::DeviceLost) return;
    m_connection.ClosePort();
    if (!m_options.waitForDevice) {
        Print("sphyra-record: the device went away; stopping.");
        Finish(kPortFailed);
        return;
    }
    Print("sphyra-record: the device went away; waiting for it to come back.");
    m_reconnect.start(kReconnectMs);
}

void RecordSession::TryReconnect() {
    if (OpenPort(true)) {
        Print("sphyra-record: the device is back; recording goes on.");
        return;
    }
    m_reconnect.start(kReconnectMs);
}

void RecordSession::OnSecond() {
    m_recorder.Poll();
    if (auto error = m_recorder.TakeError()) {
        Print("sphyra-record: " + *error);
        Finish(kRecordingFailed);
        return;
    }
    if (m_recorder.CurrentFile() != m_shownFile) {
        m_shownFile = m_recorder.CurrentFile();
        Print("sphyra-record: now writing " + m_shownFile.string());
    }
    ShowProgress();
}

void RecordSession::OnSignal() {
    char bytes[16];
    while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    Finish(kOk);
}

void RecordSession::Finish(int code) {
    if (code != kOk && m_exitCode == kOk) m_exitCode = code;
    m_second.stop();
    m_reconnect.stop();
    m_connection.ClosePort();
    m_recorder.Stop();
    if (auto error = m_recorder.TakeError()) {
        Print("sphyra-record: " + *error);
        if (m_exitCode == kOk) m_exitCode = kRecordingFailed;
    }
    Print(Summary());
    QCoreApplication::exit(m_exitCode);
}

void RecordSession::Print(const std::string& line) {
    if (m_progressShown) std::fputs("\r\033[K", m_log);
    m_progressShown = false;
    std::fprintf(m_log, "%s\n", line.c_str());
    std::fflush(m_log);
}

void RecordSession::ShowProgress() {
    if (!m_terminal) return;
    std::fprintf(m_log, "\r\033[K%s", Summary().c_str());
    std::fflush(m_log);
    m_progressShown = true;
}

std::string RecordSession::Summary() {
    const ParseStats& stats = m_acquisition.Ring().Stats();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::steady_clock::now() - m_started)
                             .count();
    char line[256];
    std::snprintf(line, sizeof line,
                  "%s  %.1f MB received  %.1f MB written  %llu frames  %zu sensors  %llu bad "
                  "frames",
                  Clock(seconds).c_str(), static_cast<double>(m_recorder.ReceivedBytes()) / 1e6,
                  static_cast<double>(m_recorder.Bytes()) / 1e6,
                  static_cast<unsigned long long>(stats.framesDelivered),
                  m_acquisition.Table().Size(),
                  static_cast<unsigned long long>(stats.checksumFailures + stats.overlongDropped));
    return line;
}

}  // namespace sphyra

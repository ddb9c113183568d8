#include "ui/app/demo_session.h"

#include "serial/private_profile.h"

namespace sphyra {

namespace {

const std::string kNoDevice;

}  // namespace

SimulatorConfig DemoSession::DemoConfig() {
    // Rates and battery levels chosen so the list and the read-outs show some
    // variety: a fresh sensor, two half-used ones and one nearly flat.
    SimulatorConfig config;
    config.seed = 2009;
    config.batteryDrainPerMinute = 0.2;
    config.sensors = {
        {.address = 1,
         .bpm = 72,
         .gain = 6,
         .batteryStart = 96,
         .framesPerSecond = 25,
         .samplesPerFrame = 10},
        {.address = 2,
         .bpm = 58,
         .gain = 5,
         .batteryStart = 71,
         .framesPerSecond = 20,
         .samplesPerFrame = 12},
        {.address = 7,
         .bpm = 95,
         .gain = 6,
         .batteryStart = 44,
         .framesPerSecond = 50,
         .samplesPerFrame = 5},
        {.address = 12,
         .bpm = 108,
         .gain = 4,
         .batteryStart = 12,
         .framesPerSecond = 10,
         .samplesPerFrame = 25},
    };
    return config;
}

DemoSession::DemoSession(QObject* parent) : QObject(parent), m_simulator(DemoConfig()) {
    m_timer.setInterval(kStepMs);
    connect(&m_timer, &QTimer::timeout, this, &DemoSession::Step);
}

DemoSession::~DemoSession() = default;

bool WriteComOneSettings(const std::filesystem::path& path, const std::string& device,
                         std::uint32_t baud) {
    PrivateProfile profile(path);
    return profile.WriteProfileString("Main", "CommPort", "1") &&
           profile.WriteProfileString("Main", "CommBaud", std::to_string(baud)) &&
           profile.WriteProfileString("Ports", "COM1", device);
}

bool DemoSession::Prepare() {
    if (!m_dir.isValid()) {
        m_error =
            "cannot create a folder for the demo settings: " + m_dir.errorString().toStdString();
        return false;
    }
    m_pty = PtyEndpoint::Create(m_error);
    if (!m_pty) return false;
    m_settingsPath =
        std::filesystem::path(m_dir.filePath(QStringLiteral("sphyra-demo.ini")).toStdString());
    if (!WriteComOneSettings(m_settingsPath, m_pty->Path(), 115200)) {
        m_error = "cannot write the demo settings file " + m_settingsPath.string();
        return false;
    }
    return true;
}

const std::string& DemoSession::DevicePath() const {
    return m_pty ? m_pty->Path() : kNoDevice;
}

void DemoSession::Start(std::function<bool()> receiverOpen) {
    m_receiverOpen = std::move(receiverOpen);
    m_elapsed.start();
    m_timer.start();
}

void DemoSession::Step() {
    if (!m_pty) return;
    m_bytes.clear();
    m_simulator.ProduceInto(static_cast<std::uint64_t>(m_elapsed.elapsed()), m_bytes);
    if (m_receiverOpen && m_receiverOpen()) {
        m_pty->Write(m_bytes);
    } else {
        m_pty->DiscardUnread();
    }
}

}  // namespace sphyra

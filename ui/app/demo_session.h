#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tools/sim/pty_endpoint.h"
#include "tools/sim/sensor_simulator.h"

namespace sphyra {

// Writes a settings file that maps COM1 to `device` at `baud`, so the window opens a session's
// pseudo-terminal through its usual route.
bool WriteComOneSettings(const std::filesystem::path& path, const std::string& device,
                         std::uint32_t baud);

// The built-in stand-in for real sensors: four simulated sensors with different
// frame rates and battery levels, played in real time into a pseudo-terminal
// that a settings file of the session's own maps to COM1. The operator's real
// settings file is neither read nor changed.
class DemoSession : public QObject {
    Q_OBJECT
public:
    static constexpr int kStepMs = 20;

    explicit DemoSession(QObject* parent = nullptr);
    ~DemoSession() override;

    // Creates the pseudo-terminal and the settings file. False, with a reason in
    // ErrorText(), when the system has no pseudo-terminal to give.
    bool Prepare();

    // Starts playing. `receiverOpen` tells whether the program has the port open:
    // while it does not, the sensors go on living but what they send is thrown
    // away, so opening the port later never brings a burst of stale frames.
    void Start(std::function<bool()> receiverOpen);

    const std::filesystem::path& SettingsPath() const { return m_settingsPath; }
    const std::string& DevicePath() const;
    const std::string& ErrorText() const { return m_error; }
    const SensorSimulator& Simulator() const { return m_simulator; }

    static SimulatorConfig DemoConfig();

private:
    void Step();

    QTemporaryDir m_dir;
    std::filesystem::path m_settingsPath;
    std::unique_ptr<PtyEndpoint> m_pty;
    SensorSimulator m_simulator;
    QTimer m_timer;
    QElapsedTimer m_elapsed;
    std::function<bool()> m_receiverOpen;
    std::vector<std::uint8_t> m_bytes;
    std::string m_error;
};

}  // namespace sphyra

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

#include "tools/replay/capture_player.h"
#include "tools/sim/pty_endpoint.h"

namespace sphyra {

// `sphyra --replay`: plays a capture into a pseudo-terminal that a settings file
// of the session's own maps to COM1, as the demo does with simulated sensors, so
// the window receives a recording exactly as it received the original. Playing
// time runs only while the program has the port open: nothing is lost before
// "打开" is pressed, and closing the port pauses the recording.
class ReplaySession : public QObject {
    Q_OBJECT
public:
    // The longest the session sleeps between looks at the port and the player.
    static constexpr int kIdleMs = 50;

    ReplaySession(std::filesystem::path capture, double speed, QObject* parent = nullptr);
    ~ReplaySession() override;

    // Opens the capture, creates the pseudo-terminal and the settings file. False,
    // with a reason in ErrorText(), when one of them fails.
    bool Prepare();
    void Start(std::function<bool()> receiverOpen);

    const std::filesystem::path& SettingsPath() const { return m_settingsPath; }
    const std::string& DevicePath() const;
    const std::string& ErrorText() const { return m_error; }
    const CapturePlayer& Player() const { return m_player; }
    // Playing time so far, in µs of the recording divided by the speed.
    std::uint64_t PlayedUs() const { return m_playedUs; }

signals:
    void Finished();

private:
    void Step();

    std::filesystem::path m_capture;
    double m_speed;
    QTemporaryDir m_dir;
    std::filesystem::path m_settingsPath;
    std::unique_ptr<PtyEndpoint> m_pty;
    CapturePlayer m_player;
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::int64_t m_lastNs = 0;
    std::uint64_t m_playedUs = 0;
    std::function<bool()> m_receiverOpen;
    std::vector<std::uint8_t> m_bytes;
    std::string m_error;
    bool m_finished = false;
};

}  // namespace sphyra

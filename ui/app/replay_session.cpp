#include "ui/app/replay_session.h"

#include <algorithm>

#include "ui/app/demo_session.h"

namespace sphyra {

namespace {

const std::string kNoDevice;

}  // namespace

ReplaySession::ReplaySession(std::filesystem::path capture, double speed, QObject* parent)
    : QObject(parent), m_capture(std::move(capture)), m_speed(speed) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ReplaySession::Step);
}

ReplaySession::~ReplaySession() = default;

bool ReplaySession::Prepare() {
    if (!m_player.Open(m_capture, m_speed, m_error)) return false;
    if (!m_dir.isValid()) {
        m_error =
            "cannot create a folder for the replay settings: " + m_dir.errorString().toStdString();
        return false;
    }
    m_pty = PtyEndpoint::Create(m_error);
    if (!m_pty) return false;
    m_settingsPath =
        std::filesystem::path(m_dir.filePath(QStringLiteral("sphyra-replay.ini")).toStdString());
    const std::uint32_t baud = m_player.Reader().Info().baud;
    if (!WriteComOneSettings(m_settingsPath, m_pty->Path(), baud == 0 ? 115200 : baud)) {
        m_error = "cannot write the replay settings file " + m_settingsPath.string();
        return false;
    }
    return true;
}

const std::string& ReplaySession::DevicePath() const {
    return m_pty ? m_pty->Path() : kNoDevice;
}

void ReplaySession::Start(std::function<bool()> receiverOpen) {
    m_receiverOpen = std::move(receiverOpen);
    m_clock.start();
    m_lastNs = 0;
    m_timer.start(0);
}

void ReplaySession::Step() {
    if (!m_pty) return;
    const std::int64_t now = m_clock.nsecsElapsed();
    const bool open = m_receiverOpen && m_receiverOpen();
    if (open) m_playedUs += static_cast<std::uint64_t>((now - m_lastNs) / 1000);
    m_lastNs = now;
    if (open) {
        m_bytes.clear();
        m_player.ProduceInto(m_playedUs, m_bytes);
        if (m_bytes.empty()) {
            m_pty->Flush();
        } else {
            m_pty->Write(m_bytes);
        }
    }
    if (m_player.Done() && m_pty->Writer().PendingBytes() == 0) {
        if (!m_finished) {
            m_finished = true;
            emit Finished();
        }
        return;
    }
    int waitMs = kIdleMs;
    if (open && m_pty->Writer().PendingBytes() > 0) waitMs = 5;
    if (open && m_player.NextDueUs()) {
        const std::uint64_t due = *m_player.NextDueUs();
        const std::uint64_t left = due > m_playedUs ? due - m_playedUs : 0;
        waitMs = std::min<int>(waitMs, static_cast<int>((left + 999) / 1000));
    }
    m_timer.start(waitMs);
}

}  // namespace sphyra

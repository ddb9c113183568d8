#pragma once

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "acquisition/tick_clock.h"
#ifndef _WIN32
#include "tests/serial/pty_pair.h"
#endif
#include "ui/window/port_combo.h"
#include "ui/window/sensor_monitor_dlg.h"

namespace sphyra::test {

// A working window over a settings file of its own, on a clock the test moves.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_settingsPath = m_dir.filePath(QStringLiteral("sphyra.ini")).toStdString();
    }

    void WriteSettings(const std::string& text) {
        QFile file(QString::fromStdString(m_settingsPath.string()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }

    std::string ReadSettings() const {
        QFile file(QString::fromStdString(m_settingsPath.string()));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return file.readAll().toStdString();
    }

    std::unique_ptr<CSensorMonitorDlg> MakeWindow() {
        return std::make_unique<CSensorMonitorDlg>(m_settingsPath, &m_clock);
    }

#ifndef _WIN32
    // A window whose settings file maps COM1 to the pty.
    std::unique_ptr<CSensorMonitorDlg> MakeWindowOn(const PtyPair& pty) {
        WriteSettings("[Ports]\nCOM1=" + pty.SlavePath() + "\n");
        return MakeWindow();
    }

    // Maps COM1 to the pty and opens it with the Open button.
    void OpenOverPty(CSensorMonitorDlg& window, const PtyPair& pty) {
        ASSERT_GE(pty.SlaveFd(), 0);
        window.Controls().port->setCurrentIndex(0);
        window.Controls().openClose->click();
        ASSERT_TRUE(window.Comm().GetPortOpen());
    }
#endif

    QTemporaryDir m_dir;
    std::filesystem::path m_settingsPath;
    ManualTickClock m_clock{1};
};

}  // namespace sphyra::test

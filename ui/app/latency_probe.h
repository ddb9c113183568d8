#pragma once

#include <QObject>

#include <cstdint>
#include <cstdio>

namespace sphyra {

class CSensorMonitorDlg;
struct SensorRecord;

// Measures how late received data reaches the screen. When SPHYRA_LATENCY_LOG names a file,
// every repaint of the window that shows a new frame of the sensor on display appends a line
// "<CLOCK_MONOTONIC ns after the image went to the display> <its address> <its frames>". A feeder
// that logs the same counts at its writes can then pair each write with the first image that
// showed it. Without the variable nothing is installed, so it costs nothing.
class LatencyProbe : public QObject {
public:
    static void InstallIfRequested(CSensorMonitorDlg& window);
    ~LatencyProbe() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LatencyProbe(CSensorMonitorDlg& window, std::FILE* log);
    const SensorRecord* Displayed() const;

    CSensorMonitorDlg& m_window;
    std::FILE* m_log;
    std::uint64_t m_lastFrames = 0;
};

}  // namespace sphyra

#pragma once

#include <QObject>

namespace sphyra {

// Start-up timing for bench/startup_bench: when SPHYRA_STARTUP_PROBE is set, the first window
// the system exposes writes "sphyra-startup-mapped <ns>" (CLOCK_MONOTONIC nanoseconds, the clock
// the bench read before exec) on stderr. Costs nothing when the variable is absent.
class StartupProbe : public QObject {
    Q_OBJECT
public:
    static constexpr char kVariable[] = "SPHYRA_STARTUP_PROBE";
    static constexpr char kTag[] = "sphyra-startup-mapped";

    // Call once the QGuiApplication exists.
    static void InstallIfAsked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

}  // namespace sphyra

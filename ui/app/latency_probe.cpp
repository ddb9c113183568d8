#include "ui/app/latency_probe.h"

#include <QEvent>
#include <QtGlobal>

#include <ctime>

#include "ui/window/sensor_monitor_dlg.h"

namespace sphyra {

void LatencyProbe::InstallIfRequested(CSensorMonitorDlg& window) {
    const QByteArray path = qgetenv("SPHYRA_LATENCY_LOG");
    if (path.isEmpty()) return;
    std::FILE* log = std::fopen(path.constData(), "w");
    if (log == nullptr) return;
    auto* probe = new LatencyProbe(window, log);
    probe->setParent(&window);
    window.installEventFilter(probe);
}

LatencyProbe::LatencyProbe(CSensorMonitorDlg& window, std::FILE* log)
    : m_window(window), m_log(log) {}

LatencyProbe::~LatencyProbe() {
    std::fclose(m_log);
}

const SensorRecord* LatencyProbe::Displayed() const {
    const SensorAcquisition& acquisition = m_window.Acquisition();
    const auto selected = acquisition.Applier().SelectedAddress();
    return selected.has_value() ? acquisition.Table().FindSensor(*selected) : nullptr;
}

bool LatencyProbe::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &m_window || event->type() != QEvent::UpdateRequest)
        return QObject::eventFilter(watched, event);
    // The window paints its dirty widgets and hands the image to the display while it
    // handles this event, so the time after it is when the new pixels left the program.
    watched->event(event);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const SensorRecord* shown = Displayed();
    if (shown != nullptr && shown->frames != m_lastFrames) {
        m_lastFrames = shown->frames;
        std::fprintf(m_log, "%lld %d %llu\n",
                     static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec,
                     shown->address, static_cast<unsigned long long>(shown->frames));
        std::fflush(m_log);
    }
    return true;
}

}  // namespace sphyra

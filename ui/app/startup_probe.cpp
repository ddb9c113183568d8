#include "ui/app/startup_probe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace sphyra {

void StartupProbe::InstallIfAsked() {
    if (std::getenv(kVariable) == nullptr || QCoreApplication::instance() == nullptr) return;
    auto* probe = new StartupProbe(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(probe);
}

bool StartupProbe::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose) {
        auto* window = qobject_cast<QWindow*>(watched);
        if (window != nullptr && window->isExposed()) {
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
            std::fprintf(stderr, "%s %lld\n", kTag, ns);
            std::fflush(stderr);
            QCoreApplication::instance()->removeEventFilter(this);
            deleteLater();
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace sphyra

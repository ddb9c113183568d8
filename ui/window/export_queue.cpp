#include "ui/window/export_queue.h"

#include <chrono>
#include <exception>
#include <utility>

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace sphyra {

namespace {

// On Linux a thread has a niceness of its own, so only the export yields to the
// display and the port; elsewhere it runs at the program's priority.
void LowerThisThreadsPriority(int niceness) {
#if defined(__linux__)
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    const int now = ::getpriority(PRIO_PROCESS, tid);
    ::setpriority(PRIO_PROCESS, tid, now + niceness);
#else
    (void)niceness;
#endif
}

}  // namespace

ExportQueue::ExportQueue(Exporter exporter, QObject* parent)
    : QObject(parent), m_exporter(std::move(exporter)) {}

ExportQueue::~ExportQueue() {
    Shutdown();
}

void ExportQueue::SetExporter(Exporter exporter) {
    const std::lock_guard lock(m_mutex);
    m_exporter = std::move(exporter);
}

void ExportQueue::Enqueue(ExportRequest request) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping) return;
        request.progress = nullptr;
        m_waiting.push_back(std::move(request));
        if (!m_worker.joinable()) m_worker = std::thread([this] { Run(); });
    }
    m_wake.notify_one();
}

std::vector<ExportRequest> ExportQueue::Shutdown() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_cancel = true;
    }
    m_wake.notify_one();
    if (m_worker.joinable()) m_worker.join();
    const std::lock_guard lock(m_mutex);
    std::vector<ExportRequest> left = std::exchange(m_cancelled, {});
    for (ExportRequest& request : m_waiting) left.push_back(std::move(request));
    m_waiting.clear();
    return left;
}

void ExportQueue::Post(std::function<void()> call) {
    // Queued to this object: a call still waiting when the queue goes is dropped with it.
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void ExportQueue::Run() {
    LowerThisThreadsPriority(m_niceness);
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
        if (m_stopping) return;
        ExportRequest request = std::move(m_waiting.front());
        m_waiting.pop_front();
        const Exporter exporter = m_exporter;
        lock.unlock();

        Post([this, capture = QString::fromStdString(request.capture.string())] {
            emit Started(capture);
        });
        int shown = 0;
        Clock::time_point lastPost = Clock::now();
        request.progress = [&](std::uint64_t done, std::uint64_t total) {
            if (m_cancel) return false;
            const int percent = total == 0 ? 0 : static_cast<int>(done * 100 / total);
            const Clock::time_point now = Clock::now();
            if (percent != shown &&
                now - lastPost >= std::chrono::milliseconds(kProgressPeriodMs)) {
                shown = percent;
                lastPost = now;
                Post([this, percent] { emit Progressed(percent); });
            }
            return true;
        };
        ExportResult result;
        try {
            result = exporter(request);
        } catch (const std::exception& e) {
            // Out of memory, most likely: the export fails, the program goes on.
            result = {};
            result.error = e.what();
        }
        request.progress = nullptr;

        lock.lock();
        if (result.cancelled || (m_cancel && !result.ok)) {
            m_cancelled.push_back(std::move(request));
        } else {
            Post([this, request = std::move(request), result = std::move(result)] {
                emit Finished(request, result);
            });
        }
    }
}

}  // namespace sphyra

#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "export/capture_export.h"

namespace sphyra {

// Exports captures one at a time on a worker thread of its own, at a lower
// scheduling priority than the window's, so that a long export on a small machine
// never holds up the live display. Requests made while one runs wait their turn.
// What the worker has to say comes back to the owner's thread as signals, through
// the event loop; progress at most a few times a second.
class ExportQueue : public QObject {
    Q_OBJECT
public:
    using Exporter = std::function<ExportResult(const ExportRequest&)>;
    static constexpr int kProgressPeriodMs = 250;
    static constexpr int kNiceness = 10;  // added to the worker's scheduling niceness

    explicit ExportQueue(Exporter exporter = ExportCapture, QObject* parent = nullptr);
    ~ExportQueue() override;
    ExportQueue(const ExportQueue&) = delete;
    ExportQueue& operator=(const ExportQueue&) = delete;

    // Takes effect from the next export that begins.
    void SetExporter(Exporter exporter);
    // How much nicer than the program the worker runs; only before the first export.
    void SetNiceness(int niceness) { m_niceness = niceness; }
    // Queues `request` (its `progress` is the queue's own); ignored once shut down.
    void Enqueue(ExportRequest request);
    // Cancels the running export, drops the waiting ones and ends the worker.
    // Returns what was not exported: the running export if it stopped short, then
    // the waiting ones.
    std::vector<ExportRequest> Shutdown();

signals:
    void Started(const QString& capture);
    void Progressed(int percent);
    void Finished(const sphyra::ExportRequest& request, const sphyra::ExportResult& result);

private:
    void Run();
    void Post(std::function<void()> call);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<ExportRequest> m_waiting;
    std::vector<ExportRequest> m_cancelled;
    Exporter m_exporter;
    int m_niceness = kNiceness;
    bool m_stopping = false;
    std::atomic<bool> m_cancel{false};
    std::thread m_worker;
};

}  // namespace sphyra

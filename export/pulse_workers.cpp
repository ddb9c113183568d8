#include "export/pulse_workers.h"

#include <algorithm>

#include "analysis/pulse_analyzer.h"

namespace sphyra {

namespace {

// Large enough that handing a batch over costs nothing beside analysing it. Short
// enough in capture time that a beat comes back well within the annotation spool's
// window, and while its track position is still among the runs SampleRuns keeps.
constexpr std::size_t kBatchItems = 4096;
constexpr std::uint64_t kBatchUs = 1'000'000;

bool EarlierStep(const PulseEvent& a, const PulseEvent& b) {
    return a.step != b.step ? a.step < b.step : a.track < b.track;
}

}  // namespace

// One track's analysis, and what it found in the current batch. Only one thread at a
// time works on a track, and never on two batches at once.
class PulseWorkers::Track {
public:
    explicit Track(std::size_t index) : m_index(index) {}

    void Process(const Batch& batch) {
        events.clear();
        const auto self = static_cast<std::int32_t>(m_index);
        for (const Item& item : batch.items) {
            if (item.track == self) {
                if (!m_pulse) m_pulse = std::make_unique<analysis::PulseAnalyzer>();
                m_pulse->AddByteSamples(item.tick, batch.samples.data() + item.offset, item.count);
                Report(item, true);
            } else if (item.track < 0 && m_pulse) {  // not heard yet: nothing to advance
                m_pulse->Advance(item.tick);
                Report(item, false);
            }
        }
    }

    std::vector<PulseEvent> events;

private:
    // Every beat, and the status whenever it differs from the last one reported.
    void Report(const Item& item, bool beats) {
        PulseEvent event;
        event.step = item.step;
        event.timeUs = item.timeUs;
        event.track = static_cast<std::uint32_t>(m_index);
        event.state = static_cast<std::uint8_t>(m_pulse->Status().state);
        event.rateBpm = m_pulse->Status().rateBpm.value_or(-1.0);
        if (beats) {
            for (const analysis::Beat& beat : m_pulse->NewBeats()) {
                event.beat = 1;
                event.sampleIndex = beat.sampleIndex;
                events.push_back(event);
            }
        }
        if (event.beat == 0 &&
            (event.state != m_logged.state || event.rateBpm != m_logged.rateBpm)) {
            events.push_back(event);
        }
        m_logged = event;
    }

    std::size_t m_index;
    std::unique_ptr<analysis::PulseAnalyzer> m_pulse;
    PulseEvent m_logged;
};

unsigned PulseWorkers::DefaultThreads() {
    // One worker per core beside the exporting thread's own: on two cores a second worker
    // only makes three threads take turns, and the batch waits for whichever was pushed off
    // (measured: one worker beside the exporting thread was the fastest there).
    const unsigned cores = std::thread::hardware_concurrency();
    return cores <= 1 ? 0 : std::min(cores - 1, 4u);
}

PulseWorkers::PulseWorkers(std::size_t tracks, unsigned threads, Handler handler)
    : m_handler(std::move(handler)) {
    for (std::size_t i = 0; i < tracks; ++i) m_tracks.push_back(std::make_unique<Track>(i));
    m_filling.items.reserve(kBatchItems);
    for (unsigned i = 0; i < threads; ++i) m_threads.emplace_back([this] { Run(); });
}

PulseWorkers::~PulseWorkers() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads) t.join();
}

void PulseWorkers::AddFrame(std::uint64_t step, std::uint64_t timeUs, std::uint32_t tick,
                            std::size_t track, std::span<const std::uint8_t> samples) {
    m_filling.items.push_back({step, timeUs, tick, static_cast<std::int32_t>(track),
                               static_cast<std::uint32_t>(m_filling.samples.size()),
                               static_cast<std::uint32_t>(samples.size())});
    m_filling.samples.insert(m_filling.samples.end(), samples.begin(), samples.end());
    SubmitWhenFull();
}

void PulseWorkers::AddTime(std::uint64_t step, std::uint64_t timeUs, std::uint32_t tick) {
    m_filling.items.push_back({step, timeUs, tick, -1, 0, 0});
    SubmitWhenFull();
}

void PulseWorkers::SubmitWhenFull() {
    const std::vector<Item>& items = m_filling.items;
    if (items.size() >= kBatchItems || items.back().timeUs - items.front().timeUs >= kBatchUs) {
        Submit();
    }
}

void PulseWorkers::Finish() {
    Submit();
    WaitAndDeliver();
}

void PulseWorkers::Submit() {
    WaitAndDeliver();
    std::swap(m_running, m_filling);
    m_filling.items.clear();
    m_filling.samples.clear();
    {
        std::lock_guard lock(m_mutex);
        m_left = m_tracks.size();
        m_next = 0;
        m_busy = true;
        ++m_generation;
    }
    if (m_threads.empty()) {
        TakeTracks();
        return;
    }
    m_wake.notify_all();
}

void PulseWorkers::TakeTracks() {
    for (;;) {
        const std::size_t track = m_next.fetch_add(1);
        if (track >= m_tracks.size()) return;
        m_tracks[track]->Process(m_running);
        if (m_left.fetch_sub(1) == 1) {
            // Under the lock, so the exporting thread cannot miss it between its check and its
            // wait.
            std::lock_guard lock(m_mutex);
            m_done.notify_one();
        }
    }
}

void PulseWorkers::WaitAndDeliver() {
    if (!m_busy) return;
    TakeTracks();
    {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_left == 0; });
    }
    m_busy = false;
    // Each track's events are in step order already; merging them by step, then track,
    // gives the order of one thread analysing step by step.
    m_merged.clear();
    for (const auto& track : m_tracks) {
        const auto middle = static_cast<std::ptrdiff_t>(m_merged.size());
        m_merged.insert(m_merged.end(), track->events.begin(), track->events.end());
        std::inplace_merge(m_merged.begin(), m_merged.begin() + middle, m_merged.end(),
                           EarlierStep);
    }
    for (const PulseEvent& event : m_merged) m_handler(event);
}

void PulseWorkers::Run() {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
            if (m_stop) return;
            seen = m_generation;
        }
        // Late to a batch the others finished, this finds no track left and waits again.
        TakeTracks();
    }
}

}  // namespace sphyra

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

// The tracks one worker analyses (every n-th), and what it found in the current batch.
class PulseWorkers::Lane {
public:
    Lane(std::size_t tracks, std::size_t index, std::size_t lanes)
        : m_index(index), m_lanes(lanes), m_pulses(tracks), m_logged(tracks) {}

    void Process(const Batch& batch) {
        events.clear();
        for (const Item& item : batch.items) {
            if (item.track >= 0) {
                const auto track = static_cast<std::size_t>(item.track);
                if (track % m_lanes != m_index) continue;
                auto& pulse = m_pulses[track];
                if (!pulse) pulse = std::make_unique<analysis::PulseAnalyzer>();
                pulse->AddByteSamples(item.tick, batch.samples.data() + item.offset, item.count);
                Report(item, track, true);
                continue;
            }
            for (std::size_t track = m_index; track < m_pulses.size(); track += m_lanes) {
                if (!m_pulses[track]) continue;  // not heard yet
                m_pulses[track]->Advance(item.tick);
                Report(item, track, false);
            }
        }
    }

    std::vector<PulseEvent> events;

private:
    // Every beat, and the status whenever it differs from the last one reported.
    void Report(const Item& item, std::size_t track, bool beats) {
        const analysis::PulseAnalyzer& pulse = *m_pulses[track];
        PulseEvent event;
        event.step = item.step;
        event.timeUs = item.timeUs;
        event.track = static_cast<std::uint32_t>(track);
        event.state = static_cast<std::uint8_t>(pulse.Status().state);
        event.rateBpm = pulse.Status().rateBpm.value_or(-1.0);
        if (beats) {
            for (const analysis::Beat& beat : pulse.NewBeats()) {
                event.beat = 1;
                event.sampleIndex = beat.sampleIndex;
                events.push_back(event);
            }
        }
        PulseEvent& last = m_logged[track];
        if (event.beat == 0 && (event.state != last.state || event.rateBpm != last.rateBpm)) {
            events.push_back(event);
        }
        last = event;
    }

    std::size_t m_index;
    std::size_t m_lanes;
    std::vector<std::unique_ptr<analysis::PulseAnalyzer>> m_pulses;
    std::vector<PulseEvent> m_logged;
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
    const std::size_t lanes = std::max(1u, threads);
    for (std::size_t i = 0; i < lanes; ++i)
        m_lanes.push_back(std::make_unique<Lane>(tracks, i, lanes));
    m_filling.items.reserve(kBatchItems);
    for (unsigned i = 0; i < threads; ++i) m_threads.emplace_back([this, i] { Run(i); });
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
    if (m_threads.empty()) {
        m_lanes.front()->Process(m_running);
        m_busy = true;
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_pending = m_lanes.size();
        m_busy = true;
        ++m_generation;
    }
    m_wake.notify_all();
}

void PulseWorkers::WaitAndDeliver() {
    if (!m_busy) return;
    {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [this] { return m_pending == 0; });
    }
    m_busy = false;
    // Each lane's events are in step and track order already; merging them keeps it.
    m_merged.clear();
    for (const auto& lane : m_lanes) {
        const auto middle = static_cast<std::ptrdiff_t>(m_merged.size());
        m_merged.insert(m_merged.end(), lane->events.begin(), lane->events.end());
        std::inplace_merge(m_merged.begin(), m_merged.begin() + middle, m_merged.end(),
                           EarlierStep);
    }
    for (const PulseEvent& event : m_merged) m_handler(event);
}

void PulseWorkers::Run(std::size_t lane) {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
            if (m_stop) return;
            seen = m_generation;
        }
        m_lanes[lane]->Process(m_running);
        {
            std::lock_guard lock(m_mutex);
            --m_pending;
        }
        m_done.notify_one();
    }
}

}  // namespace sphyra

#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace sphyra {

// What the pulse analysis found at one step of the export: a beat, or a change
// of state or rate.
struct PulseEvent {
    std::uint64_t step = 0;  // the frame or chunk end it belongs to
    std::uint64_t timeUs = 0;
    std::uint32_t track = 0;
    std::uint8_t beat = 0;   // 1: a beat at `sampleIndex`; 0: only the status changed
    std::uint8_t state = 0;  // analysis::PulseState
    double rateBpm = -1;     // < 0: no rate
    std::uint64_t sampleIndex = 0;
};

// Runs each track's pulse analysis on worker threads while the exporting thread
// parses and writes. Steps go in batches: the exporting thread fills one while
// the workers analyse the one before, a track at a time, each taking the next
// track nobody has started. Once its batch is full the exporting thread takes
// tracks too, so however the work divides, neither side waits on the other with
// tracks left. The events come back to the exporting thread in step order, then
// track order, exactly as one thread analysing step by step would find them.
// Memory is two batches, whatever the capture's length.
class PulseWorkers {
public:
    using Handler = std::function<void(const PulseEvent&)>;

    // `threads` 0: the analysis runs on the calling thread, batch by batch.
    PulseWorkers(std::size_t tracks, unsigned threads, Handler handler);
    ~PulseWorkers();
    PulseWorkers(const PulseWorkers&) = delete;
    PulseWorkers& operator=(const PulseWorkers&) = delete;

    // A frame of `track` at `step`; the handler may be called for earlier steps.
    void AddFrame(std::uint64_t step, std::uint64_t timeUs, std::uint32_t tick, std::size_t track,
                  std::span<const std::uint8_t> samples);
    // Time reached `tick` at `step` for every track.
    void AddTime(std::uint64_t step, std::uint64_t timeUs, std::uint32_t tick);
    // Analyses what is left and hands over every event.
    void Finish();

    static unsigned DefaultThreads();

private:
    struct Item {
        std::uint64_t step;
        std::uint64_t timeUs;
        std::uint32_t tick;
        std::int32_t track;  // < 0: time passing
        std::uint32_t offset;
        std::uint32_t count;
    };
    struct Batch {
        std::vector<Item> items;
        std::vector<std::uint8_t> samples;
    };
    class Track;

    void SubmitWhenFull();
    void Submit();
    void TakeTracks();
    void WaitAndDeliver();
    void Run();

    Handler m_handler;
    std::vector<std::unique_ptr<Track>> m_tracks;
    std::vector<std::thread> m_threads;
    Batch m_filling;
    Batch m_running;
    std::vector<PulseEvent> m_merged;

    std::mutex m_mutex;
    std::condition_variable m_wake;  // workers: a new batch, or stop
    std::condition_variable m_done;  // exporting thread: every track finished the batch
    std::uint64_t m_generation = 0;
    std::atomic<std::size_t> m_next{0};  // the running batch's next track to take
    std::atomic<std::size_t> m_left{0};  // its tracks not finished yet
    bool m_busy = false;                 // a batch is out with the workers
    bool m_stop = false;
};

}  // namespace sphyra

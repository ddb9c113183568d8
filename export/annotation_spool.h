#pragma once

#include <cstdint>
#include <cstdio>
#include <queue>
#include <string>
#include <vector>

namespace sphyra {

// One annotation on its way into the EDF file. Times are in the file's unit, 100 µs.
struct SpooledAnnotation {
    std::int64_t place = 0;      // where it goes: its onset, or later when it came too late
    std::int64_t onset = 0;      // since the capture's start
    std::int64_t duration = -1;  // < 0: an instant
    std::string text;
};

// Keeps a whole export's annotations on disk instead of in memory, in the order
// they are to be placed in the file. They come nearly in onset order (a beat is
// found a little after its sample), so a window of the most recent ones is held
// back and sorted; one later than the window (a gap, annotated only when it ends)
// is placed where the stream stands when it comes, keeping its true onset. Memory
// is what the window holds, whatever the capture's length.
class AnnotationSpool {
public:
    // How far behind the newest onset an annotation may come and still be placed at its onset.
    static constexpr std::int64_t kWindow = 100'000;  // 10 s

    AnnotationSpool() = default;
    ~AnnotationSpool();
    AnnotationSpool(const AnnotationSpool&) = delete;
    AnnotationSpool& operator=(const AnnotationSpool&) = delete;

    bool Open(std::string& error);
    void Add(std::int64_t onset, std::int64_t duration, const std::string& text);
    // Writes out what the window holds and switches to reading from the start.
    bool StartReading(std::string& error);
    // The next annotation in placing order; false at the end.
    bool Next(SpooledAnnotation& annotation);

    std::uint64_t Count() const { return m_count; }
    // How many came later than the window allowed.
    std::uint64_t Late() const { return m_late; }

private:
    struct Held {
        std::int64_t onset;
        std::uint64_t order;  // keeps annotations with the same onset in the order they came
        std::int64_t duration;
        std::string text;
        bool operator>(const Held& other) const {
            return onset != other.onset ? onset > other.onset : order > other.order;
        }
    };
    void Emit(std::int64_t place, const Held& held);
    void Release(std::int64_t before);

    std::FILE* m_file = nullptr;
    std::priority_queue<Held, std::vector<Held>, std::greater<>> m_window;
    std::int64_t m_newest = 0;
    std::int64_t m_placed = 0;  // the place of the last annotation written out
    std::uint64_t m_count = 0;
    std::uint64_t m_late = 0;
};

}  // namespace sphyra

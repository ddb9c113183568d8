#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/acquisition/recording_sink.h"

namespace sphyra::test {

// The framing rules written out as plainly as possible over a growing byte
// vector and an index, to hold the ring parser against. The constants are
// spelled out on purpose instead of taken from the library.
class ReferenceParser {
public:
    static constexpr std::size_t kUnbounded = SIZE_MAX;

    // By default keeps, like the ring, only the newest 2047 unparsed bytes.
    explicit ReferenceParser(std::size_t keep = 2047) : m_keep(keep) {}

    void Append(const std::uint8_t* bytes, std::size_t n) {
        m_bytes.insert(m_bytes.end(), bytes, bytes + n);
        if (Unparsed() > m_keep) m_next = m_bytes.size() - m_keep;
    }

    std::size_t Unparsed() const { return m_bytes.size() - m_next; }
    // Where in everything appended each frame delivered so far began.
    const std::vector<std::size_t>& Starts() const { return m_starts; }

    // Every frame that can be completed from the bytes held so far.
    std::vector<ReceivedFrame> Parse() {
        std::vector<ReceivedFrame> frames;
        while (Unparsed() >= 8) {
            const std::uint8_t* p = m_bytes.data() + m_next;
            if (p[0] != 0xF0 || p[1] != 0xC0) {
                m_next += 1;
                continue;
            }
            const std::size_t n = p[6];
            if (Unparsed() < n + 8) break;
            if (n > 80) {
                m_next += 2;
                continue;
            }
            const std::size_t start = m_next;
            m_next += n + 8;
            unsigned sum = 0;
            for (std::size_t i = 0; i < n + 7; ++i) sum += p[i];
            if ((sum & 0xFFu) != p[n + 7]) continue;
            frames.push_back({p[2], p[3], p[4], Bytes(p + 7, p + 7 + n)});
            m_starts.push_back(start);
        }
        return frames;
    }

private:
    std::size_t m_keep;
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_next = 0;
    std::vector<std::size_t> m_starts;
};

}  // namespace sphyra::test

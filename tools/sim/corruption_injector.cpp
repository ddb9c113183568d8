#include "tools/sim/corruption_injector.h"

#include "acquisition/sensor_frame.h"
#include "tools/sim/frame_encoder.h"

namespace sphyra {
namespace {

std::uint8_t AvoidSync(std::uint8_t byte) {
    return byte == kSync1 ? static_cast<std::uint8_t>(kSync1 - 1) : byte;
}

}  // namespace

CorruptionInjector::CorruptionInjector(const CorruptionConfig& config, std::uint64_t seed)
    : m_config(config), m_random(seed) {
    if (config.garbage) m_kinds.push_back(CorruptionKind::kGarbage);
    if (config.badChecksum) m_kinds.push_back(CorruptionKind::kBadChecksum);
    if (config.overLong) m_kinds.push_back(CorruptionKind::kOverLong);
}

CorruptionKind CorruptionInjector::Decide() {
    if (m_kinds.empty() || m_config.rate <= 0.0) return CorruptionKind::kNone;
    if (!m_random.Chance(m_config.rate)) return CorruptionKind::kNone;
    return m_kinds[m_random.UniformInt(0, m_kinds.size() - 1)];
}

std::uint8_t CorruptionInjector::NonSyncByte() {
    // 255 values, the sync byte's slot shifted onto the value above it.
    const auto byte = static_cast<std::uint8_t>(m_random.UniformInt(0, 254));
    return byte >= kSync1 ? static_cast<std::uint8_t>(byte + 1) : byte;
}

std::size_t CorruptionInjector::AppendGarbage(std::vector<std::uint8_t>& out) {
    const auto count = static_cast<std::size_t>(
        m_random.UniformInt(1, static_cast<std::uint64_t>(m_config.maxGarbageBytes)));
    for (std::size_t i = 0; i < count; ++i) out.push_back(NonSyncByte());
    return count;
}

std::size_t CorruptionInjector::AppendBadChecksumFrame(std::vector<std::uint8_t>& out,
                                                       std::uint8_t address, std::uint8_t gain,
                                                       std::uint8_t battery,
                                                       std::span<const std::uint8_t> samples) {
    const std::size_t written = AppendFrame(out, address, gain, battery, samples);
    out.back() = static_cast<std::uint8_t>(out.back() + m_random.UniformInt(1, 255));
    return written;
}

std::size_t CorruptionInjector::AppendOverLongFrame(std::vector<std::uint8_t>& out,
                                                    std::uint8_t address, std::uint8_t gain,
                                                    std::uint8_t battery,
                                                    std::span<const std::uint8_t> samples) {
    const std::size_t start = out.size();
    // 81-255, but never the sync byte itself: the length byte is the first one a
    // receiver looks at again after dropping the sync pair.
    auto claimed = static_cast<std::size_t>(m_random.UniformInt(kMaxFrameSamples + 1, 254));
    if (claimed >= kSync1) ++claimed;
    out.push_back(kSync1);
    out.push_back(kSync2);
    out.push_back(AvoidSync(address));
    out.push_back(AvoidSync(gain));
    out.push_back(AvoidSync(battery));
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(claimed));
    for (std::size_t i = 0; i < claimed; ++i) {
        out.push_back(i < samples.size() ? AvoidSync(samples[i]) : NonSyncByte());
    }
    const int summed = static_cast<int>(out.size() - start);
    out.push_back(AvoidSync(Checksum8(out.data() + start, summed)));
    return out.size() - start;
}

}  // namespace sphyra

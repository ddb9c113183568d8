#include "tools/sim/frame_encoder.h"

#include <stdexcept>

#include "acquisition/sensor_frame.h"

namespace sphyra {

std::vector<std::uint8_t> EncodeFrame(std::uint8_t address, std::uint8_t gain, std::uint8_t battery,
                                      std::span<const std::uint8_t> samples) {
    std::vector<std::uint8_t> out;
    out.reserve(samples.size() + kFrameOverhead);
    AppendFrame(out, address, gain, battery, samples);
    return out;
}

std::size_t AppendFrame(std::vector<std::uint8_t>& out, std::uint8_t address, std::uint8_t gain,
                        std::uint8_t battery, std::span<const std::uint8_t> samples) {
    if (samples.size() > static_cast<std::size_t>(kMaxFrameSamples)) {
        throw std::invalid_argument("a frame holds at most 80 samples");
    }
    const std::size_t start = out.size();
    out.push_back(kSync1);
    out.push_back(kSync2);
    out.push_back(address);
    out.push_back(gain);
    out.push_back(battery);
    out.push_back(0);
    out.push_back(static_cast<std::uint8_t>(samples.size()));
    out.insert(out.end(), samples.begin(), samples.end());
    const int summed = static_cast<int>(out.size() - start);
    out.push_back(Checksum8(out.data() + start, summed));
    return out.size() - start;
}

}  // namespace sphyra

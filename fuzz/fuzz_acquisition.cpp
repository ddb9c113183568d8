// Feeds arbitrary bytes, cut into batches the input chooses, through the whole
// acquisition path and traps on any broken invariant. Every delivered frame is
// held against the plain reference parser fed the same batches, so a frame with
// a bad checksum or length, or a lost or invented frame, is caught. Batches of
// 1 to 4081 bytes make frames lie anywhere in the ring, across its end too, and
// the display checks the per-frame sample batch as well as single samples.
//
// Input: options byte, batch-size count byte, that many batch-size bytes, then
// the received stream.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/tick_clock.h"
#include "tests/acquisition/reference_parser.h"

namespace sphyra {
namespace {

constexpr std::uint8_t kFilterEnabled = 0x01;
constexpr std::uint8_t kFilterPresent = 0x02;
constexpr std::uint8_t kLargeBatches = 0x04;
constexpr std::uint8_t kClockNearWrap = 0x08;
constexpr std::uint8_t kOperatorSelects = 0x10;
constexpr std::uint8_t kOperatorPurges = 0x20;

void Require(bool holds) {
    if (!holds) __builtin_trap();
}

std::uint16_t Scramble(std::uint16_t sample) {
    return static_cast<std::uint16_t>(sample * 251u + 0x1234u);
}

std::size_t HistoryCount(const SensorRecord& record) {
    std::array<std::uint16_t, SampleRing::kCapacity> samples{};
    const std::size_t count = record.history->SnapshotHistory(samples);
    Require(count <= SampleRing::kMaxSamples && count == record.history->Count());
    return count;
}

// Checks every call against the frame being applied: samples reach the view
// only for the sensor on display, unchanged and in order.
class CheckingDisplay final : public SensorDisplay {
public:
    explicit CheckingDisplay(const TickClock& clock) : m_clock(clock) {}

    void BeginFrame(std::uint8_t address, std::vector<std::uint16_t> shown) {
        m_address = address;
        m_shown = std::move(shown);
        m_next = 0;
    }
    void EndFrame() {
        Require(m_next == m_shown.size());
        m_address.reset();
    }

    void AddSample(std::uint16_t value) override {
        Require(m_address.has_value() && m_next < m_shown.size());
        Require(value == m_shown[m_next++]);
    }
    // Raw samples come as one batch holding the whole frame.
    void AddSamples(std::span<const std::uint8_t> samples) override {
        Require(m_next == 0 && samples.size() == m_shown.size());
        for (const std::uint8_t sample : samples) AddSample(sample);
    }
    void AddSensorRow(const SensorRecord& record) override { CheckRow(record); }
    void UpdateSensorRow(const SensorRecord& record) override { CheckRow(record); }
    void SelectSensor(const SensorRecord& record) override { HistoryCount(record); }

private:
    void CheckRow(const SensorRecord& record) {
        Require(m_address == record.address);
        Require(record.lastTick == m_clock.NowTick());
        HistoryCount(record);
    }

    const TickClock& m_clock;
    std::optional<std::uint8_t> m_address;
    std::vector<std::uint16_t> m_shown;
    std::size_t m_next = 0;
};

// Sits between the parser and frame application and compares each frame with
// the reference's next one before passing it on.
class CheckingSink final : public FrameSink {
public:
    CheckingSink(SensorAcquisition& acquisition, CheckingDisplay& display)
        : m_acquisition(acquisition), m_display(display) {}

    void Expect(std::vector<test::ReceivedFrame> frames) {
        m_expected = std::move(frames);
        m_next = 0;
    }
    bool AllSeen() const { return m_next == m_expected.size(); }

    void OnFrame(const SensorFrame& frame) override {
        Require(frame.sampleCount <= kMaxFrameSamples);
        Require(frame.samples != nullptr);
        Require(m_next < m_expected.size());
        Require(test::CopyFrame(frame) == m_expected[m_next++]);

        FrameApplier& applier = m_acquisition.Applier();
        const bool filtered = applier.SoftFilterEnabled() && applier.Filter() != nullptr;
        std::vector<std::uint16_t> stored;
        for (int i = 0; i < frame.sampleCount; ++i)
            stored.push_back(filtered ? applier.Filter()(frame.samples[i]) : frame.samples[i]);
        const bool displayed = applier.SelectedAddress() == frame.address;
        m_display.BeginFrame(frame.address, displayed ? stored : std::vector<std::uint16_t>{});
        applier.OnFrame(frame);
        m_display.EndFrame();

        // The history ends with exactly this frame's samples.
        const SensorRecord* record = m_acquisition.Table().FindSensor(frame.address);
        Require(record != nullptr && record->gain == frame.gain &&
                record->battery == frame.battery);
        std::array<std::uint16_t, SampleRing::kCapacity> history{};
        const std::size_t count = record->history->SnapshotHistory(history);
        Require(count >= stored.size());
        for (std::size_t i = 0; i < stored.size(); ++i)
            Require(history[count - stored.size() + i] == stored[i]);
    }

private:
    SensorAcquisition& m_acquisition;
    CheckingDisplay& m_display;
    std::vector<test::ReceivedFrame> m_expected;
    std::size_t m_next = 0;
};

void Run(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return;
    const std::uint8_t options = data[0];
    const std::size_t sizeCount = 1u + data[1] % 16u;
    if (size < 2 + sizeCount) return;
    const std::uint8_t* batchSizes = data + 2;
    const std::uint8_t* stream = batchSizes + sizeCount;
    const std::size_t streamSize = size - 2 - sizeCount;
    const std::size_t scale = (options & kLargeBatches) != 0 ? 16 : 1;

    ManualTickClock clock((options & kClockNearWrap) != 0 ? 0xFFFFFF00u : 1u);
    CheckingDisplay display(clock);
    SensorAcquisition acquisition(clock, display);
    acquisition.Applier().SetSoftFilterEnabled((options & kFilterEnabled) != 0);
    if ((options & kFilterPresent) != 0) acquisition.Applier().SetFilter(&Scramble);
    CheckingSink sink(acquisition, display);
    test::ReferenceParser reference;
    ReceiveRing& ring = acquisition.Ring();

    for (std::size_t offset = 0, batch = 0; offset < streamSize; ++batch) {
        const std::uint8_t sizeByte = batchSizes[batch % sizeCount];
        std::size_t n = 1 + sizeByte * scale;
        if (n > streamSize - offset) n = streamSize - offset;

        ring.AppendReceived(stream + offset, n);
        reference.Append(stream + offset, n);
        offset += n;
        Require(ring.Available() <= ReceiveRing::kSize - 1);
        Require(ring.Available() == reference.Unparsed());

        sink.Expect(reference.Parse());
        ring.ParseReceiveRing(sink);
        Require(sink.AllSeen());
        Require(ring.Available() == reference.Unparsed());

        SensorTable& table = acquisition.Table();
        for (std::size_t i = 0; i < table.Size(); ++i) HistoryCount(table.At(i));
        if (table.Size() > 0 && (options & kOperatorSelects) != 0 && sizeByte % 7 == 0)
            Require(acquisition.Applier().SelectSensor(table.At(sizeByte % table.Size()).address));
        if (table.Size() > 0 && (options & kOperatorPurges) != 0 && sizeByte % 11 == 0)
            table.RemoveSensor(table.At(sizeByte % table.Size()).address);
        clock.Advance(sizeByte);
    }
}

}  // namespace
}  // namespace sphyra

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    sphyra::Run(data, size);
    return 0;
}

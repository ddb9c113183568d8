#include "serial/serial_connection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <stdexcept>

#include "tests/serial/recording_display.h"
#include "tests/serial/temp_dir.h"
#include "tests/serial/test_frames.h"

namespace sphyra {
namespace {

using test::MakeFrame;
using test::ReadFile;
using test::RecordingDisplay;
using test::TempDir;

// Records every property access in order and plays a port whose behaviour the
// test sets. Input honours InputLen and the 2047-byte delivery limit as CMSComm does.
class FakeComm final : public CommControl {
public:
    explicit FakeComm(const ManualTickClock& clock) : m_clock(clock) {}

    void SetCommPort(std::int16_t v) override { Log("CommPort=" + std::to_string(v)); }
    void SetSettings(const std::string& v) override { Log("Settings=" + v); }
    void SetInBufferSize(std::int16_t v) override { Log("InBufferSize=" + std::to_string(v)); }
    void SetOutBufferSize(std::int16_t v) override { Log("OutBufferSize=" + std::to_string(v)); }
    void SetInputMode(std::int32_t v) override { Log("InputMode=" + std::to_string(v)); }
    void SetRThreshold(std::int16_t v) override { Log("RThreshold=" + std::to_string(v)); }
    void SetSThreshold(std::int16_t v) override { Log("SThreshold=" + std::to_string(v)); }
    void SetInputLen(std::int16_t v) override {
        Log("InputLen=" + std::to_string(v));
        inputLen = v;
    }
    void SetDTREnable(bool v) override { Log(std::string("DTREnable=") + (v ? "1" : "0")); }
    void SetRTSEnable(bool v) override { Log(std::string("RTSEnable=") + (v ? "1" : "0")); }

    bool GetPortOpen() const override {
        Log("PortOpen?");
        lastOpenReadTick = m_clock.NowTick();
        return open;
    }
    void SetPortOpen(bool v) override {
        Log(std::string("PortOpen=") + (v ? "1" : "0"));
        if (v && openError) throw CommError(*openError);
        open = v ? opensFine : false;
    }
    std::int16_t GetInBufferCount() const override {
        Log("InBufferCount?");
        if (countOverride) return *countOverride;
        return static_cast<std::int16_t>(std::min<std::size_t>(waiting.size(), 2047));
    }
    std::vector<std::uint8_t> GetInput() override {
        Log("Input?");
        std::size_t n = std::min<std::size_t>(waiting.size(), 2047);
        if (inputLen > 0) n = std::min<std::size_t>(n, static_cast<std::size_t>(inputLen));
        std::vector<std::uint8_t> bytes(waiting.begin(), waiting.begin() + static_cast<long>(n));
        waiting.erase(waiting.begin(), waiting.begin() + static_cast<long>(n));
        inputSizes.push_back(n);
        return bytes;
    }
    std::int16_t GetCommEvent() const override {
        Log("CommEvent?");
        return commEvent;
    }

    void Log(const std::string& entry) const { log.push_back(entry); }

    mutable std::vector<std::string> log;
    mutable Tick lastOpenReadTick = 0;
    bool open = false;
    bool opensFine = true;
    std::optional<std::string> openError;
    std::int16_t commEvent = kCommEvReceive;
    std::int16_t inputLen = 0;
    std::optional<std::int16_t> countOverride;
    std::deque<std::uint8_t> waiting;
    std::vector<std::size_t> inputSizes;

private:
    const ManualTickClock& m_clock;
};

class SerialConnectionTest : public ::testing::Test {
protected:
    ManualTickClock clock{1000};
    RecordingDisplay display;
    SensorAcquisition acquisition{clock, display};
    TempDir dir;
    PortSettingsFile settings{dir / "sphyra.ini"};
    FakeComm comm{clock};
    SerialConnection connection{comm, clock, acquisition, settings};
};

TEST_F(SerialConnectionTest, OpenPortPutsThePropertiesInOrderThenWaitsAndReadsBack) {
    EXPECT_TRUE(connection.OpenPort(3, 115200));
    EXPECT_EQ(comm.log,
              (std::vector<std::string>{"CommPort=3", "InBufferSize=2048", "OutBufferSize=512",
                                        "InputMode=1", "Settings=115200,n,8,1", "RThreshold=1",
                                        "SThreshold=1", "InputMode=1", "InputLen=0", "DTREnable=1",
                                        "RTSEnable=1", "PortOpen?", "PortOpen=1", "PortOpen?"}));
    EXPECT_EQ(comm.lastOpenReadTick, 1500u);  // read back after the 500 ms wait

    // Already open: no second open, the same wait and read-back.
    comm.log.clear();
    EXPECT_TRUE(connection.OpenPort(3, 9600));
    EXPECT_EQ(std::count(comm.log.begin(), comm.log.end(), "PortOpen=1"), 0);
    EXPECT_EQ(comm.log.back(), "PortOpen?");
}

TEST_F(SerialConnectionTest, OpenPortRefusesPortNumbersBelowOne) {
    std::string message;
    EXPECT_FALSE(connection.OpenPort(0, 115200, &message));
    EXPECT_EQ(message, "端口号错误!");
    EXPECT_TRUE(comm.log.empty());
}

TEST_F(SerialConnectionTest, OpenCloseRefusesMissingPortOrLowBaudAndWritesNothing) {
    auto outcome = connection.OnOpenClose(std::nullopt, "115200");
    EXPECT_EQ(outcome.kind, OpenCloseOutcome::Kind::Refused);
    EXPECT_EQ(outcome.message, "请选择通信端口号!");

    for (const char* baud : {"1200", "0", "abc", "", "-115200", " 1200x"}) {
        outcome = connection.OnOpenClose(0, baud);
        EXPECT_EQ(outcome.kind, OpenCloseOutcome::Kind::Refused) << baud;
        EXPECT_EQ(outcome.message, "请输入正确的波特率!") << baud;
    }
    EXPECT_EQ(std::count(comm.log.begin(), comm.log.end(), "PortOpen=1"), 0);
    EXPECT_FALSE(std::filesystem::exists(settings.Path()));
}

TEST_F(SerialConnectionTest, SuccessfulOpenWritesPortAndBaud) {
    auto outcome = connection.OnOpenClose(0, "1201");
    EXPECT_EQ(outcome.kind, OpenCloseOutcome::Kind::Opened);
    EXPECT_TRUE(outcome.message.empty());
    EXPECT_EQ(ReadFile(settings.Path()), "[Main]\nCommPort=1\nCommBaud=1201\n");

    comm.open = false;
    outcome = connection.OnOpenClose(2, "57600abc");  // leading digits count, like atoi
    EXPECT_EQ(outcome.kind, OpenCloseOutcome::Kind::Opened);
    EXPECT_EQ(std::count(comm.log.begin(), comm.log.end(), "Settings=57600,n,8,1"), 1);
    EXPECT_EQ(ReadFile(settings.Path()), "[Main]\nCommPort=3\nCommBaud=57600\n");
}

TEST_F(SerialConnectionTest, PortStillClosedAfterTheWaitIsAFailureAndWritesNothing) {
    comm.opensFine = false;
    const auto outcome = connection.OnOpenClose(0, "115200");
    EXPECT_EQ(outcome.kind, OpenCloseOutcome::Kind::Failed);
    EXPECT_EQ(outcome.message, "通信端口打开失败!");
    EXPECT_FALSE(std::filesystem::exists(settings.Path()));
}

TEST_F(SerialConnectionTest, ControlErrorPassesThroughAndWritesNothing) {
    comm.openError = "No such device: /dev/ttyUSB0 (COM1).";
    try {
        connection.OnOpenClose(0, "115200");
        FAIL() << "CommError expected";
    } catch (const CommError& error) {
        EXPECT_STREQ(error.what(), "No such device: /dev/ttyUSB0 (COM1).");
    }
    EXPECT_FALSE(std::filesystem::exists(settings.Path()));
}

TEST_F(SerialConnectionTest, OpenCloseOnAnOpenPortClosesIt) {
    comm.open = true;
    const auto outcome = connection.OnOpenClose(std::nullopt, "");
    EXPECT_EQ(outcome.kind, OpenCloseOutcome::Kind::Closed);
    EXPECT_EQ(comm.log, (std::vector<std::string>{"PortOpen?", "PortOpen?", "PortOpen=0"}));
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(settings.Path()));

    comm.log.clear();
    connection.ClosePort();  // closed already: nothing put
    EXPECT_EQ(comm.log, std::vector<std::string>{"PortOpen?"});
}

TEST_F(SerialConnectionTest, OtherEventsReadAndParseNothing) {
    const auto frame = MakeFrame(5, 10, 90, {0x10, 0x20});
    comm.waiting.assign(frame.begin(), frame.end());
    comm.commEvent = 3;  // a line-state change
    EXPECT_EQ(connection.OnCommEvent(), CommNotice::Ignored);
    comm.commEvent = kCommEvDeviceLost;
    EXPECT_EQ(connection.OnCommEvent(), CommNotice::DeviceLost);
    EXPECT_EQ(comm.log, (std::vector<std::string>{"CommEvent?", "CommEvent?"}));
    EXPECT_TRUE(display.added.empty());
}

TEST_F(SerialConnectionTest, ReceivedFrameReachesTheDisplay) {
    const std::vector<std::uint8_t> known = {0xF0, 0xC0, 0x05, 0x0A, 0x5A,
                                             0x00, 0x02, 0x10, 0x20, 0x4B};
    EXPECT_EQ(MakeFrame(5, 10, 90, {0x10, 0x20}), known);
    comm.waiting.assign(known.begin(), known.end());
    EXPECT_EQ(connection.OnCommEvent(), CommNotice::DataReceived);
    EXPECT_EQ(display.added, std::vector<std::uint8_t>{5});
    const SensorRecord* record = acquisition.Table().FindSensor(5);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->gain, 10);
    EXPECT_EQ(record->battery, 90);
    EXPECT_EQ(comm.inputLen, 0);  // left as it was put when opening
}

// The bytes that arrive between InBufferCount and Input are kept, not dropped.
TEST_F(SerialConnectionTest, BytesBeyondTheCountReadEarlierAreKept) {
    const auto frame = MakeFrame(7, 1, 50, {1, 2, 3, 4});
    comm.waiting.assign(frame.begin(), frame.end());
    comm.countOverride = 3;
    EXPECT_EQ(connection.OnCommEvent(), CommNotice::DataReceived);
    EXPECT_EQ(display.added, std::vector<std::uint8_t>{7});
    EXPECT_TRUE(comm.waiting.empty());
}

// A backlog larger than the ring arrives in several notifications, each taking
// no more than the ring has room for, so every frame survives.
TEST_F(SerialConnectionTest, BacklogLargerThanTheRingLosesNoFrame) {
    std::vector<std::uint8_t> samples(80);
    const int frames = 200;  // 17600 bytes
    for (int i = 0; i < frames; ++i) {
        for (std::size_t j = 0; j < samples.size(); ++j) {
            samples[j] = static_cast<std::uint8_t>(i + static_cast<int>(j));
        }
        const auto frame = MakeFrame(9, 1, 1, samples);
        comm.waiting.insert(comm.waiting.end(), frame.begin(), frame.end());
    }
    int notifications = 0;
    while (!comm.waiting.empty() && notifications < 100) {
        ASSERT_EQ(connection.OnCommEvent(), CommNotice::DataReceived);
        ++notifications;
    }
    EXPECT_TRUE(comm.waiting.empty());
    EXPECT_GT(notifications, 8);
    for (std::size_t size : comm.inputSizes) EXPECT_LE(size, ReceiveRing::kSize - 1);
    // The first frame selects the sensor; every later one reaches the view.
    ASSERT_EQ(display.samples.size(), static_cast<std::size_t>((frames - 1) * 80));
    for (int i = 1; i < frames; ++i) {
        EXPECT_EQ(display.samples[static_cast<std::size_t>((i - 1) * 80)], i & 0xFF) << i;
    }
}

// Notes what the connection shows it, the way the recorder sees it.
class TapLog final : public ReceiveTap {
public:
    void OnReceived(const std::uint8_t* bytes, std::size_t n) override {
        reads.emplace_back(bytes, bytes + n);
    }
    void OnPortOpened(int port, int baud) override {
        events.push_back("opened " + std::to_string(port) + " " + std::to_string(baud));
    }
    void OnPortClosed() override { events.push_back("closed"); }
    void OnDeviceLost() override { events.push_back("lost"); }

    std::vector<std::vector<std::uint8_t>> reads;
    std::vector<std::string> events;
};

// The tap sees every read exactly as the port returned it, in order, even when a
// backlog is taken in ring-sized pieces, and the port's open, close and loss; what
// the display gets is the same as with no tap.
TEST_F(SerialConnectionTest, TheTapSeesEveryReadAndPortEventAsTheParserDoes) {
    TapLog tap;
    connection.SetReceiveTap(&tap);
    EXPECT_EQ(connection.OnOpenClose(1, "115200").kind, OpenCloseOutcome::Kind::Opened);

    std::vector<std::uint8_t> sent;
    for (int i = 0; i < 60; ++i) {
        const auto frame = MakeFrame(static_cast<std::uint8_t>(1 + i % 3), 1, 50,
                                     std::vector<std::uint8_t>(80, static_cast<std::uint8_t>(i)));
        sent.insert(sent.end(), frame.begin(), frame.end());
    }
    comm.waiting.assign(sent.begin(), sent.end());
    while (!comm.waiting.empty()) ASSERT_EQ(connection.OnCommEvent(), CommNotice::DataReceived);

    std::vector<std::uint8_t> tapped;
    for (const auto& read : tap.reads) tapped.insert(tapped.end(), read.begin(), read.end());
    EXPECT_EQ(tapped, sent);
    ASSERT_EQ(tap.reads.size(), comm.inputSizes.size());
    for (std::size_t i = 0; i < tap.reads.size(); ++i)
        EXPECT_EQ(tap.reads[i].size(), comm.inputSizes[i]);
    EXPECT_EQ(display.samples.size(), 19U * 80U);  // the chosen sensor's, after the first

    comm.commEvent = kCommEvDeviceLost;
    comm.open = false;
    EXPECT_EQ(connection.OnCommEvent(), CommNotice::DeviceLost);
    connection.ClosePort();  // already closed by the loss: no second event
    comm.open = true;
    connection.ClosePort();
    EXPECT_EQ(tap.events, (std::vector<std::string>{"opened 2 115200", "lost", "closed"}));
}

}  // namespace
}  // namespace sphyra

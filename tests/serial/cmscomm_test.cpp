#include "serial/cmscomm.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "serial/open_failure.h"
#include "serial/port_map.h"
#include "serial/serial_connection.h"
#include "tests/serial/event_wait.h"
#include "tests/serial/pty_pair.h"
#include "tests/serial/pty_port_fixture.h"
#include "tests/serial/recording_display.h"
#include "tests/serial/temp_dir.h"
#include "tests/serial/test_frames.h"

namespace sphyra {
namespace {

using test::MakeFrame;
using test::PtyConnectionTest;
using test::PtyPair;
using test::PtyPortTest;
using test::ReadFile;
using test::RecordingDisplay;
using test::RunFor;
using test::RunUntil;
using test::TempDir;
using test::WriteFile;

double CpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string ErrorText(CMSComm& comm) {
    try {
        comm.SetPortOpen(true);
    } catch (const CommError& error) {
        return error.what();
    }
    return "(opened)";
}

TEST(CMSCommTest, RefusesInvalidPropertyValues) {
    CMSComm comm([](int) { return std::string(); });
    EXPECT_EQ(comm.GetSettings(), "9600,n,8,1");
    EXPECT_THROW(comm.SetSettings("115200,n,8"), CommError);
    EXPECT_THROW(comm.SetCommPort(0), CommError);
    EXPECT_THROW(comm.SetInBufferSize(0), CommError);
    EXPECT_THROW(comm.SetInputLen(-1), CommError);
    EXPECT_THROW(comm.SetInputMode(2), CommError);
    comm.SetSettings("57600,e,7,2");
    EXPECT_EQ(comm.GetSettings(), "57600,e,7,2");
    EXPECT_FALSE(comm.GetPortOpen());
}

TEST(CMSCommTest, PermissionTextNamesTheDeviceAndItsGroup) {
    const std::string text =
        OpenFailureText(OpenFailure::PermissionDenied, "COM1", "/dev/ttyUSB0", "", "dialout");
    EXPECT_NE(text.find("/dev/ttyUSB0"), std::string::npos);
    EXPECT_NE(text.find("dialout"), std::string::npos);
    EXPECT_NE(text.find("Permission denied"), std::string::npos);

    // Joining root (or any group not meant for devices) is no advice: owner and mode instead.
    const std::string rootOwned =
        OpenFailureText(OpenFailure::PermissionDenied, "COM1", "/dev/ttyS0", "", "root",
                        "user root, group root, mode crw-------");
    EXPECT_EQ(rootOwned.find("usermod"), std::string::npos) << rootOwned;
    EXPECT_NE(rootOwned.find("crw-------"), std::string::npos) << rootOwned;
    EXPECT_EQ(DeviceOwnership("/dev/null").substr(0, 10), "user root,");
}

TEST_F(PtyConnectionTest, OpeningAppliesTheSettingsAndFramesReachTheDisplay) {
    const auto outcome = connection.OnOpenClose(2, "57600");
    ASSERT_EQ(outcome.kind, OpenCloseOutcome::Kind::Opened) << outcome.message;
    EXPECT_EQ(comm.DevicePath(), link.string());

    termios tio{};
    ASSERT_EQ(::tcgetattr(pty->SlaveFd(), &tio), 0);
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B57600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB), 0u);

    // The operator's "Ports" section survives the settings write.
    const std::string ini = ReadFile(settingsPath);
    EXPECT_EQ(ini.rfind("; test\n[Ports]\nCOM3=", 0), 0u);
    EXPECT_EQ(settings.ReadPortSettings().port, 3);
    EXPECT_EQ(settings.ReadPortSettings().baud, 57600);

    pty->Send({0xF0, 0xC0, 0x05, 0x0A, 0x5A, 0x00, 0x02, 0x10, 0x20, 0x4B});
    ASSERT_TRUE(RunUntil([&] { return !display.added.empty(); }));
    EXPECT_EQ(display.added, std::vector<std::uint8_t>{5});
    EXPECT_EQ(display.selected, std::vector<std::uint8_t>{5});
    EXPECT_EQ(acquisition.Table().FindSensor(5)->battery, 90);

    // The next frame of the selected sensor goes to the view.
    pty->Send(MakeFrame(5, 10, 90, {0x30, 0x40, 0x50}));
    ASSERT_TRUE(RunUntil([&] { return display.samples.size() == 3; }));
    EXPECT_EQ(display.samples, (std::vector<std::uint16_t>{0x30, 0x40, 0x50}));

    EXPECT_EQ(connection.OnOpenClose(2, "57600").kind, OpenCloseOutcome::Kind::Closed);
    EXPECT_FALSE(comm.GetPortOpen());
}

TEST_F(PtyConnectionTest, HundredKilobytesInOneGoArriveAsCompleteFrames) {
    ASSERT_EQ(connection.OnOpenClose(2, "115200").kind, OpenCloseOutcome::Kind::Opened);
    constexpr std::size_t kSamples = 80;
    std::vector<std::uint8_t> burst;
    int frames = 0;
    std::vector<std::uint8_t> samples(kSamples);
    while (burst.size() < 100 * 1024) {
        samples[0] = static_cast<std::uint8_t>(frames & 0xFF);
        samples[1] = static_cast<std::uint8_t>(frames >> 8);
        for (std::size_t j = 2; j < kSamples; ++j) {
            samples[j] = static_cast<std::uint8_t>(frames * 7 + static_cast<int>(j));
        }
        const auto frame = MakeFrame(0x21, 3, 77, samples);
        burst.insert(burst.end(), frame.begin(), frame.end());
        ++frames;
    }
    pty->Send(burst);

    // The first frame selects the sensor; the samples of every later frame reach the view.
    const std::size_t expected = static_cast<std::size_t>(frames - 1) * kSamples;
    ASSERT_TRUE(RunUntil([&] { return display.samples.size() >= expected; }, 30000))
        << display.samples.size() << " of " << expected;
    RunFor(50);
    ASSERT_EQ(display.samples.size(), expected);
    for (int i = 1; i < frames; ++i) {
        const std::size_t at = static_cast<std::size_t>(i - 1) * kSamples;
        ASSERT_EQ(display.samples[at], i & 0xFF) << "frame " << i;
        ASSERT_EQ(display.samples[at + 1], i >> 8) << "frame " << i;
    }
    EXPECT_LE(maxOffered, 2047);
    std::printf("[ info ] %d frames, %zu bytes, %zu notifications, largest offer %d bytes\n",
                frames, burst.size(), notices.size(), maxOffered);
}

TEST_F(PtyConnectionTest, LostDeviceClosesThePortQuietlyAndItOpensAgainLater) {
    ASSERT_EQ(connection.OnOpenClose(2, "115200").kind, OpenCloseOutcome::Kind::Opened);
    pty->Send(MakeFrame(1, 2, 3, {4}));
    ASSERT_TRUE(RunUntil([&] { return !display.added.empty(); }));

    const double cpuBefore = CpuSeconds();
    pty->CloseMaster();
    ASSERT_TRUE(RunUntil([&] { return Count(CommNotice::DeviceLost) == 1; }));
    EXPECT_FALSE(comm.GetPortOpen());
    EXPECT_FALSE(connection.IsOpen());
    const double cpuToNotice = CpuSeconds() - cpuBefore;

    // Nothing more happens: no further notifications and no busy loop.
    const std::size_t noticesBefore = notices.size();
    const double cpuIdleStart = CpuSeconds();
    RunFor(500);
    const double cpuIdle = CpuSeconds() - cpuIdleStart;
    EXPECT_EQ(notices.size(), noticesBefore);
    EXPECT_EQ(Count(CommNotice::DeviceLost), 1);
    EXPECT_LT(cpuIdle, 0.25) << "the event loop is spinning";  // a spin would burn ~0.5 s
    std::printf("[ info ] cpu until loss noticed %.3f s; cpu over 0.5 s idle %.3f s\n", cpuToNotice,
                cpuIdle);

    // The device comes back (a new terminal behind the same name).
    pty = std::make_unique<PtyPair>();
    PointLinkAt(*pty);
    ASSERT_EQ(connection.OnOpenClose(2, "115200").kind, OpenCloseOutcome::Kind::Opened);
    pty->Send(MakeFrame(2, 2, 3, {4}));
    ASSERT_TRUE(RunUntil([&] { return display.added.size() == 2; }));
    EXPECT_EQ(display.added.back(), 2);
}

TEST_F(PtyPortTest, MissingDeviceIsReportedWithItsPath) {
    CMSComm comm(Resolver());
    comm.SetCommPort(5);
    const std::string text = ErrorText(comm);
    EXPECT_NE(text.find((dir / "absent").string()), std::string::npos) << text;
    EXPECT_NE(text.find("No such device"), std::string::npos) << text;
    EXPECT_FALSE(comm.GetPortOpen());

    comm.SetCommPort(7);  // neither mapped nor listed
    const std::string unmapped = ErrorText(comm);
    EXPECT_NE(unmapped.find("COM7"), std::string::npos) << unmapped;

    // Through the open button the error passes out and nothing is written.
    ManualTickClock clock;
    RecordingDisplay display;
    SensorAcquisition acquisition(clock, display);
    PortSettingsFile settings(settingsPath);
    SerialConnection connection(comm, clock, acquisition, settings);
    const std::string before = ReadFile(settingsPath);
    EXPECT_THROW(connection.OnOpenClose(4, "115200"), CommError);
    EXPECT_EQ(ReadFile(settingsPath), before);
}

TEST_F(PtyPortTest, PortAlreadyOpenIsReportedAsInUse) {
    CMSComm first(Resolver());
    first.SetCommPort(3);
    first.SetPortOpen(true);
    ASSERT_TRUE(first.GetPortOpen());

    CMSComm second(Resolver());
    second.SetCommPort(3);
    const std::string text = ErrorText(second);
    EXPECT_NE(text.find("in use"), std::string::npos) << text;
    EXPECT_NE(text.find(link.string()), std::string::npos) << text;

    // The same terminal under its own name is the same device.
    const std::string slave = pty->SlavePath();
    CMSComm direct([slave](int) { return slave; });
    EXPECT_NE(ErrorText(direct).find("in use"), std::string::npos);

    first.SetPortOpen(false);
    second.SetPortOpen(true);
    EXPECT_TRUE(second.GetPortOpen());
}

TEST_F(PtyPortTest, PermissionDeniedNamesTheGroup) {
    if (::geteuid() == 0) GTEST_SKIP() << "root opens any device";
    ASSERT_EQ(::chmod(pty->SlavePath().c_str(), 0), 0);
    CMSComm comm(Resolver());
    comm.SetCommPort(3);
    const std::string text = ErrorText(comm);
    EXPECT_NE(text.find("Permission denied"), std::string::npos) << text;
    EXPECT_NE(text.find(DeviceGroup(pty->SlavePath())), std::string::npos) << text;
}

// One notification offers at most InBufferSize - 1 bytes; the rest follow.
TEST_F(PtyPortTest, LargeArrivalsAreOfferedInBoundedPieces) {
    CMSComm comm(Resolver());
    comm.SetCommPort(3);
    comm.SetInBufferSize(2048);
    comm.SetRThreshold(1);
    std::vector<std::uint8_t> received;
    std::vector<std::size_t> pieces;
    QObject::connect(&comm, &CMSComm::OnComm, [&] {
        ASSERT_EQ(comm.GetCommEvent(), kCommEvReceive);
        const auto bytes = comm.GetInput();
        pieces.push_back(bytes.size());
        received.insert(received.end(), bytes.begin(), bytes.end());
    });
    comm.SetPortOpen(true);

    std::vector<std::uint8_t> sent(20000);
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 31);
    pty->Send(sent);
    ASSERT_TRUE(RunUntil([&] { return received.size() >= sent.size(); }));
    EXPECT_EQ(received, sent);
    EXPECT_LE(*std::max_element(pieces.begin(), pieces.end()), 2047u);

    // InputLen limits one read further.
    received.clear();
    pieces.clear();
    comm.SetInputLen(100);
    pty->Send(std::vector<std::uint8_t>(1000, 0x55));
    ASSERT_TRUE(RunUntil([&] { return received.size() >= 1000; }));
    EXPECT_EQ(received.size(), 1000u);
    EXPECT_LE(*std::max_element(pieces.begin(), pieces.end()), 100u);
}

// A handler that leaves the bytes waiting is told again only when more arrive.
TEST_F(PtyPortTest, UnreadBytesDoNotMakeTheControlSpin) {
    CMSComm comm(Resolver());
    comm.SetCommPort(3);
    comm.SetRThreshold(1);
    int calls = 0;
    QObject::connect(&comm, &CMSComm::OnComm, [&] { ++calls; });
    comm.SetPortOpen(true);
    pty->Send({1, 2, 3});
    ASSERT_TRUE(RunUntil([&] { return calls > 0; }));
    RunFor(200);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(comm.GetInBufferCount(), 3);

    // Nor does a threshold of 0, which turns receive notifications off.
    comm.SetRThreshold(0);
    pty->Send({4});
    ASSERT_TRUE(RunUntil([&] { return pty->AllSent(); }));
    RunFor(100);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(comm.GetInBufferCount(), 4);
}

}  // namespace
}  // namespace sphyra

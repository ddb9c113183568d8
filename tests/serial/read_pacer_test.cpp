#include "serial/read_pacer.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <vector>

#include "serial/cmscomm.h"
#include "tests/serial/event_wait.h"
#include "tests/serial/pty_port_fixture.h"
#include "tests/serial/test_frames.h"

namespace sphyra {
namespace {

using test::MakeFrame;
using test::PtyConnectionTest;
using test::PtyPortTest;
using test::RunFor;
using test::RunUntil;

// Paced, the control reads once per interval: what arrives meanwhile stays in the device and
// comes in one read, as the same frames. A shorter interval or none reads at once, and a hang-up
// is still heard within the interval.
TEST_F(PtyConnectionTest, PacedReadsTakeWhatArrivedMeanwhileInOneGo) {
    ASSERT_EQ(connection.OnOpenClose(2, "115200").kind, OpenCloseOutcome::Kind::Opened);
    comm.SetReadBatchMs(60000);
    EXPECT_TRUE(comm.Pacer().Paused());

    const auto first = MakeFrame(5, 1, 90, {1});
    const auto second = MakeFrame(5, 1, 90, {2, 3});
    pty->Send(first);
    pty->Send(second);
    const auto unread = [&] {
        int n = 0;
        ::ioctl(pty->SlaveFd(), FIONREAD, &n);
        return static_cast<std::size_t>(n);
    };
    ASSERT_TRUE(RunUntil([&] { return unread() == first.size() + second.size(); }));
    RunFor(100);
    EXPECT_EQ(unread(), first.size() + second.size());
    EXPECT_TRUE(notices.empty());

    comm.SetReadBatchMs(20);
    ASSERT_TRUE(RunUntil([&] { return display.samples.size() == 2; }));
    EXPECT_EQ(display.selected, std::vector<std::uint8_t>{5});
    EXPECT_EQ(display.samples, (std::vector<std::uint16_t>{2, 3}));
    EXPECT_EQ(notices.size(), 1u);

    comm.SetReadBatchMs(0);
    EXPECT_FALSE(comm.Pacer().Paused());
    pty->Send(MakeFrame(5, 1, 90, {4}));
    ASSERT_TRUE(RunUntil([&] { return display.samples.size() == 3; }));

    comm.SetReadBatchMs(50);
    pty->CloseMaster();
    ASSERT_TRUE(RunUntil([&] { return Count(CommNotice::DeviceLost) == 1; }));
    EXPECT_FALSE(comm.GetPortOpen());
}

// Paced, arrivals wait for the tick, except from shortly before urgent bytes are due until the
// next expectation.
TEST_F(PtyConnectionTest, PacedReadsTakeUrgentArrivalsAtOnce) {
    ASSERT_EQ(connection.OnOpenClose(2, "115200").kind, OpenCloseOutcome::Kind::Opened);
    comm.SetReadBatchMs(60000);
    comm.ExpectUrgentBytesInMs(0);
    EXPECT_TRUE(comm.Pacer().UrgentWindowOpen());
    pty->Send(MakeFrame(5, 1, 90, {1}));
    pty->Send(MakeFrame(5, 1, 90, {2}));
    ASSERT_TRUE(RunUntil([&] { return display.samples.size() == 1; }));

    comm.ExpectUrgentBytesInMs(60000);
    EXPECT_FALSE(comm.Pacer().UrgentWindowOpen());
    pty->Send(MakeFrame(5, 1, 90, {3}));
    ASSERT_TRUE(RunUntil([&] { return pty->AllSent(); }));
    RunFor(100);
    EXPECT_EQ(display.samples.size(), 1u);

    comm.ExpectUrgentBytesInMs(ReadPacer::kUrgentLeadMs + 30);
    ASSERT_TRUE(RunUntil([&] { return display.samples.size() == 2; }));
    EXPECT_EQ(display.samples.back(), 3);

    // An announcement made under another interval (before a minimise, say) no longer holds.
    comm.SetReadBatchMs(100);
    EXPECT_FALSE(comm.Pacer().UrgentWindowOpen());
}

// Bytes are read and handed on from the arrival itself, outside QSerialPort, so a handler may
// close the port there; the next open reads afresh.
TEST_F(PtyPortTest, HandlerMayCloseThePortFromTheArrivalAndOpenItAgain) {
    CMSComm comm(Resolver());
    comm.SetCommPort(3);
    comm.SetRThreshold(1);
    std::vector<std::uint8_t> received;
    QObject::connect(&comm, &CMSComm::OnComm, [&] {
        const auto bytes = comm.GetInput();
        received.insert(received.end(), bytes.begin(), bytes.end());
        comm.SetPortOpen(false);
    });
    comm.SetPortOpen(true);
    EXPECT_TRUE(comm.Pacer().ReadsItself());
    pty->Send({1, 2, 3});
    ASSERT_TRUE(RunUntil([&] { return !received.empty(); }));
    EXPECT_FALSE(comm.GetPortOpen());
    pty->Send({4});
    RunFor(100);
    EXPECT_EQ(received, (std::vector<std::uint8_t>{1, 2, 3}));

    comm.SetPortOpen(true);
    ASSERT_TRUE(RunUntil([&] { return received.size() == 4; }));
    EXPECT_EQ(received.back(), 4);
}

}  // namespace
}  // namespace sphyra

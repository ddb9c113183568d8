// sphyra --replay's session: the capture plays on the port its settings file
// maps to COM1, only while the program has the port open.
#include "ui/app/replay_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <array>
#include <vector>

#include "serial/private_profile.h"
#include "tests/export/sim_capture.h"
#include "tests/serial/event_wait.h"
#include "tests/serial/temp_dir.h"
#include "tools/sim/sim_config.h"

namespace sphyra {
namespace {

TEST(ReplaySessionTest, PlaysTheCaptureOnComOneOnlyWhileThePortIsOpen) {
    test::TempDir dir;
    const std::vector<std::uint8_t> addresses = {4, 5};
    test::SimCaptureOptions options;
    options.untilMs = 600;
    const test::SimCapture capture =
        test::WriteSimCapture(dir.Path(), MakeSimulatorConfig(addresses, 10, 25, 2), options);
    std::vector<std::uint8_t> expected;
    for (const auto& read : capture.reads)
        expected.insert(expected.end(), read.begin(), read.end());

    ReplaySession session(capture.path, 2.0);
    ASSERT_TRUE(session.Prepare()) << session.ErrorText();
    PrivateProfile settings(session.SettingsPath());
    EXPECT_EQ(settings.GetProfileString("Ports", "COM1", ""), session.DevicePath());
    EXPECT_EQ(settings.GetProfileString("Main", "CommPort", ""), "1");

    const int port = ::open(session.DevicePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(port, 0);
    std::vector<std::uint8_t> received;
    auto take = [&] {
        std::array<std::uint8_t, 4096> buffer{};
        for (ssize_t n; (n = ::read(port, buffer.data(), buffer.size())) > 0;) {
            received.insert(received.end(), buffer.begin(), buffer.begin() + n);
        }
    };
    bool open = false;
    session.Start([&] { return open; });
    test::RunFor(300);
    take();
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(session.PlayedUs(), 0u);

    open = true;
    EXPECT_TRUE(test::RunUntil([&] {
        take();
        return received.size() >= expected.size();
    }));
    ::close(port);
    EXPECT_EQ(received, expected);
    EXPECT_TRUE(session.Player().Done());
}

}  // namespace
}  // namespace sphyra

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

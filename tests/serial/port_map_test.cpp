#include "serial/port_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "serial/profile_file.h"
#include "tests/serial/temp_dir.h"

namespace sphyra {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(PortMapTest, SortsUsbThenAcmThenTheRestWithNumbersInOrder) {
    std::vector<std::string> devices = {"/dev/ttyS10",   "/dev/ttyACM1", "/dev/ttyS2",
                                        "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyUSB2",
                                        "/dev/ttyS0",    "/dev/ttyUSB2"};
    PortMap::SortPorts(devices);
    EXPECT_EQ(devices, (std::vector<std::string>{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0",
                                                 "/dev/ttyACM1", "/dev/ttyS0", "/dev/ttyS2",
                                                 "/dev/ttyS10"}));
}

TEST(PortMapTest, PortsSectionOverridesTheListAndEveryCallLooksAgain) {
    TempDir dir;
    const auto ini = dir / "sphyra.ini";
    WriteFile(ini, "[Main]\nCommPort=2\n[Ports]\ncom2 = /dev/custom\n");
    std::vector<std::string> present = {"/dev/ttyS0", "/dev/ttyUSB0"};
    PortMap map(ini, [&] { return present; });

    EXPECT_EQ(map.DeviceFor(1), "/dev/ttyUSB0");
    EXPECT_EQ(map.DeviceFor(2), "/dev/custom");
    EXPECT_EQ(map.DeviceFor(3), "");
    EXPECT_EQ(map.DeviceFor(0), "");
    EXPECT_EQ(map.DeviceFor(17), "");

    // An adapter plugged in, and the operator's edit, both count at once.
    present.push_back("/dev/ttyACM0");
    EXPECT_EQ(map.DeviceFor(2), "/dev/custom");
    WriteFile(ini, "[Ports]\nCOM3=/tmp/link\n");
    EXPECT_EQ(map.DeviceFor(2), "/dev/ttyACM0");
    EXPECT_EQ(map.DeviceFor(3), "/tmp/link");
}

// Listing the system's ports takes tens of milliseconds; a named device needs no listing, and
// each call reads the settings file once.
TEST(PortMapTest, ListsTheSystemPortsOnlyForNumbersTheFileDoesNotName) {
    TempDir dir;
    std::string ports = "[Ports]\n";
    for (int number = 1; number <= 16; ++number)
        ports += "COM" + std::to_string(number) + "=/dev/named" + std::to_string(number) + "\n";
    WriteFile(dir / "all.ini", ports);
    int listed = 0;
    const auto lister = [&] {
        ++listed;
        return std::vector<std::string>{"/dev/ttyUSB0"};
    };
    const std::uint64_t reads = profile_file::ReadCount();
    PortMap all(dir / "all.ini", lister);
    EXPECT_EQ(all.DeviceFor(3), "/dev/named3");
    EXPECT_EQ(all.Choices()[15].device, "/dev/named16");
    EXPECT_EQ(listed, 0);
    EXPECT_EQ(profile_file::ReadCount() - reads, 2u);

    WriteFile(dir / "one.ini", "[Ports]\nCOM2=/dev/named2\n");
    PortMap one(dir / "one.ini", lister);
    EXPECT_EQ(one.DeviceFor(2), "/dev/named2");
    EXPECT_EQ(listed, 0);
    EXPECT_EQ(one.DeviceFor(1), "/dev/ttyUSB0");
    EXPECT_EQ(listed, 1);
}

TEST(PortMapTest, ChoicesLabelEachNumberWithItsDevice) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[Ports]\nCOM3=/tmp/sim/link\n");
    PortMap map(dir / "a.ini", [] { return std::vector<std::string>{"/dev/ttyUSB0"}; });
    const auto choices = map.Choices();
    ASSERT_EQ(choices.size(), 16u);
    EXPECT_EQ(choices[0].number, 1);
    EXPECT_EQ(choices[0].device, "/dev/ttyUSB0");
    EXPECT_EQ(choices[0].label, "COM1 (ttyUSB0)");
    EXPECT_EQ(choices[1].label, "COM2");
    EXPECT_EQ(choices[2].label, "COM3 (/tmp/sim/link)");
    EXPECT_EQ(choices[15].number, 16);
    EXPECT_EQ(choices[15].device, "");
    EXPECT_EQ(PortMap::Label(4, "/dev/pts/7"), "COM4 (pts/7)");
}

}  // namespace
}  // namespace sphyra

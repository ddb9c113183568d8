#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/sensor_acquisition.h"
#include "acquisition/tick_clock.h"
#include "serial/cmscomm.h"
#include "serial/port_map.h"
#include "serial/port_settings_file.h"
#include "serial/serial_connection.h"
#include "tests/serial/pty_pair.h"
#include "tests/serial/recording_display.h"
#include "tests/serial/temp_dir.h"

namespace sphyra::test {

// A pseudo-terminal reached through COM3, mapped by the "Ports" section of a
// settings file to a symlink, as an operator would map a USB adapter.
class PtyPortTest : public ::testing::Test {
protected:
    PtyPortTest() {
        WriteFile(settingsPath, "; test\n[Ports]\nCOM3=" + link.string() +
                                    "\nCOM5=" + (dir / "absent").string() + "\n");
        PointLinkAt(*pty);
    }

    void PointLinkAt(const PtyPair& target) {
        std::filesystem::remove(link);
        std::filesystem::create_symlink(target.SlavePath(), link);
    }

    CMSComm::PortResolver Resolver() {
        return [this](int number) { return map.DeviceFor(number); };
    }

    TempDir dir;
    std::filesystem::path settingsPath = dir / "sphyra.ini";
    std::filesystem::path link = dir / "ttySIM";
    std::unique_ptr<PtyPair> pty = std::make_unique<PtyPair>();
    PortMap map{settingsPath, [] { return std::vector<std::string>(); }};
};

// The whole road: the window's open button, the port, the ring and the display.
class PtyConnectionTest : public PtyPortTest {
protected:
    PtyConnectionTest() {
        QObject::connect(&comm, &CMSComm::OnComm, [this] {
            maxOffered = std::max<int>(maxOffered, comm.GetInBufferCount());
            notices.push_back(connection.OnCommEvent());
        });
    }

    int Count(CommNotice notice) const {
        return static_cast<int>(std::count(notices.begin(), notices.end(), notice));
    }

    ManualTickClock clock;
    RecordingDisplay display;
    SensorAcquisition acquisition{clock, display};
    PortSettingsFile settings{settingsPath};
    CMSComm comm{Resolver()};
    SerialConnection connection{comm, clock, acquisition, settings};
    std::vector<CommNotice> notices;
    int maxOffered = 0;
};

}  // namespace sphyra::test

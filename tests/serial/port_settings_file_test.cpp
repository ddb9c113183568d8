#include "serial/port_settings_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "tests/serial/temp_dir.h"

namespace sphyra {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Sets or clears an environment variable for one test and puts it back after.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(PortSettingsFileTest, ProgramPathWithExeGivesIniBesideIt) {
    EXPECT_EQ(PortSettingsFile::PathForProgram("/opt/sphyra/Sphyra.exe"), "/opt/sphyra/Sphyra.ini");
    EXPECT_EQ(PortSettingsFile::PathForProgram("bin.exe/sphyra.exe"), "bin.ini/sphyra.ini");
    EXPECT_EQ(PortSettingsFile::PathForProgram("sphyra.exe"), "sphyra.ini");  // stays relative
}

TEST(PortSettingsFileTest, OtherProgramPathsUseTheConfigFolder) {
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/cfg");
        EXPECT_EQ(PortSettingsFile::PathForProgram("/usr/bin/sphyra"),
                  "/tmp/cfg/sphyra/sphyra.ini");
        // Only the lower-case extension counts; the program file is never the result.
        EXPECT_EQ(PortSettingsFile::PathForProgram("C:/SPHYRA.EXE"), "/tmp/cfg/sphyra/sphyra.ini");
    }
    ScopedEnv home("HOME", "/home/op");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(PortSettingsFile::PathForProgram("./sphyra"),
                  "/home/op/.config/sphyra/sphyra.ini");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/cfg");  // not absolute: ignored
        EXPECT_EQ(PortSettingsFile::PathForProgram("sphyra"), "/home/op/.config/sphyra/sphyra.ini");
    }
}

TEST(PortSettingsFileTest, ReadsDefaultsAndStoredValues) {
    TempDir dir;
    PortSettingsFile missing(dir / "none.ini");
    EXPECT_EQ(missing.ReadPortSettings().port, 1);
    EXPECT_EQ(missing.ReadPortSettings().baud, 115200);

    WriteFile(dir / "a.ini", "[Main]\r\nCommPort=20\r\nCommBaud=fast\r\n");
    const PortSettings stored = PortSettingsFile(dir / "a.ini").ReadPortSettings();
    EXPECT_EQ(stored.port, 20);
    EXPECT_EQ(stored.baud, 0);
}

TEST(PortSettingsFileTest, WritesPortThenBaudAsPlainDecimals) {
    TempDir dir;
    PortSettingsFile file(dir / "conf/sphyra.ini");
    file.WritePortSettings(3, 57600);
    EXPECT_EQ(ReadFile(file.Path()), "[Main]\nCommPort=3\nCommBaud=57600\n");

    WriteFile(dir / "b.ini",
              "; mine\r\n[Ports]\r\nCOM3=/dev/ttyUSB1\r\n[Main]\r\nCommBaud=9600\r\n");
    PortSettingsFile existing(dir / "b.ini");
    existing.WritePortSettings(16, 115200);
    EXPECT_EQ(
        ReadFile(dir / "b.ini"),
        "; mine\r\n[Ports]\r\nCOM3=/dev/ttyUSB1\r\n[Main]\r\nCommBaud=115200\r\nCommPort=16\r\n");
    EXPECT_EQ(existing.ReadPortSettings().port, 16);
    EXPECT_EQ(existing.ReadPortSettings().baud, 115200);

    // A folder that cannot be created: the write is ignored, nothing throws.
    WriteFile(dir / "plain", "x");
    PortSettingsFile blocked(dir / "plain/sphyra.ini");
    blocked.WritePortSettings(2, 9600);
    EXPECT_EQ(ReadFile(dir / "plain"), "x");
}

}  // namespace
}  // namespace sphyra

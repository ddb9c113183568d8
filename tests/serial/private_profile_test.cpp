#include "serial/private_profile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <random>

#include "serial/leading_int.h"
#include "tests/serial/temp_dir.h"

namespace sphyra {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(LeadingIntTest, ReadsSignAndLeadingDigitsLikeAtoi) {
    EXPECT_EQ(ParseLeadingInt("115200"), 115200);
    EXPECT_EQ(ParseLeadingInt("  \t-42"), -42);
    EXPECT_EQ(ParseLeadingInt("+7"), 7);
    EXPECT_EQ(ParseLeadingInt("12abc"), 12);
    EXPECT_EQ(ParseLeadingInt("abc"), 0);
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("-"), 0);
    EXPECT_EQ(ParseLeadingInt("- 5"), 0);
    EXPECT_EQ(ParseLeadingInt("2147483647"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseLeadingInt("2147483648"), INT_MAX);
    EXPECT_EQ(ParseLeadingInt(std::string(100000, '9')), INT_MAX);
    EXPECT_EQ(ParseLeadingInt("-" + std::string(100000, '9')), INT_MIN);
}

TEST(PrivateProfileTest, MissingFileSectionOrKeyGivesTheDefault) {
    TempDir dir;
    PrivateProfile missing(dir / "none.ini");
    EXPECT_EQ(missing.GetProfileInt("Main", "CommPort", 1), 1);
    EXPECT_EQ(missing.GetProfileString("Main", "CommPort", "x"), "x");

    WriteFile(dir / "a.ini", "[Other]\nCommPort=5\n[Main]\nCommBaud=9600\n");
    PrivateProfile profile(dir / "a.ini");
    EXPECT_EQ(profile.GetProfileInt("Main", "CommPort", 1), 1);
    EXPECT_EQ(profile.GetProfileInt("Nowhere", "CommBaud", 3), 3);
    EXPECT_EQ(profile.GetProfileInt("Main", "CommBaud", 3), 9600);

    // A folder where the file should be reads as no file.
    std::filesystem::create_directory(dir / "folder.ini");
    EXPECT_EQ(PrivateProfile(dir / "folder.ini").GetProfileInt("Main", "CommPort", 4), 4);
}

TEST(PrivateProfileTest, MatchesNamesIgnoringCaseAndBlanksAndFirstMatchWins) {
    TempDir dir;
    WriteFile(dir / "a.ini",
              "; CommPort=99 in a comment\r\n"
              "CommPort=98\r\n"  // before any section: belongs to none
              "  [ mAiN ]  \r\n"
              "   ;CommPort=97\r\n"
              "  commport \t=  7  \r\n"
              "COMMPORT=8\r\n"
              "Empty=\r\n"
              "NoEquals\r\n"
              "Quoted = \"/dev/ttyUSB0\" \r\n"
              "Odd=12abc\r\n"
              "Text=abc\r\n"
              "Huge=99999999999999999999999\r\n"
              "[Main]\r\n"
              "CommBaud=9600\r\n");
    PrivateProfile profile(dir / "a.ini");
    EXPECT_EQ(profile.GetProfileInt("MAIN", "CommPort", 1), 7);
    EXPECT_EQ(profile.GetProfileInt(" main ", " COMMPORT ", 1), 7);
    EXPECT_EQ(profile.GetProfileString("Main", "commport", ""), "7");
    // Only the first [Main] counts.
    EXPECT_EQ(profile.GetProfileInt("Main", "CommBaud", 115200), 115200);
    EXPECT_EQ(profile.GetProfileInt("Main", "Empty", 5), 0);
    EXPECT_EQ(profile.GetProfileString("Main", "Empty", "d"), "");
    EXPECT_EQ(profile.GetProfileString("Main", "NoEquals", "d"), "d");
    EXPECT_EQ(profile.GetProfileString("Main", "Quoted", ""), "/dev/ttyUSB0");
    EXPECT_EQ(profile.GetProfileInt("Main", "Odd", 1), 12);
    EXPECT_EQ(profile.GetProfileInt("Main", "Text", 1), 0);
    EXPECT_EQ(profile.GetProfileInt("Main", "Huge", 1), INT_MAX);
}

TEST(PrivateProfileTest, ReplacesAValueInPlaceKeepingEveryOtherByte) {
    TempDir dir;
    const std::string crlf =
        "; operator's notes\r\n"
        "[Ports]\r\n"
        "COM3 = /dev/ttyUSB0\r\n"
        "\r\n"
        "[main]\r\n"
        "  CommPort = 12   \r\n"
        "CommBaud=9600\r\n"
        "\r\n"
        "[After]\r\n"
        "x=1";
    WriteFile(dir / "a.ini", crlf);
    PrivateProfile profile(dir / "a.ini");
    ASSERT_TRUE(profile.WriteProfileString("Main", "CommPort", "3"));
    std::string expected = crlf;
    expected.replace(expected.find("12   "), 5, "3");
    EXPECT_EQ(ReadFile(dir / "a.ini"), expected);

    // LF files stay LF.
    const std::string lf = "[Main]\nCommPort=1\n# not a comment\n\n[Other]\nk=v\n";
    WriteFile(dir / "b.ini", lf);
    PrivateProfile other(dir / "b.ini");
    ASSERT_TRUE(other.WriteProfileString("MAIN", "commport", "16"));
    EXPECT_EQ(ReadFile(dir / "b.ini"), "[Main]\nCommPort=16\n# not a comment\n\n[Other]\nk=v\n");
}

TEST(PrivateProfileTest, AppendsKeyToItsSectionAndSectionToTheFileInTheFileLineEnding) {
    TempDir dir;
    WriteFile(dir / "a.ini", "[Main]\r\nCommPort=3\r\n; trailing note\r\n\r\n[Other]\r\nk=v\r\n");
    PrivateProfile crlf(dir / "a.ini");
    ASSERT_TRUE(crlf.WriteProfileString("Main", "CommBaud", "57600"));
    ASSERT_TRUE(crlf.WriteProfileString("Ports", "COM1", "/dev/ttyACM0"));
    EXPECT_EQ(ReadFile(dir / "a.ini"),
              "[Main]\r\nCommPort=3\r\n; trailing note\r\nCommBaud=57600\r\n\r\n"
              "[Other]\r\nk=v\r\n\r\n[Ports]\r\nCOM1=/dev/ttyACM0\r\n");

    // A last line without a line break gets one before anything is added.
    WriteFile(dir / "b.ini", "[Main]\nCommPort=3");
    PrivateProfile lf(dir / "b.ini");
    ASSERT_TRUE(lf.WriteProfileString("Main", "CommBaud", "9600"));
    EXPECT_EQ(ReadFile(dir / "b.ini"), "[Main]\nCommPort=3\nCommBaud=9600");
    ASSERT_TRUE(lf.WriteProfileString("New", "a", "1"));
    EXPECT_EQ(ReadFile(dir / "b.ini"), "[Main]\nCommPort=3\nCommBaud=9600\n\n[New]\na=1\n");

    // A byte order mark does not hide the first section.
    WriteFile(dir / "c.ini", "\xEF\xBB\xBF[Main]\nCommPort=3\n");
    PrivateProfile bom(dir / "c.ini");
    EXPECT_EQ(bom.GetProfileInt("Main", "CommPort", 1), 3);
    ASSERT_TRUE(bom.WriteProfileString("Main", "CommPort", "4"));
    EXPECT_EQ(ReadFile(dir / "c.ini"), "\xEF\xBB\xBF[Main]\nCommPort=4\n");
}

TEST(PrivateProfileTest, CreatesFolderAndFileOnFirstWriteAndLeavesNoTemporaryFile) {
    TempDir dir;
    const auto path = dir / "sub/deeper/sphyra.ini";
    PrivateProfile profile(path);
    ASSERT_TRUE(profile.WriteProfileString("Main", "CommPort", "3"));
    ASSERT_TRUE(profile.WriteProfileString("Main", "CommBaud", "57600"));
    ASSERT_TRUE(profile.WriteProfileString("Main", "CommBaud", "57600"));  // unchanged
    EXPECT_EQ(ReadFile(path), "[Main]\nCommPort=3\nCommBaud=57600\n");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator(path.parent_path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(PrivateProfileTest, RefusesNamesAndValuesThatWouldBreakTheFileApart) {
    TempDir dir;
    const std::string original = "[Main]\nCommPort=3\n";
    WriteFile(dir / "a.ini", original);
    PrivateProfile profile(dir / "a.ini");
    EXPECT_FALSE(profile.WriteProfileString("Main", "CommPort", "1\n[Evil]\nx=1"));
    EXPECT_FALSE(profile.WriteProfileString("Main", "Comm=Port", "1"));
    EXPECT_FALSE(profile.WriteProfileString("Ma]in", "CommPort", "1"));
    EXPECT_FALSE(profile.WriteProfileString("", "CommPort", "1"));
    EXPECT_FALSE(profile.WriteProfileString("Main", " ", "1"));
    EXPECT_EQ(ReadFile(dir / "a.ini"), original);
}

// A write that fails half way (here: the disk "fills" after a few bytes) must
// leave the old file whole and no temporary file behind.
TEST(PrivateProfileTest, FailedWriteLeavesTheOldFileIntact) {
    TempDir dir;
    const std::string original = "[Main]\nCommPort=3\nCommBaud=57600\n";
    WriteFile(dir / "a.ini", original);
    PrivateProfile profile(dir / "a.ini");

    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = ::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const bool written = profile.WriteProfileString("Main", "CommPort", std::string(200, '7'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(ReadFile(dir / "a.ini"), original);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(PrivateProfileTest, UnwritableFolderLeavesTheOldFileIntact) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    TempDir dir;
    const auto folder = dir / "ro";
    std::filesystem::create_directory(folder);
    WriteFile(folder / "a.ini", "[Main]\nCommPort=3\n");
    std::filesystem::permissions(
        folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    PrivateProfile profile(folder / "a.ini");
    EXPECT_FALSE(profile.WriteProfileString("Main", "CommPort", "4"));
    EXPECT_EQ(profile.GetProfileInt("Main", "CommPort", 1), 3);
}

TEST(PrivateProfileTest, SurvivesNearlyAMegabyteOfRandomBytes) {
    TempDir dir;
    std::mt19937 random(12345);
    std::string garbage(1000 * 1000, '\0');
    for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
    WriteFile(dir / "g.ini", garbage);

    PrivateProfile profile(dir / "g.ini");
    EXPECT_EQ(profile.GetProfileInt("Main", "CommPort", 1), 1);
    EXPECT_EQ(profile.GetProfileString("Main", "CommBaud", "115200"), "115200");
    ASSERT_TRUE(profile.WriteProfileString("Main", "CommPort", "3"));
    EXPECT_EQ(profile.GetProfileInt("Main", "CommPort", 1), 3);
    const std::string after = ReadFile(dir / "g.ini");
    EXPECT_EQ(after.compare(0, garbage.size(), garbage), 0);

    // One enormous line of digits.
    WriteFile(dir / "d.ini", "[Main]\nCommPort=" + std::string(1000 * 1000, '9') + "\n");
    EXPECT_EQ(PrivateProfile(dir / "d.ini").GetProfileInt("Main", "CommPort", 1), INT_MAX);
}

}  // namespace
}  // namespace sphyra

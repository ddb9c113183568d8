// The two real recordings against their reference beats, and sphyra-pulse on the clean one.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <fstream>
#include <string>
#include <vector>

#include "tools/pulse/beat_matching.h"
#include "tools/pulse/csv_column.h"
#include "tools/pulse/offline_pulse_run.h"

namespace sphyra {
namespace {

const std::string kData = SPHYRA_PPG_DATA_DIR;

std::vector<std::uint16_t> Column(const std::string& file, const std::string& name) {
    std::ifstream in(kData + "/" + file);
    EXPECT_TRUE(in) << file;
    return ReadCsvColumn(in, name).values;
}

struct Checked {
    BeatScore score;
    double meanBpm = 0;
    OfflinePulseRun run;
};

Checked Check(const std::string& record, double hz, std::span<const TimeSpan> dropouts) {
    Checked c;
    c.run = RunOffline(Column(record + "/ppg.csv", "u8"), hz);
    std::vector<double> reference, detected;
    for (const std::uint16_t s : Column(record + "/beats.csv", "sample"))
        reference.push_back(s / hz);
    for (const auto& b : c.run.beats) detected.push_back(b.timeS);
    c.score = ScoreBeats(detected, reference, 0.150, dropouts);
    double sum = 0;
    int n = 0;
    for (const auto& r : c.run.rates) {
        if (r.bpm) sum += *r.bpm, ++n;
    }
    c.meanBpm = n ? sum / n : 0;
    return c;
}

TEST(Recordings, CleanFingerRecord) {
    const Checked c = Check("heartpy_clean", 100, {});
    EXPECT_GE(c.score.Sensitivity(), 0.99);
    EXPECT_GE(c.score.PositivePredictivity(), 0.99);
    EXPECT_NEAR(c.meanBpm, 58.899, 1.0);
}

TEST(Recordings, IcuRecordWithDropout) {
    const TimeSpan dropout{91.6, 104.0};
    const Checked c = Check("bidmc01_icu", 125, std::span(&dropout, 1));
    EXPECT_GE(c.score.Sensitivity(), 0.99);
    EXPECT_GE(c.score.PositivePredictivity(), 0.99);
    EXPECT_NEAR(c.meanBpm, 91.292, 1.0);
    for (const auto& r : c.run.rates) {
        if (r.timeS >= dropout.fromS + 3 && r.timeS <= dropout.toS) {
            EXPECT_FALSE(r.bpm) << "a rate at " << r.timeS << " s, in the dropout";
        }
    }
}

std::string RunPulse(const std::string& args, int& status) {
    const std::string command = std::string(SPHYRA_PULSE_PATH) + " " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string out;
    if (!pipe) return out;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
    status = ::pclose(pipe);
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST(SphyraPulse, PrintsBeatsRatesAndStatesAsJson) {
    const std::string file = kData + "/heartpy_clean/ppg.csv";
    int status = -1;
    const std::string json = RunPulse(file + " --column u8 --rate 100", status);
    ASSERT_EQ(status, 0) << json;
    // The same run as in the library, written out: 24 beats, the first at sample 63 or so.
    const OfflinePulseRun run = RunOffline(Column("heartpy_clean/ppg.csv", "u8"), 100);
    ASSERT_EQ(run.beats.size(), 24u);
    EXPECT_NE(json.find("\"beats\": [\n    {\"t\": "), std::string::npos);
    EXPECT_NE(json.find("\"sample\": " + std::to_string(run.beats[0].sampleIndex) + "}"),
              std::string::npos);
    EXPECT_NE(json.find("\"summary\": {\"beats\": 24, "), std::string::npos) << json;
    EXPECT_NE(json.find("{\"t\": 24, \"bpm\": "), std::string::npos);
    EXPECT_NE(json.find("\"state\": \"good\""), std::string::npos);
    EXPECT_EQ(json.find("nan"), std::string::npos);

    EXPECT_NE(RunPulse(file + " --column pleth --rate 100", status).find("no column \"pleth\""),
              std::string::npos);
    EXPECT_EQ(status, 2);
    EXPECT_NE(RunPulse(file + " --column raw --rate 0", status).find("bad --rate"),
              std::string::npos);
    EXPECT_EQ(status, 2);
    EXPECT_NE(RunPulse("/nonexistent.csv --column 3 --rate 100", status).find("cannot open"),
              std::string::npos);
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace sphyra

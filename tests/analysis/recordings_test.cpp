// The two real recordings against their reference beats, and sphyra-pulse on the clean one.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "analysis/pulse_analyzer.h"
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

// The analyzer works through a batch stage by stage, in blocks, with buffers that slide: cut
// anywhere, in samples or bytes, a recording must give the very same beats as sample by
// sample, and the same status up to the dropout (a spell of no signal resets the history when
// the status is taken, which is after each batch).
TEST(Recordings, SameBeatsWhateverTheBatches) {
    const std::vector<std::uint16_t> samples = Column("bidmc01_icu/ppg.csv", "u8");
    const std::vector<std::uint8_t> bytes(samples.begin(), samples.end());
    analysis::PulseAnalyzer single, batched;
    single.SetFixedSampleRate(125);
    batched.SetFixedSampleRate(125);
    std::vector<analysis::Beat> one, cut;
    std::vector<analysis::PulseStatus> status;  // after each sample
    for (std::size_t i = 0; i < samples.size(); ++i) {
        single.AddSamples(0, &samples[i], 1);
        for (const analysis::Beat& b : single.NewBeats()) one.push_back(b);
        status.push_back(single.Status());
    }
    constexpr std::size_t kSizes[] = {1, 3, 80, 257, 300, 7, 512};
    for (std::size_t i = 0, k = 0; i < bytes.size(); ++k) {
        const std::size_t n = std::min(kSizes[k % std::size(kSizes)], bytes.size() - i);
        if (k % 2 == 0) {
            batched.AddSamples(0, &samples[i], n);
        } else {
            batched.AddByteSamples(0, &bytes[i], n);
        }
        for (const analysis::Beat& b : batched.NewBeats()) cut.push_back(b);
        i += n;
        if (i < 90 * 125) {
            ASSERT_EQ(batched.Status().state, status[i - 1].state) << i;
            ASSERT_EQ(batched.Status().rateBpm, status[i - 1].rateBpm) << i;
        }
    }
    ASSERT_GT(one.size(), 500u);
    ASSERT_EQ(one.size(), cut.size());
    for (std::size_t i = 0; i < one.size(); ++i) {
        ASSERT_EQ(one[i].sampleIndex, cut[i].sampleIndex) << i;
        ASSERT_EQ(one[i].timeS, cut[i].timeS) << i;
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

#include "export/capture_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "acquisition/frame_sink.h"
#include "acquisition/receive_ring.h"
#include "tests/export/sim_capture.h"
#include "tests/serial/temp_dir.h"
#include "tools/sim/sim_config.h"

namespace sphyra {
namespace {

constexpr std::uint8_t kQuiet = 2;  // the sensor that goes out of range
constexpr std::uint64_t kQuietFromUs = 2'000'000;
constexpr std::uint64_t kQuietToUs = 5'000'000;

// Every frame parsed straight from the reads, with the read's time and tick.
struct Heard {
    std::uint8_t address;
    std::uint64_t us;
    std::uint32_t tick;
    std::vector<std::uint8_t> samples;
};

class Collect final : public FrameSink {
public:
    void OnFrame(const SensorFrame& f) override {
        heard.push_back({f.address, us, tick, {f.samples, f.samples + f.sampleCount}});
    }
    std::vector<Heard> heard;
    std::uint64_t us = 0;
    std::uint32_t tick = 0;
};

std::vector<Heard> ParseReads(const test::SimCapture& capture, std::size_t reads) {
    ReceiveRing ring;
    Collect sink;
    for (std::size_t i = 0; i < reads; ++i) {
        sink.us = capture.readUs[i];
        sink.tick = capture.readTicks[i];
        ring.AppendReceived(capture.reads[i].data(), capture.reads[i].size());
        ring.ParseReceiveRing(sink);
    }
    return sink.heard;
}

std::vector<std::string> Lines(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class CaptureExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<std::uint8_t> addresses = {1, kQuiet, 7};
        test::SimCaptureOptions options;
        options.untilMs = 8000;
        options.markerMs = {3000};
        options.keep = [](const SimEvent& e) {
            return e.address != kQuiet || e.timeUs < kQuietFromUs || e.timeUs >= kQuietToUs;
        };
        m_config = MakeSimulatorConfig(addresses, 8, 50, 5);
        m_capture = test::WriteSimCapture(m_dir.Path(), m_config, options);
        m_heard = ParseReads(m_capture, m_capture.reads.size());
        for (const Heard& h : m_heard) {
            auto& all = m_samples[h.address];
            all.insert(all.end(), h.samples.begin(), h.samples.end());
        }
    }

    const Heard& FirstAfterQuiet() const {
        for (const Heard& h : m_heard) {
            if (h.address == kQuiet && h.us >= kQuietToUs) return h;
        }
        throw std::runtime_error("the quiet sensor never came back");
    }

    double Bpm(std::uint8_t address) const {
        for (const SimSensorConfig& s : m_config.sensors) {
            if (s.address == address) return s.bpm;
        }
        return 0;
    }

    test::TempDir m_dir;
    SimulatorConfig m_config;
    test::SimCapture m_capture;
    std::vector<Heard> m_heard;
    std::map<std::uint8_t, std::vector<int>> m_samples;
};

// The EDF+ file read back by MNE: every sample the parser delivered, in order,
// with the pause filled so that the samples after it sit at their receive time.
TEST_F(CaptureExportTest, EdfReadsBackThroughMneWithTheSameSamplesAndAnnotations) {
    if (std::system("/usr/bin/python3 -c 'import mne' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "Debian's python3-mne is not installed, so there is no outside EDF reader";
    }
    ExportRequest request;
    request.capture = m_capture.path;
    request.edf = m_dir / "out.edf";
    const ExportResult result = ExportCapture(request);
    ASSERT_TRUE(result.ok) << result.error;

    const std::string script = std::string(SPHYRA_SOURCE_DIR) + "/tests/export/read_edf.py";
    const std::filesystem::path text = m_dir / "edf.txt";
    const std::string command =
        "/usr/bin/python3 " + script + " " + request.edf->string() + " " + text.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::map<std::string, std::vector<int>> signals;
    std::vector<std::string> annotations;
    for (const std::string& line : Lines(text)) {
        std::istringstream in(line);
        std::string kind, name;
        in >> kind;
        if (kind == "signal") {
            double rate = 0;
            in >> name >> rate;
            EXPECT_EQ(rate, 400) << name;
            for (int v; in >> v;) signals[name].push_back(v);
        } else {
            annotations.push_back(line.substr(kind.size() + 1));
        }
    }
    ASSERT_EQ(signals.size(), 3u);
    for (const auto& [address, expected] : m_samples) {
        const std::vector<int>& got = signals["sensor_" + std::to_string(address)];
        std::vector<int> real;
        for (int v : got) {
            if (v != -1) real.push_back(v);
        }
        EXPECT_EQ(real, expected) << "sensor " << int{address};
    }
    // The first sample after the pause lands where its frame's receive time puts it.
    const std::vector<int>& quiet = signals["sensor_2"];
    std::size_t resumed = 0;
    for (std::size_t i = 1; i < quiet.size(); ++i) {
        if (quiet[i - 1] == -1 && quiet[i] != -1) resumed = i;
    }
    const Heard& back = FirstAfterQuiet();
    const double expectedAt =
        static_cast<double>(back.us) * 400 / 1e6 - static_cast<double>(back.samples.size());
    EXPECT_NEAR(static_cast<double>(resumed), expectedAt, 1.0);

    auto find = [&](const std::string& what) {
        for (const std::string& a : annotations) {
            if (a.find(what) != std::string::npos) return a;
        }
        return std::string();
    };
    EXPECT_NE(find("port opened"), "");
    EXPECT_NE(find("sensor 7 appears, gain"), "");
    double onset = 0, duration = 0;
    std::istringstream gap(find("sensor 2 gap"));
    ASSERT_TRUE(gap >> onset >> duration) << "no gap annotation";
    EXPECT_NEAR(onset, kQuietFromUs / 1e6, 0.05);
    EXPECT_NEAR(onset + duration, static_cast<double>(resumed) / 400, 0.01);
    std::istringstream marker(find("marker 1 mark"));
    ASSERT_TRUE(marker >> onset) << "no marker annotation";
    EXPECT_NEAR(onset, 3.0, 0.001);

    // Beats at the simulated pulse's rate, on the EDF's time line.
    std::vector<double> beats;
    for (const std::string& a : annotations) {
        std::istringstream in(a);
        if (in >> onset >> duration && a.ends_with(" sensor 7 beat")) beats.push_back(onset);
    }
    ASSERT_GE(beats.size(), 5u);
    std::vector<double> gaps;
    for (std::size_t i = 1; i < beats.size(); ++i) gaps.push_back(beats[i] - beats[i - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    EXPECT_NEAR(60.0 / gaps[gaps.size() / 2], Bpm(7), Bpm(7) * 0.03);
}

TEST_F(CaptureExportTest, CsvHoldsEverySampleAndFrameWithTheLiveIntervals) {
    const std::filesystem::path csv = m_dir / "csv";
    const std::string command = std::string(SPHYRA_EXPORT_PATH) + " " + m_capture.path.string() +
                                " --csv " + csv.string() + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);

    const std::vector<std::string> frames = Lines(csv / "frames.csv");
    ASSERT_EQ(frames.size(), m_heard.size() + 1);
    EXPECT_EQ(frames[0], "time_s,address,gain,battery,samples,interval_ms");
    std::map<std::uint8_t, std::uint32_t> lastTick;
    for (std::size_t i = 0; i < m_heard.size(); ++i) {
        const Heard& h = m_heard[i];
        // The tick wraps during the capture; the interval must not notice.
        const std::uint32_t interval = lastTick.count(h.address) ? h.tick - lastTick[h.address] : 0;
        lastTick[h.address] = h.tick;
        std::ostringstream row;
        row << h.us / 1000000 << '.' << std::string(6 - std::to_string(h.us % 1000000).size(), '0')
            << h.us % 1000000 << ',' << int{h.address};
        EXPECT_EQ(frames[i + 1].rfind(row.str(), 0), 0u) << frames[i + 1];
        EXPECT_EQ(frames[i + 1].substr(frames[i + 1].rfind(',') + 1), std::to_string(interval));
    }

    const std::vector<std::string> rows = Lines(csv / "sensor_2.csv");
    ASSERT_EQ(rows.size(), m_samples[kQuiet].size() + 1);
    double previous = -1, widest = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const double t = std::stod(rows[i]);
        EXPECT_EQ(std::stoi(rows[i].substr(rows[i].find(',') + 1)), m_samples[kQuiet][i - 1]);
        ASSERT_GT(t, previous);
        if (previous >= 0) widest = std::max(widest, t - previous);
        previous = t;
    }
    EXPECT_NEAR(widest, (kQuietToUs - kQuietFromUs) / 1e6, 0.1);

    // The sensors heard throughout end with a good rate near their simulated one.
    std::map<int, std::string> lastRate;
    for (const std::string& row : Lines(csv / "rates.csv")) {
        const std::size_t comma = row.find(',');
        if (comma != std::string::npos && row[0] != 't')
            lastRate[std::stoi(row.substr(comma + 1))] = row;
    }
    for (const SimSensorConfig& s : m_config.sensors) {
        if (s.address == kQuiet) continue;
        const std::string& row = lastRate[s.address];
        ASSERT_TRUE(row.ends_with(",good")) << row;
        const std::size_t rate = row.find(',', row.find(',') + 1) + 1;
        EXPECT_NEAR(std::stod(row.substr(rate)), s.bpm, s.bpm * 0.03) << row;
    }
}

// A capture cut off mid-chunk, as a killed recorder leaves it, exports what it holds.
TEST_F(CaptureExportTest, ACutCaptureExportsUpToItsLastWholeChunk) {
    const auto size = std::filesystem::file_size(m_capture.path);
    std::filesystem::resize_file(m_capture.path, size / 2 + 7);
    ExportRequest request;
    request.capture = m_capture.path;
    request.edf = m_dir / "not_yet" / "cut.edf";  // the folder is made on the way
    const ExportResult result = ExportCapture(request);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_NE(result.stopText.find("cut off"), std::string::npos) << result.stopText;
    std::size_t reads = 0;
    while (reads < m_capture.readUs.size() && m_capture.readUs[reads] <= result.durationUs) ++reads;
    EXPECT_EQ(result.frames, ParseReads(m_capture, reads).size());
    EXPECT_GT(result.frames, 0u);
}

// A capture still being recorded grows while it is exported; the second pass stops where
// the first did, so it lays out only the sensors and frames the first one surveyed.
TEST_F(CaptureExportTest, ACaptureGrowingBetweenThePassesExportsWhatTheFirstOneRead) {
    const std::string bytes = test::ReadFile(m_capture.path);
    const std::size_t header = static_cast<unsigned char>(bytes[10]) |
                               static_cast<std::size_t>(static_cast<unsigned char>(bytes[11])) << 8;
    ExportRequest request;
    request.capture = m_capture.path;
    request.edf = m_dir / "out.edf";
    bool grown = false;
    request.progress = [&](std::uint64_t done, std::uint64_t all) {
        if (!grown && 2 * done >= all) {  // the second pass has begun
            std::ofstream(m_capture.path, std::ios::binary | std::ios::app) << bytes.substr(header);
            grown = true;
        }
        return true;
    };
    const ExportResult result = ExportCapture(request);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(grown);
    EXPECT_EQ(result.frames, m_heard.size());
}

// Workers and the exporting thread share the tracks of each batch as they come free;
// the files must not depend on who took which, nor on how many took part.
TEST_F(CaptureExportTest, TheFilesAreTheSameWhateverThreadsRanTheAnalysis) {
    std::vector<std::string> edf;
    std::vector<std::string> rates;
    for (const unsigned threads : {0u, 1u, 3u}) {
        ExportRequest request;
        request.capture = m_capture.path;
        request.edf = m_dir / ("out" + std::to_string(threads) + ".edf");
        request.csvDir = m_dir / ("csv" + std::to_string(threads));
        request.threads = threads;
        const ExportResult result = ExportCapture(request);
        ASSERT_TRUE(result.ok) << result.error;
        edf.push_back(test::ReadFile(*request.edf));
        rates.push_back(test::ReadFile(*request.csvDir / "rates.csv"));
    }
    EXPECT_GT(std::count(rates[0].begin(), rates[0].end(), '\n'), 10);  // beats were found
    for (std::size_t i = 1; i < edf.size(); ++i) {
        EXPECT_TRUE(edf[i] == edf[0]) << "EDF differs with threads #" << i;
        EXPECT_EQ(rates[i], rates[0]);
    }
}

// Cancelling in the second pass (the window does it when the user quits mid-export) leaves
// nothing half-written behind: no EDF, no CSV, and no folder the export made.
TEST_F(CaptureExportTest, ACancelledExportRemovesWhatItWrote) {
    ExportRequest request;
    request.capture = m_capture.path;
    request.edf = m_dir / "out.edf";
    request.csvDir = m_dir / "csv";
    std::uint64_t last = 0;
    std::uint64_t total = 0;
    request.progress = [&](std::uint64_t done, std::uint64_t all) {
        EXPECT_GE(done, last);
        last = done;
        total = all;
        return 2 * done < all;  // stops once the second pass has begun
    };
    const ExportResult result = ExportCapture(request);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(total, 2 * std::filesystem::file_size(m_capture.path));
    EXPECT_FALSE(std::filesystem::exists(*request.edf));
    EXPECT_FALSE(std::filesystem::exists(*request.csvDir));
}

}  // namespace
}  // namespace sphyra

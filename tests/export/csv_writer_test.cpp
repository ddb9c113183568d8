#include "export/csv_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/serial/temp_dir.h"

namespace sphyra {
namespace {

// Sample times are stepped from one sample to the next; at a rate that does not
// divide the record length, and after a jump over a gap, each must still be
// position × record length / samples per record, to the µs.
TEST(CsvWriterTest, SampleTimesStayExactAtARateThatDoesNotDivideTheRecord) {
    test::TempDir dir;
    ExportLayout layout;
    layout.recordUnits = 200'000;  // 2 s
    TrackPlan plan;
    plan.samplesPerRecord = 461;
    layout.tracks.push_back(plan);
    CsvWriter csv;
    std::string error;
    ASSERT_TRUE(csv.Open(dir.Path(), layout, error)) << error;
    std::vector<std::uint64_t> positions;
    const std::vector<std::uint8_t> frame(80, 255);
    for (std::uint64_t start : {std::uint64_t{0}, std::uint64_t{80}, std::uint64_t{160},
                                std::uint64_t{100'003}, std::uint64_t{100'083}}) {
        csv.Samples(0, start, frame);
        for (std::uint64_t i = 0; i < frame.size(); ++i) positions.push_back(start + i);
    }
    ASSERT_TRUE(csv.Close(error)) << error;

    std::ifstream in(dir / "sensor_0.csv");
    std::string line;
    std::getline(in, line);
    for (const std::uint64_t position : positions) {
        ASSERT_TRUE(std::getline(in, line));
        const std::uint64_t us = position * 2'000'000 / 461;
        char expected[40];
        std::snprintf(expected, sizeof expected, "%llu.%06llu,255",
                      static_cast<unsigned long long>(us / 1'000'000),
                      static_cast<unsigned long long>(us % 1'000'000));
        ASSERT_EQ(line, expected) << "position " << position;
    }
}

}  // namespace
}  // namespace sphyra

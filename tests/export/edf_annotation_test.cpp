#include <edflib.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "export/edf_writer.h"
#include "tests/serial/temp_dir.h"

namespace sphyra {
namespace {

// Annotations go into the records after EDFlib has closed the file. A burst larger
// than one record holds spills into the next records, one that comes after its
// place has gone by is still written with its true onset, and what finds no room
// before the end is counted as lost, not silently dropped. EDFlib's own reader,
// which checks every TAL, reads the file back.
TEST(EdfAnnotationTest, BurstsSpillLateOnesKeepTheirOnsetAndTheRestIsCounted) {
    test::TempDir dir;
    ExportLayout layout;
    TrackPlan plan;
    plan.samplesPerRecord = 10;
    layout.tracks.push_back(plan);
    CaptureInfo info;
    info.startTimeUs = 1'780'000'000'250'000;  // a start a quarter past a whole second
    constexpr std::uint64_t kRecords = 15;
    const std::filesystem::path path = dir / "a.edf";
    EdfWriter edf;
    std::string error;
    ASSERT_TRUE(edf.Open(path, layout, info, 0, kRecords, error)) << error;

    const std::string pad(22, 'x');                // about five of these fill a record
    std::map<std::string, std::int64_t> expected;  // text -> onset in µs
    auto add = [&](std::uint64_t us, const std::string& text) {
        edf.Annotation(us, -1, text);
        expected[text] = static_cast<std::int64_t>(us);
    };
    for (int i = 0; i < 20; ++i)
        add(500'000 + 100 * static_cast<std::uint64_t>(i), pad + std::to_string(i));
    add(12'000'000, "later");
    edf.Annotation(200'000, 1'500'000, "gap");  // its place went by when "later" came
    expected["gap"] = 200'000;
    // At the very end, where no record begins: they go in the last one, as far as it holds.
    for (int i = 0; i < 10; ++i) add(15'000'000, pad + "end" + std::to_string(i));
    edf.Samples(0, 0, std::vector<std::uint8_t>(10 * kRecords, 7));
    ASSERT_TRUE(edf.Close(error)) << error;
    EXPECT_GT(edf.AnnotationsLost(), 0u);

    edf_hdr_struct hdr{};
    ASSERT_EQ(edfopen_file_readonly(path.c_str(), &hdr, EDFLIB_READ_ALL_ANNOTATIONS), 0)
        << "EDFlib refuses the file: " << hdr.filetype;
    EXPECT_EQ(static_cast<std::uint64_t>(hdr.annotations_in_file) + edf.AnnotationsLost(),
              edf.Annotations());
    std::size_t ends = 0;
    for (long long i = 0; i < hdr.annotations_in_file; ++i) {
        edf_annotation_struct a{};
        ASSERT_EQ(edf_get_annotation(hdr.handle, static_cast<int>(i), &a), 0);
        const std::string text = a.annotation;
        ASSERT_EQ(expected.count(text), 1u) << text;
        // In 100 ns from the file's start, its fraction of a second taken off again.
        EXPECT_EQ(a.onset, expected[text] * 10) << text;
        EXPECT_EQ(a.duration_l, text == "gap" ? 15'000'000 : -10'000'000) << text;
        expected.erase(text);
        ends += text.find("end") != std::string::npos;
    }
    edfclose_file(hdr.handle);
    // Only the burst at the end lacked room, and only in part.
    EXPECT_GT(ends, 0u);
    EXPECT_EQ(expected.size(), edf.AnnotationsLost());
    EXPECT_EQ(ends + edf.AnnotationsLost(), 10u);
}

}  // namespace
}  // namespace sphyra

#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "export/capture_feed.h"
#include "export/export_layout.h"
#include "export/track_sink.h"

namespace sphyra {

// Writes the spreadsheet side of an export into one folder:
//   sensor_<address>.csv  time_s,sample           every sample, on the same time line as the EDF
//   frames.csv            time_s,address,gain,battery,samples,interval_ms
//   rates.csv             time_s,address,rate_bpm,state  at each beat and each change of state
// Times are seconds since the capture's start, to the microsecond.
class CsvWriter final : public TrackSink {
public:
    CsvWriter() = default;
    ~CsvWriter() override;
    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    bool Open(const std::filesystem::path& dir, const ExportLayout& layout, std::string& error);
    bool Close(std::string& error);

    void Samples(std::size_t track, std::uint64_t position,
                 std::span<const std::uint8_t> samples) override;
    void Fill(std::size_t, std::uint64_t, std::uint64_t) override {}
    void Annotation(std::uint64_t, std::int64_t, const std::string&) override {}
    void Frame(const FeedFrame& frame);
    // `rateBpm` < 0: no rate to give.
    void Rate(std::uint64_t timeUs, std::uint8_t address, double rateBpm, const char* state);

private:
    // A sample's time is position × record length / samples per record, exact to the
    // µs; stepping it from one sample to the next spares a division per sample.
    struct Track {
        std::FILE* file = nullptr;
        std::uint64_t recordUs = 0;  // record length in µs
        std::uint64_t perRecord = 1;
        std::uint64_t next = 0;                    // the position `us` is for
        std::uint64_t us = 0;                      // its time
        std::uint64_t part = 0;                    // its place in its record
        std::uint64_t remainder = 0;               // of part × recordUs / perRecord
        std::uint64_t second = ~std::uint64_t{0};  // whose text `secondText` holds
        char secondText[24] = {};
        std::size_t secondLength = 0;
        void Seek(std::uint64_t position);
        void Step();
    };
    std::FILE* OpenFile(const std::filesystem::path& path, const char* header, std::string& error);

    std::filesystem::path m_dir;
    std::vector<Track> m_tracks;
    std::vector<std::FILE*> m_files;
    std::FILE* m_frames = nullptr;
    std::FILE* m_rates = nullptr;
    std::string m_line;
};

// "12.345678": `us` microseconds as seconds, appended to `out`.
void AppendSeconds(std::string& out, std::uint64_t us);

}  // namespace sphyra

#include "export/csv_writer.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "acquisition/sensor_frame.h"

namespace sphyra {

namespace {

constexpr std::size_t kFileBuffer = 1 << 16;

void AppendUnsigned(std::string& out, std::uint64_t value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

}  // namespace

void AppendSeconds(std::string& out, std::uint64_t us) {
    AppendUnsigned(out, us / 1'000'000);
    char fraction[8] = {'.', '0', '0', '0', '0', '0', '0', '0'};
    std::uint64_t rest = us % 1'000'000;
    for (int i = 6; i >= 1; --i) {
        fraction[i] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
    out.append(fraction, 7);
}

CsvWriter::~CsvWriter() {
    for (std::FILE* f : m_files) std::fclose(f);
}

std::FILE* CsvWriter::OpenFile(const std::filesystem::path& path, const char* header,
                               std::string& error) {
    std::FILE* f = std::fopen(path.string().c_str(), "w");
    if (f == nullptr) {
        error = path.string() + ": " + std::strerror(errno);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IOFBF, kFileBuffer);
    std::fputs(header, f);
    m_files.push_back(f);
    return f;
}

bool CsvWriter::Open(const std::filesystem::path& dir, const ExportLayout& layout,
                     std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        error = dir.string() + ": " + ec.message();
        return false;
    }
    m_dir = dir;
    m_frames =
        OpenFile(dir / "frames.csv", "time_s,address,gain,battery,samples,interval_ms\n", error);
    if (m_frames == nullptr) return false;
    m_rates = OpenFile(dir / "rates.csv", "time_s,address,rate_bpm,state\n", error);
    if (m_rates == nullptr) return false;
    for (const TrackPlan& plan : layout.tracks) {
        Track track;
        track.file = OpenFile(dir / ("sensor_" + std::to_string(plan.address) + ".csv"),
                              "time_s,sample\n", error);
        if (track.file == nullptr) return false;
        track.recordUs = static_cast<std::uint64_t>(layout.recordUnits) * 10;
        track.perRecord = static_cast<std::uint64_t>(plan.samplesPerRecord);
        m_tracks.push_back(track);
    }
    return true;
}

void CsvWriter::Track::Seek(std::uint64_t position) {
    next = position;
    part = position % perRecord;
    us = position / perRecord * recordUs + part * recordUs / perRecord;
    remainder = part * recordUs % perRecord;
}

void CsvWriter::Track::Step() {
    ++next;
    if (++part == perRecord) {
        // Whole records land on whole record lengths, rounding errors or not.
        part = 0;
        remainder = 0;
        us = next / perRecord * recordUs;
        return;
    }
    us += recordUs / perRecord;
    remainder += recordUs % perRecord;
    if (remainder >= perRecord) {
        remainder -= perRecord;
        ++us;
    }
}

void CsvWriter::Samples(std::size_t index, std::uint64_t position,
                        std::span<const std::uint8_t> samples) {
    // Sample rows are most of an export's output, so they are formatted straight
    // into one buffer per frame, from tables of digit pairs and of the sample texts.
    static constexpr auto kPairs = [] {
        std::array<char, 200> pairs{};
        for (int i = 0; i < 100; ++i) {
            pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
            pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
        }
        return pairs;
    }();
    constexpr std::size_t kRowMax = 40;  // "18446744073709.551615,255\n" and room
    std::array<char, kMaxFrameSamples * kRowMax> text;
    Track& track = m_tracks[index];
    if (position != track.next) track.Seek(position);
    char* p = text.data();
    for (const std::uint8_t sample : samples) {
        if (p + kRowMax > text.data() + text.size()) {
            std::fwrite(text.data(), 1, static_cast<std::size_t>(p - text.data()), track.file);
            p = text.data();
        }
        const std::uint64_t second = track.us / 1'000'000;
        if (second != track.second) {
            track.second = second;
            char* end = std::to_chars(track.secondText, track.secondText + 20, second).ptr;
            *end++ = '.';
            track.secondLength = static_cast<std::size_t>(end - track.secondText);
        }
        std::memcpy(p, track.secondText, track.secondLength);
        p += track.secondLength;
        auto fraction = static_cast<std::uint32_t>(track.us % 1'000'000);
        for (int i = 4; i >= 0; i -= 2) {
            std::memcpy(p + i, kPairs.data() + 2 * (fraction % 100), 2);
            fraction /= 100;
        }
        p += 6;
        *p++ = ',';
        p = std::to_chars(p, p + 3, sample).ptr;
        *p++ = '\n';
        track.Step();
    }
    std::fwrite(text.data(), 1, static_cast<std::size_t>(p - text.data()), track.file);
}

void CsvWriter::Frame(const FeedFrame& frame) {
    m_line.clear();
    AppendSeconds(m_line, frame.timeUs);
    for (const std::uint64_t value :
         {std::uint64_t{frame.address}, std::uint64_t{frame.gain}, std::uint64_t{frame.battery},
          std::uint64_t{frame.samples.size()}, std::uint64_t{frame.interval}}) {
        m_line += ',';
        AppendUnsigned(m_line, value);
    }
    m_line += '\n';
    std::fwrite(m_line.data(), 1, m_line.size(), m_frames);
}

void CsvWriter::Rate(std::uint64_t timeUs, std::uint8_t address, double rateBpm,
                     const char* state) {
    m_line.clear();
    AppendSeconds(m_line, timeUs);
    m_line += ',';
    AppendUnsigned(m_line, address);
    m_line += ',';
    if (rateBpm >= 0) {
        char text[32];
        const auto result =
            std::to_chars(text, text + sizeof text, rateBpm, std::chars_format::fixed, 1);
        m_line.append(text, result.ptr);
    }
    m_line += ',';
    m_line += state;
    m_line += '\n';
    std::fwrite(m_line.data(), 1, m_line.size(), m_rates);
}

bool CsvWriter::Close(std::string& error) {
    bool ok = true;
    for (std::FILE* f : m_files) {
        if (std::ferror(f) != 0 || std::fclose(f) != 0) ok = false;
    }
    m_files.clear();
    if (!ok) error = "writing the CSV files in " + m_dir.string() + " failed (disk full?)";
    return ok;
}

}  // namespace sphyra

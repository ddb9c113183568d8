#include "export/capture_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

#include "analysis/pulse_analyzer.h"
#include "export/capture_feed.h"
#include "export/csv_writer.h"
#include "export/edf_writer.h"
#include "export/pulse_workers.h"
#include "export/sample_runs.h"
#include "export/sensor_survey.h"
#include "export/sensor_track.h"

namespace sphyra {

namespace {

const char* PortEventName(std::uint8_t code) {
    switch (code) {
        case 1:
            return "port opened";
        case 2:
            return "port closed";
        case 3:
            return "device lost";
        case 4:
            return "recording stopped by an error";
        default:
            return "port event";
    }
}

const char* StateName(analysis::PulseState state) {
    switch (state) {
        case analysis::PulseState::Good:
            return "good";
        case analysis::PulseState::Poor:
            return "poor";
        case analysis::PulseState::NoSignal:
            break;
    }
    return "no_signal";
}

// Sends everything to the EDF writer, the CSV writer, or both.
class TeeSink final : public TrackSink {
public:
    TeeSink(EdfWriter* edf, CsvWriter* csv) : m_edf(edf), m_csv(csv) {}
    void Samples(std::size_t track, std::uint64_t position,
                 std::span<const std::uint8_t> samples) override {
        if (m_edf) m_edf->Samples(track, position, samples);
        if (m_csv) m_csv->Samples(track, position, samples);
    }
    void Fill(std::size_t track, std::uint64_t position, std::uint64_t count) override {
        if (m_edf) m_edf->Fill(track, position, count);
    }
    void Annotation(std::uint64_t onsetUs, std::int64_t durationUs,
                    const std::string& text) override {
        if (m_edf) m_edf->Annotation(onsetUs, durationUs, text);
    }

private:
    EdfWriter* m_edf;
    CsvWriter* m_csv;
};

// The second pass: frames to tracks, changes and events to annotations.
class ExportPass final : public FeedListener {
public:
    // `beats`: runs the pulse analysis on `threads` workers (0: on this thread).
    ExportPass(const ExportLayout& layout, TrackSink& sink, CsvWriter* csv, bool beats,
               unsigned threads)
        : m_sink(sink), m_csv(csv) {
        for (std::size_t i = 0; i < layout.tracks.size(); ++i) {
            m_tracks.emplace_back(i, layout.tracks[i], sink);
            m_runs.emplace_back();
            m_index[layout.tracks[i].address] = i;
        }
        if (beats) {
            m_pulses = std::make_unique<PulseWorkers>(
                m_tracks.size(), threads, [this](const PulseEvent& event) { Pulse(event); });
        }
    }

    void OnFrame(const FeedFrame& frame) override {
        ++m_frames;
        ++m_step;
        const std::size_t i = m_index.at(frame.address);
        auto who = [&] { return "sensor " + std::to_string(frame.address); };
        auto& last = m_last[frame.address];
        if (frame.first) {
            m_sink.Annotation(frame.timeUs, -1,
                              who() + " appears, gain " + std::to_string(frame.gain) +
                                  ", battery " + std::to_string(frame.battery) + "%");
        } else {
            if (last.first != frame.gain) {
                m_sink.Annotation(frame.timeUs, -1, who() + " gain " + std::to_string(frame.gain));
            }
            if (last.second != frame.battery) {
                m_sink.Annotation(frame.timeUs, -1,
                                  who() + " battery " + std::to_string(frame.battery) + "%");
            }
        }
        last = {frame.gain, frame.battery};
        SensorTrack& track = m_tracks[i];
        track.OnFrame(frame.timeUs, frame.samples);
        if (m_csv) m_csv->Frame(frame);
        if (!m_pulses) return;
        m_runs[i].Add(track.Cursor() - frame.samples.size(), frame.samples.size());
        m_pulses->AddFrame(m_step, frame.timeUs, frame.tick, i, frame.samples);
    }
    void OnMarker(std::uint64_t timeUs, std::uint32_t number, const std::string& text) override {
        m_sink.Annotation(timeUs, -1,
                          "marker " + std::to_string(number) + (text.empty() ? "" : " " + text));
    }
    void OnPortEvent(std::uint64_t timeUs, std::uint8_t code, const std::string& text) override {
        m_sink.Annotation(timeUs, -1,
                          std::string(PortEventName(code)) + (text.empty() ? "" : ": " + text));
    }
    void OnTime(std::uint64_t timeUs, std::uint32_t tick) override {
        ++m_step;
        for (SensorTrack& track : m_tracks) track.OnTime(timeUs);
        if (m_pulses) m_pulses->AddTime(m_step, timeUs, tick);
    }

    // Takes the last of the pulse analysis and fills every track to the end of the last record.
    std::uint64_t Finish(std::uint64_t endUs) {
        if (m_pulses) m_pulses->Finish();
        std::uint64_t records = 0;
        for (SensorTrack& track : m_tracks) {
            track.Finish(endUs);
            const std::uint64_t per = static_cast<std::uint64_t>(track.Plan().samplesPerRecord);
            records = std::max(records, (track.Cursor() + per - 1) / per);
        }
        for (SensorTrack& track : m_tracks) {
            track.FillTo(records * static_cast<std::uint64_t>(track.Plan().samplesPerRecord));
        }
        return records;
    }
    std::uint64_t Frames() const { return m_frames; }

private:
    // A beat comes back from the analysis a little after its frame; the track still
    // knows where that sample lies.
    void Pulse(const PulseEvent& event) {
        if (event.beat == 0) {
            Rate(event, event.timeUs);
            return;
        }
        const SensorTrack& track = m_tracks[event.track];
        const std::uint64_t at = track.TimeUs(m_runs[event.track].PositionOf(event.sampleIndex));
        m_sink.Annotation(at, -1, "sensor " + std::to_string(track.Plan().address) + " beat");
        Rate(event, at);
    }

    // A rates.csv row at every beat, and whenever the state changes between beats.
    void Rate(const PulseEvent& event, std::uint64_t timeUs) {
        if (m_csv == nullptr) return;
        const auto state = static_cast<analysis::PulseState>(event.state);
        if (event.beat == 0 && state == m_states[event.track]) return;
        m_states[event.track] = state;
        m_csv->Rate(timeUs, m_tracks[event.track].Plan().address, event.rateBpm, StateName(state));
    }

    TrackSink& m_sink;
    CsvWriter* m_csv;
    std::unique_ptr<PulseWorkers> m_pulses;
    std::uint64_t m_step = 0;
    std::vector<SensorTrack> m_tracks;
    std::vector<SampleRuns> m_runs;
    std::map<std::uint8_t, std::size_t> m_index;
    std::map<std::uint8_t, std::pair<int, int>> m_last;
    std::uint64_t m_frames = 0;
    std::map<std::uint32_t, analysis::PulseState> m_states;
};

// Removes what a cancelled export wrote; a folder it made goes only if nothing else is in it.
void RemoveOutputs(const ExportRequest& request, const ExportLayout& layout) {
    std::error_code ec;
    if (request.edf) std::filesystem::remove(*request.edf, ec);
    if (!request.csvDir) return;
    const std::filesystem::path& dir = *request.csvDir;
    std::filesystem::remove(dir / "frames.csv", ec);
    std::filesystem::remove(dir / "rates.csv", ec);
    for (const TrackPlan& plan : layout.tracks) {
        std::filesystem::remove(dir / ("sensor_" + std::to_string(plan.address) + ".csv"), ec);
    }
    std::filesystem::remove(dir, ec);
}

}  // namespace

ExportResult ExportCapture(const ExportRequest& request) {
    ExportResult result;
    CaptureReader reader;
    if (!reader.Open(request.capture)) {
        result.error = reader.Error();
        return result;
    }
    result.info = reader.Info();

    SensorSurvey survey(request.beats);
    const std::uint64_t size = reader.FileSize();
    auto progress = [&](std::uint64_t base) -> CaptureFeed::Progress {
        if (!request.progress) return {};
        return [&, base](std::uint64_t offset) {
            return request.progress(base + std::min(offset, size), 2 * size);
        };
    };
    {
        CaptureFeed feed(survey);
        if (!feed.Play(reader, progress(0))) {
            result.cancelled = true;
            result.error = "export cancelled";
            return result;
        }
    }
    result.stopText = reader.StopText();
    // A capture still being recorded grows between the passes; the second reads no further
    // than the first, whose sensors and rates it lays out.
    const std::uint64_t surveyed = reader.ValidBytes();
    result.durationUs = survey.EndUs();
    result.layout = PlanExport(survey.Sensors());
    if (!reader.Rewind()) {
        result.error = "cannot go back to the start of " + request.capture.string();
        return result;
    }

    std::unique_ptr<EdfWriter> edf;
    std::unique_ptr<CsvWriter> csv;
    if (request.edf) {
        edf = std::make_unique<EdfWriter>();
        const double recordUs = result.layout.RecordSeconds() * 1e6;
        const auto records =
            static_cast<std::uint64_t>(std::ceil(static_cast<double>(survey.EndUs()) / recordUs));
        if (!edf->Open(*request.edf, result.layout, result.info, survey.AnnotationBound(), records,
                       result.error)) {
            return result;
        }
    }
    if (request.csvDir) {
        csv = std::make_unique<CsvWriter>();
        if (!csv->Open(*request.csvDir, result.layout, result.error)) return result;
    }

    TeeSink sink(edf.get(), csv.get());
    ExportPass pass(result.layout, sink, csv.get(), request.beats, request.threads);
    CaptureFeed feed(pass);
    if (!feed.Play(reader, progress(size), surveyed)) {
        edf.reset();
        csv.reset();
        RemoveOutputs(request, result.layout);
        result.cancelled = true;
        result.error = "export cancelled";
        return result;
    }
    result.stats = feed.Stats();
    result.frames = pass.Frames();
    result.records = pass.Finish(survey.EndUs());
    if (edf) {
        if (!edf->Close(result.error)) return result;
        result.annotations = edf->Annotations();
        result.annotationsLost = edf->AnnotationsLost();
    }
    if (csv && !csv->Close(result.error)) return result;
    result.ok = true;
    return result;
}

std::string DescribeExport(const ExportRequest& request, const ExportResult& r) {
    std::string text;
    char line[256];
    std::snprintf(line, sizeof line, "capture %s: port %s, %u baud, %.3f s, %s\n",
                  request.capture.string().c_str(), r.info.port.c_str(), r.info.baud,
                  static_cast<double>(r.durationUs) / 1e6, r.stopText.c_str());
    text += line;
    std::snprintf(line, sizeof line,
                  "frames %llu, bad checksums %llu, over-long %llu, bytes skipped %llu\n",
                  static_cast<unsigned long long>(r.frames),
                  static_cast<unsigned long long>(r.stats.checksumFailures),
                  static_cast<unsigned long long>(r.stats.overlongDropped),
                  static_cast<unsigned long long>(r.stats.bytesSkipped));
    text += line;
    for (const TrackPlan& t : r.layout.tracks) {
        std::snprintf(line, sizeof line,
                      "sensor %u: measured %.4f samples/s, stored %d per %.0f s record\n",
                      t.address, t.measuredRate, t.samplesPerRecord, r.layout.RecordSeconds());
        text += line;
    }
    if (request.edf) {
        std::snprintf(line, sizeof line, "EDF+ %s: %llu records, %llu annotations\n",
                      request.edf->string().c_str(), static_cast<unsigned long long>(r.records),
                      static_cast<unsigned long long>(r.annotations));
        text += line;
    }
    if (r.annotationsLost > 0) {
        std::snprintf(line, sizeof line, "warning: %llu annotations did not fit in the EDF file\n",
                      static_cast<unsigned long long>(r.annotationsLost));
        text += line;
    }
    if (request.csvDir) text += "CSV in " + request.csvDir->string() + "\n";
    return text;
}

}  // namespace sphyra

#include "tools/pulse/pulse_json.h"

#include <cstdio>

namespace sphyra {
namespace {

std::string Number(double v, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return buffer;
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

}  // namespace

const char* const kPulseJsonSchema = R"({
  "file": string, "column": string,
  "sample_rate_hz": number, "samples": integer, "duration_s": number,
  "beats":  [ { "t": seconds, "sample": index from 0 }, ... ],
  "rate":   [ { "t": seconds (1, 2, ...), "bpm": number or null, "state": STATE }, ... ],
  "states": [ { "t": seconds, "state": STATE }, ... ]   (the first at t 0, then each change),
  "summary": { "beats": integer, "good_share": 0-1 (share of "rate" entries in "good"),
               "mean_bpm": mean of the non-null "rate" entries, or null }
}
STATE is "no_signal" (flat, zero, saturated or silent), "poor" (noise or irregular
intervals) or "good"; "bpm" is null unless the state is "good".)";

void WritePulseJson(std::ostream& out, const OfflinePulseRun& run, const std::string& file,
                    const std::string& column) {
    out << "{\n  \"file\": " << Quoted(file) << ",\n  \"column\": " << Quoted(column)
        << ",\n  \"sample_rate_hz\": " << Number(run.sampleRateHz, 3)
        << ",\n  \"samples\": " << run.samples
        << ",\n  \"duration_s\": " << Number(static_cast<double>(run.samples) / run.sampleRateHz, 3)
        << ",\n  \"beats\": [";
    for (std::size_t i = 0; i < run.beats.size(); ++i) {
        out << (i ? ",\n    " : "\n    ") << "{\"t\": " << Number(run.beats[i].timeS, 3)
            << ", \"sample\": " << run.beats[i].sampleIndex << "}";
    }
    out << (run.beats.empty() ? "],\n" : "\n  ],\n") << "  \"rate\": [";
    double sum = 0;
    std::size_t rated = 0;
    for (std::size_t i = 0; i < run.rates.size(); ++i) {
        const auto& r = run.rates[i];
        out << (i ? ",\n    " : "\n    ") << "{\"t\": " << Number(r.timeS, 0)
            << ", \"bpm\": " << (r.bpm ? Number(*r.bpm, 1) : "null") << ", \"state\": \""
            << PulseStateName(r.state) << "\"}";
        if (r.bpm) {
            sum += *r.bpm;
            ++rated;
        }
    }
    out << (run.rates.empty() ? "],\n" : "\n  ],\n") << "  \"states\": [";
    for (std::size_t i = 0; i < run.changes.size(); ++i) {
        out << (i ? ",\n    " : "\n    ") << "{\"t\": " << Number(run.changes[i].timeS, 3)
            << ", \"state\": \"" << PulseStateName(run.changes[i].state) << "\"}";
    }
    const double goodShare =
        run.rates.empty() ? 0.0
                          : static_cast<double>(rated) / static_cast<double>(run.rates.size());
    out << "\n  ],\n  \"summary\": {\"beats\": " << run.beats.size()
        << ", \"good_share\": " << Number(goodShare, 3)
        << ", \"mean_bpm\": " << (rated ? Number(sum / static_cast<double>(rated), 2) : "null")
        << "}\n}\n";
}

}  // namespace sphyra

// sphyra-export: turns a capture into EDF+ and CSV files.
#include <cstdio>
#include <cstring>
#include <string>

#include "export/capture_export.h"

namespace {

const char kUsage[] = R"(Usage: sphyra-export CAPTURE [--edf FILE] [--csv DIR] [--no-beats]

Runs a Sphyra capture (.sphc) through the same frame parser as the live program
and writes what the sensors sent:
  --edf FILE   an EDF+ file: one signal per sensor at its measured rate, with
               annotations for sensors appearing, gaps and silences, gain and
               battery changes, markers and port events
  --csv DIR    CSV files: sensor_<address>.csv (time_s,sample) for every sensor,
               frames.csv (time_s,address,gain,battery,samples,interval_ms),
               rates.csv (time_s,address,rate_bpm,state) at each beat and
               change of state
  --no-beats   skip the pulse analysis (no beat annotations, no rates.csv
               rows); it takes most of an export's time
  -h, --help   show this text
With neither option it only checks the capture and describes it.
A capture cut off in the middle of a chunk is read up to its last complete chunk.
Exit status: 0 on success, 1 when the capture cannot be read or a file cannot be
written, 2 on a usage error.
)";

int Usage(const std::string& fault) {
    std::fprintf(stderr, "sphyra-export: %s\nTry 'sphyra-export --help'.\n", fault.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    sphyra::ExportRequest request;
    bool haveCapture = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--no-beats") {
            request.beats = false;
        } else if (arg == "--edf" || arg == "--csv") {
            if (i + 1 >= argc) return Usage(arg + " needs a value");
            (arg == "--edf" ? request.edf : request.csvDir) = argv[++i];
        } else if (arg.rfind("--", 0) == 0) {
            return Usage("unknown option: " + arg);
        } else if (haveCapture) {
            return Usage("only one capture at a time: " + arg);
        } else {
            request.capture = arg;
            haveCapture = true;
        }
    }
    if (!haveCapture) return Usage("no capture given");
    const sphyra::ExportResult result = sphyra::ExportCapture(request);
    if (!result.ok) {
        std::fprintf(stderr, "sphyra-export: %s\n", result.error.c_str());
        return 1;
    }
    std::fputs(sphyra::DescribeExport(request, result).c_str(), stdout);
    return 0;
}

// sphyra-pulse: runs the pulse detector over one column of a CSV file and prints JSON.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "tools/pulse/csv_column.h"
#include "tools/pulse/offline_pulse_run.h"
#include "tools/pulse/pulse_json.h"

namespace {

void PrintHelp() {
    std::cout << "Usage: sphyra-pulse FILE.csv --column NAME|INDEX --rate HZ\n"
                 "\n"
                 "Runs Sphyra's pulse detector over one column of sample counts (whole numbers\n"
                 "0-65535, e.g. 0-255 sensor bytes), taken at HZ samples a second, sample by\n"
                 "sample as a live sensor would be analysed, and prints JSON on standard output.\n"
                 "\n"
                 "  --column NAME|INDEX  the column, by its header name or its index from 0\n"
                 "  --rate HZ            samples per second, "
              << sphyra::analysis::PulseAnalyzer::kMinSampleRateHz << " to "
              << sphyra::analysis::PulseAnalyzer::kMaxSampleRateHz
              << "\n"
                 "  --help               this text\n"
                 "\n"
                 "The JSON document:\n"
              << sphyra::kPulseJsonSchema
              << "\n\nExit status: 0 on success, 2 for bad options or an unreadable file.\n";
}

int Fail(const std::string& message) {
    std::cerr << "sphyra-pulse: " << message << "\n(sphyra-pulse --help explains the options)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string file;
    std::string column;
    std::string rateText;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp();
            return 0;
        }
        if (arg == "--column" || arg == "--rate") {
            if (i + 1 >= argc) return Fail(arg + " needs a value");
            (arg == "--column" ? column : rateText) = argv[++i];
        } else if (arg.rfind("--", 0) == 0) {
            return Fail("unknown option " + arg);
        } else if (file.empty()) {
            file = arg;
        } else {
            return Fail("more than one file given: " + file + " and " + arg);
        }
    }
    if (file.empty()) return Fail("no CSV file given");
    if (column.empty()) return Fail("no --column given");
    if (rateText.empty()) return Fail("no --rate given");

    double rate = 0;
    std::size_t used = 0;
    try {
        rate = std::stod(rateText, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    using sphyra::analysis::PulseAnalyzer;
    if (used != rateText.size() || !std::isfinite(rate) || rate < PulseAnalyzer::kMinSampleRateHz ||
        rate > PulseAnalyzer::kMaxSampleRateHz) {
        return Fail("bad --rate \"" + rateText + "\": samples per second from " +
                    std::to_string(static_cast<int>(PulseAnalyzer::kMinSampleRateHz)) + " to " +
                    std::to_string(static_cast<int>(PulseAnalyzer::kMaxSampleRateHz)));
    }

    std::ifstream in(file);
    if (!in) return Fail("cannot open " + file + ": " + std::strerror(errno));
    sphyra::CsvColumn data;
    try {
        data = sphyra::ReadCsvColumn(in, column);
    } catch (const std::runtime_error& e) {
        return Fail(file + ": " + e.what());
    }
    const sphyra::OfflinePulseRun run = sphyra::RunOffline(data.values, rate);
    sphyra::WritePulseJson(std::cout, run, file, data.name);
    return 0;
}

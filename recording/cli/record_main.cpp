// sphyra-record: records a serial port's sensors into capture files, with no window.
#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "recording/cli/record_options.h"
#include "recording/cli/record_session.h"

int main(int argc, char** argv) {
    using namespace sphyra;
    const std::vector<std::string> args(argv + 1, argv + argc);
    RecordOptions options;
    const std::string fault = ParseRecordOptions(args, options);
    if (options.help) {
        std::fputs(RecordUsage().c_str(), stdout);
        return 0;
    }
    if (!fault.empty()) {
        std::fprintf(stderr, "sphyra-record: %s\nTry 'sphyra-record --help'.\n", fault.c_str());
        return RecordSession::kUsage;
    }
    QCoreApplication app(argc, argv);
    RecordSession session(options, stderr, ::isatty(STDERR_FILENO) != 0);
    return session.Run();
}

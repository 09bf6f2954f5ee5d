// palmota-cli: the badge operations of the window, one per run, for scripts and for
// technicians at a shell.
#include <QCoreApplication>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reader/clock.h"
#include "reader/platform.h"
#include "reader/qt_serial_line.h"
#include "reader/reader_link.h"
#include "reader/tracing_line.h"
#include "tools/cli_options.h"
#include "tools/cli_runner.h"

int main(int argc, char** argv) {
    using namespace palmota;
    using tools::CliParse;

    // Before anything is opened: a port or lock file must never become standard output.
    platform::ensureStandardStreams();
    platform::installTerminationHandlers();

    // Parsed before anything else exists: a refused argument ends the run with the port
    // never opened.
    const CliParse parse =
        tools::parseCliOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    switch (parse.outcome) {
        case CliParse::Outcome::UsageError:
            std::cerr << "palmota-cli: " << parse.error << "\nTry 'palmota-cli --help'.\n";
            return tools::kExitUsage;
        case CliParse::Outcome::Help:
            std::cout << tools::cliHelpText();
            return tools::kExitSuccess;
        case CliParse::Outcome::Version:
            std::cout << "palmota-cli " << PALMOTA_VERSION << '\n';
            return tools::kExitSuccess;
        case CliParse::Outcome::Run:
            break;
    }
    const tools::CliOptions& options = parse.options;

    // QSerialPort wants an application object, though no event loop runs.
    QCoreApplication application(argc, argv);

    QtSerialLine port;
    port.setInterruption(platform::terminationRequested);
    std::unique_ptr<TracingLine> tracing;
    SerialLine* line = &port;
    if (options.trace) {
        tracing = std::make_unique<TracingLine>(port, std::cerr);
        line = tracing.get();
    }

    SteadyClock clock;
    // One line on standard error for a failed command: the first thing that went wrong.
    std::optional<Outcome> failure;
    Palmota reader(
        *line, clock, [&options] { return options.port; },
        [&failure](const Outcome& outcome) {
            if (!outcome.succeeded() && !failure) failure = outcome;
        });
    const int status = tools::runCliCommand(reader, options, std::cout);
    if (status != tools::kExitSuccess && failure)
        std::cerr << "palmota-cli: " << describe(*failure) << '\n';
    // One run is one session: the port is released before the program ends.
    reader.CloseReaderPort();
    return status;
}

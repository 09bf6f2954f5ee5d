// palmota-cli: the badge operations of the window, for scripts and for technicians at a
// shell, several in one run over one opening of the port; and the serial devices present.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonDocument>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_help.h"
#include "cli/cli_language.h"
#include "cli/cli_options.h"
#include "cli/cli_ports.h"
#include "cli/cli_probe.h"
#include "cli/cli_runner.h"
#include "cli/cli_status.h"
#include "cli/journal_command.h"
#include "cli/pdf_platform.h"
#include "process/platform.h"
#include "reader/clock.h"
#include "reader/reader_link.h"
#include "reader/serial_devices.h"
#include "reader/system_serial_line.h"
#include "reader/tracing_line.h"
#include "till/ledger.h"
#include "till/till.h"

namespace {

using namespace palmota;

void printJson(const QJsonObject& object) {
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << std::endl;
}

int listPorts(const cli::CliOptions& options) {
    for (const SerialDevice& device : serialDevicesPresent()) {
        if (options.json)
            printJson(cli::deviceJson(device));
        else
            std::cout << cli::deviceLine(device) << std::endl;
    }
    return std::cout ? cli::kExitSuccess : cli::kExitOutputClosed;
}

int probePorts(const cli::CliOptions& options, SerialLine& line, Clock& clock,
               const std::function<bool()>& stopRequested) {
    std::vector<std::string> ports = options.probePorts;
    if (ports.empty())
        for (const SerialDevice& device : serialDevicesPresent())
            ports.push_back(device.path.toStdString());
    if (ports.empty()) {
        std::cerr << "palmota-cli: no serial devices found to probe (is the Reader plugged in?)\n";
        return cli::kExitNoAnswer;
    }
    std::vector<cli::ProbeResult> results;
    for (const std::string& port : ports) {
        if (stopRequested()) return cli::kExitInterrupted;
        results.push_back(cli::probePort(line, clock, port));
        if (options.json)
            printJson(cli::probeJson(results.back()));
        else
            std::cout << cli::probeLine(results.back()) << std::endl;
        if (!std::cout) return cli::kExitOutputClosed;
    }
    const std::string verdict = cli::probeVerdict(results);
    if (verdict.empty()) return cli::kExitSuccess;
    std::cerr << "palmota-cli: " << verdict << '\n';
    return cli::kExitNoAnswer;
}

}  // namespace

int main(int argc, char** argv) {
    // Before anything is opened: a port or lock file must never become standard output.
    platform::ensureStandardStreams();
    const std::function<bool()> stopRequested = platform::terminationRequested;

    // Parsed before anything else exists: a refused argument ends the run with the port
    // never opened.
    const cli::CliParse parse =
        cli::parseCliOptions(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
    switch (parse.outcome) {
        case cli::CliParse::Outcome::UsageError:
            std::cerr << "palmota-cli: " << parse.error << "\nTry 'palmota-cli --help'.\n";
            return cli::kExitUsage;
        case cli::CliParse::Outcome::Help:
            std::cout << cli::cliHelpText();
            return platform::standardOutputWritten("palmota-cli") ? cli::kExitSuccess
                                                                  : cli::kExitOutputClosed;
        case cli::CliParse::Outcome::Version:
            std::cout << "palmota-cli " << PALMOTA_VERSION << '\n';
            return platform::standardOutputWritten("palmota-cli") ? cli::kExitSuccess
                                                                  : cli::kExitOutputClosed;
        case cli::CliParse::Outcome::Run:
            break;
    }
    const cli::CliOptions& options = parse.options;

    // SIGINT, SIGTERM and SIGHUP end the run once the operation under way has run to its
    // end (a write cut between its command and its amount would leave the Reader taking
    // the next bytes it receives for the amount), the port closed; SIGPIPE is
    // ignored, so that a closed output shows as a failed write and ends the run the same way.
    // A session on standard input may wait there for ever: the signal must end that wait.
    platform::installTerminationHandlers(options.mode == cli::CliMode::StandardInput);

    // QSerialPort wants an application object, though no event loop runs.
    // A PDF is drawn with Qt GUI's fonts and painter, on a platform that needs no display
    // and shows no window.
    std::unique_ptr<QCoreApplication> application;
    if (!options.journalRequest.pdf.empty()) {
        cli::preparePdfPlatform();
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    // A French desk reads its report, list and closure in French; scripts' JSON and CSV,
    // and the badge commands' results, are the same whatever the language.
    if (!cli::installCliTranslations())
        std::cerr << "palmota-cli: the French texts could not be loaded; English follows\n";
    if (options.mode == cli::CliMode::Ports) return listPorts(options);

    // The journal is opened before the port: one that cannot take rows lets nothing out. A
    // report or a check reads it, and never makes one.
    std::unique_ptr<till::Ledger> ledger;
    if (!options.journal.empty()) {
        // journal close and resolve append their records, as a write does.
        const auto action = options.journalRequest.action;
        const bool reading = options.mode == cli::CliMode::Journal &&
                             action != cli::JournalRequest::Action::Close &&
                             action != cli::JournalRequest::Action::Resolve;
        till::Ledger::Opening opening = till::Ledger::open(
            options.journal, reading ? journal::Access::Read : journal::Access::Record,
            till::Station::here("palmota-cli", [&options] { return options.port; }));
        if (opening.cause != Cause::Ok) {
            std::cerr << "palmota-cli: " << opening.message << '\n';
            if (opening.badName) std::cerr << "Try 'palmota-cli --help'.\n";
            return till::exitStatus(opening.cause);
        }
        ledger = std::move(opening.ledger);
        // The database driver's own complaints belong to the wire trace, if anywhere.
        if (options.trace)
            ledger->setDriverMessages([](const std::string& said) {
                std::cerr << "palmota-cli: journal: " << said << '\n';
            });
    }
    const cli::JournalRequest& journalRequest = options.journalRequest;
    if (options.mode == cli::CliMode::Journal &&
        journalRequest.action == cli::JournalRequest::Action::Report)
        return cli::runJournalReport(*ledger, journalRequest, std::cout, std::cerr);
    if (options.mode == cli::CliMode::Journal &&
        journalRequest.action == cli::JournalRequest::Action::List)
        return cli::runJournalList(*ledger, journalRequest, std::cout, std::cerr);
    if (options.mode == cli::CliMode::Journal &&
        journalRequest.action == cli::JournalRequest::Action::Verify)
        return cli::runJournalVerify(*ledger, options.json, std::cout, std::cerr);
    if (options.mode == cli::CliMode::Journal &&
        journalRequest.action == cli::JournalRequest::Action::Close)
        return cli::runJournalClose(*ledger, journalRequest, options.json, std::cout, std::cerr);
    if (options.mode == cli::CliMode::Journal &&
        journalRequest.action == cli::JournalRequest::Action::Closure)
        return cli::runJournalClosure(*ledger, journalRequest, options.json, std::cout, std::cerr);

    const std::unique_ptr<SerialLine> port = makeSystemSerialLine();
    std::unique_ptr<TracingLine> tracing;
    SerialLine* line = port.get();
    if (options.trace) {
        tracing = std::make_unique<TracingLine>(*port, std::cerr);
        line = tracing.get();
    }
    SteadyClock clock;
    if (options.mode == cli::CliMode::Probe)
        return probePorts(options, *line, clock, stopRequested);

    ReaderLink link(*line, clock, [&options] { return options.port; });
    till::Till till(link, ledger.get());
    till.setInterruption(stopRequested);
    int status = 0;
    if (options.mode == cli::CliMode::Journal) {
        status =
            journalRequest.action == cli::JournalRequest::Action::Resolve
                ? cli::runJournalResolve(till, journalRequest, options.json, std::cout, std::cerr)
                : cli::runJournalCheck(till, options.json, std::cout, std::cerr);
    } else {
        cli::CliRunner runner(till, link, clock, std::cout, std::cerr, options.json);
        runner.setStopRequest(stopRequested);
        status = options.mode == cli::CliMode::StandardInput
                     ? runner.runLines(std::cin, options.keepGoing)
                     : runner.runAll(options.commands, options.keepGoing);
    }
    // One run is one session: the port is released before the program ends.
    link.CloseReaderPort();
    return status;
}

#include <QApplication>
#include <QTranslator>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "app/app_platform.h"
#include "app/command_line.h"
#include "app/qt_french.h"
#include "process/platform.h"
#include "reader/byte_text.h"
#include "reader/clock.h"
#include "reader/outcome.h"
#include "reader/system_serial_line.h"
#include "reader/tracing_line.h"
#include "sim/virtual_badge.h"
#include "till/ledger.h"
#include "ui/frm_palmota.h"

namespace {

QStringList argumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace palmota;

    // Before anything is opened: a port or lock file must never become standard output.
    platform::ensureStandardStreams();
    platform::installTerminationHandlers();

    // The command line is read before the toolkit starts, so that --help, --version and
    // a missing display are told plainly, even where no window could be shown.
    const app::CommandLine commandLine = app::parseCommandLine(argumentList(argc, argv));
    if (!commandLine.error.isEmpty()) {
        app::showStartupError("palmota: " + printable(commandLine.error.toStdString()) +
                              "\nTry 'palmota --help'.\n");
        return 2;
    }
    if (commandLine.help) {
        std::cout << app::helpText().toStdString();
        return platform::standardOutputWritten("palmota") ? 0 : platform::kExitOutputClosed;
    }
    if (commandLine.version) {
        std::cout << app::versionText().toStdString();
        return platform::standardOutputWritten("palmota") ? 0 : platform::kExitOutputClosed;
    }
    if (!app::displayAvailable()) {
        app::showStartupError(app::noDisplayMessage().toStdString());
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("palmota"));
    // The window is French whatever the locale: Qt's own widgets speak it too.
    QTranslator qtFrench;
    app::installQtFrench(qtFrench);

    // A journal asked for is opened before the window: one that names nothing usable, or a
    // build without one, ends the program here. One that cannot be reached now is tried
    // again at each write, which it refuses meanwhile.
    // Its rows name the port as chosen in the window when each write starts.
    std::function<std::string()> chosenPort;
    std::unique_ptr<till::Ledger> ledger;
    if (!commandLine.journal.isNull()) {
        till::Ledger::Opening opening = till::Ledger::open(
            commandLine.journal.toStdString(), journal::Access::Record,
            till::Station::here("palmota", [&chosenPort] { return chosenPort(); }));
        if (opening.cause == Cause::Usage) {
            app::showStartupError("palmota: " + opening.message +
                                  (opening.badName ? "\nTry 'palmota --help'.\n" : "\n"));
            return till::exitStatus(opening.cause);
        }
        ledger = std::move(opening.ledger);
        if (opening.cause == Cause::JournalUnavailable)
            std::cerr << "palmota: "
                      << ledger->unavailable(opening.error,
                                             till::Ledger::Consequence::WritesRefused)
                      << '\n';
    }

    // SIGINT, SIGTERM or SIGHUP close the window as the operator would: the exchange under
    // way ends, no command follows it (the port refuses them), and the port is released.
    const std::unique_ptr<SerialLine> system = makeSystemSerialLine();
    SerialLine* port = system.get();

    // The emulated Reader outlives the window, whose port is open on it.
    std::unique_ptr<app::Simulation> emulator;
    QString portText = commandLine.portText;
    if (commandLine.simulate) {
        const sim::VirtualBadge badge = sim::VirtualBadge::sample();
        std::string error;
        emulator = app::startSimulation(badge, *system, &error);
        if (!emulator) {
            app::showStartupError("palmota: cannot start the emulated reader: " + error + '\n');
            return 1;
        }
        port = &emulator->line();
        portText = QString::fromStdString(emulator->portText());
        const std::string where = "palmota: emulated reader on " + emulator->portText() +
                                  ", holding a badge with serial number " +
                                  std::to_string(badge.serialNumber()) + " and credit " +
                                  std::to_string(badge.credit()) + '\n';
        std::cerr << where;
    }

    // The window's serial control: the port, seen through a wire trace when asked.
    std::unique_ptr<TracingLine> tracing;
    if (commandLine.trace) tracing = std::make_unique<TracingLine>(*port, std::cerr);
    SerialLine* traced = port;
    if (tracing) traced = tracing.get();
    SerialLine& Mscomm = *traced;
    SteadyClock clock;

    ui::FrmPalmota window(Mscomm, clock);
    chosenPort = [&window] { return window.portText(); };
    window.setActionReport([trace = commandLine.trace](const std::vector<Outcome>& outcomes) {
        for (const std::string& line : app::actionReportLines(outcomes, trace))
            std::cerr << "palmota: " << line << '\n';
    });
    if (!portText.isNull()) window.setPortText(portText);
    if (ledger) {
        window.setLedger(ledger.get(), [](const std::string& line) {
            std::cerr << "palmota: " << line << std::endl;
        });
        if (commandLine.trace)
            ledger->setDriverMessages(
                [](const std::string& said) { std::cerr << "palmota: journal: " << said << '\n'; });
    }
    // SIGINT, SIGTERM or SIGHUP close the window as the operator would: the operation under
    // way runs to its end, none starts after it, and the port is released.
    window.setInterruption(platform::terminationRequested);
    app::closeOnTermination(window);
    window.show();
    return QApplication::exec();
}

#include <QApplication>
#include <QSocketNotifier>
#include <iostream>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "journal/journal_location.h"
#include "journal/journal_open.h"
#include "process/platform.h"
#include "reader/clock.h"
#include "reader/outcome.h"
#include "reader/qt_serial_line.h"
#include "reader/tracing_line.h"
#include "sim/pty_reader.h"
#include "sim/virtual_badge.h"
#include "ui/frm_palmota.h"
#include "ui/window_journal.h"

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
        std::cerr << "palmota: " << printable(commandLine.error.toStdString())
                  << "\nTry 'palmota --help'.\n";
        return 2;
    }
    if (commandLine.help) {
        std::cout << app::helpText().toStdString();
        return 0;
    }
    if (commandLine.version) {
        std::cout << app::versionText().toStdString();
        return 0;
    }
    if (!app::displayAvailable()) {
        std::cerr << app::noDisplayMessage().toStdString();
        return 1;
    }

    // A journal asked for is judged before the window opens: a build without one says so.
    if (!commandLine.journal.isNull()) {
        std::string error;
        if (!journal::journalAvailable()) {
            std::cerr << journal::kNotAvailable << '\n';
            return 2;
        }
        if (!journal::parseJournalLocation(commandLine.journal.toStdString(), error)) {
            std::cerr << "palmota: --journal: " << printable(error) << "\nTry 'palmota --help'.\n";
            return 2;
        }
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("palmota"));

    // The emulated Reader outlives the window, whose port is open on it.
    std::unique_ptr<sim::PtyReader> emulator;
    QString portText = commandLine.portText;
    if (commandLine.simulate) {
        const sim::VirtualBadge badge = sim::VirtualBadge::sample();
        emulator = std::make_unique<sim::PtyReader>(badge);
        std::string error;
        if (!emulator->start(&error)) {
            std::cerr << "palmota: cannot start the emulated reader: " << error << '\n';
            return 1;
        }
        portText = QString::fromStdString(emulator->devicePath());
        const std::string where = "palmota: emulated reader on " + emulator->devicePath() +
                                  ", holding a badge with serial number " +
                                  std::to_string(badge.serialNumber()) + " and credit " +
                                  std::to_string(badge.credit()) + '\n';
        std::cerr << where;
    }

    // The window's serial control: the port, seen through a wire trace when asked.
    QtSerialLine port;
    std::unique_ptr<TracingLine> tracing;
    if (commandLine.trace) tracing = std::make_unique<TracingLine>(port, std::cerr);
    SerialLine* traced = &port;
    if (tracing) traced = tracing.get();
    SerialLine& Mscomm = *traced;
    SteadyClock clock;

    ui::FrmPalmota window(Mscomm, clock);
    window.setActionReport([trace = commandLine.trace](const std::vector<Outcome>& outcomes) {
        for (const std::string& line : app::actionReportLines(outcomes, trace))
            std::cerr << "palmota: " << line << '\n';
    });
    if (!portText.isNull()) window.setPortText(portText);
    std::unique_ptr<journal::Journal> journal;
    std::unique_ptr<ui::WindowJournal> windowJournal;
    if (!commandLine.journal.isNull()) {
        // One that cannot be reached now is tried again at each write, which it refuses
        // meanwhile.
        std::string error;
        journal = journal::makeJournal(commandLine.journal.toStdString(), error);
        if (!journal->connect(error))
            std::cerr << "palmota: journal unavailable: " << printable(journal->where()) << ": "
                      << printable(error) << "; writes are refused until it answers\n";
        windowJournal = std::make_unique<ui::WindowJournal>(*journal);
        window.setJournal(windowJournal.get(), [](const std::string& line) {
            std::cerr << "palmota: " << line << std::endl;
        });
    }
    // SIGINT, SIGTERM or SIGHUP close the window as the operator would: the exchange under
    // way ends, no command follows it (the port refuses them), and the port is released.
    port.setInterruption(platform::terminationRequested);
    QSocketNotifier termination(platform::terminationFd(), QSocketNotifier::Read);
    QObject::connect(&termination, &QSocketNotifier::activated, &window,
                     [&window] { window.close(); });
    window.show();
    return QApplication::exec();
}

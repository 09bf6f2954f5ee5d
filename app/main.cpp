#include <QApplication>
#include <QSocketNotifier>
#include <iostream>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "process/platform.h"
#include "reader/clock.h"
#include "reader/outcome.h"
#include "reader/qt_serial_line.h"
#include "reader/tracing_line.h"
#include "sim/pty_reader.h"
#include "sim/virtual_badge.h"
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
        std::cerr << "palmota: " << printable(commandLine.error.toStdString())
                  << "\nTry 'palmota --help'.\n";
        return 2;
    }
    if (commandLine.help) {
        std::cout << app::helpText().toStdString();
        return platform::standardOutputWritten("palmota") ? 0 : platform::kExitOutputFailed;
    }
    if (commandLine.version) {
        std::cout << app::versionText().toStdString();
        return platform::standardOutputWritten("palmota") ? 0 : platform::kExitOutputFailed;
    }
    if (!app::displayAvailable()) {
        std::cerr << app::noDisplayMessage().toStdString();
        return 1;
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
    // SIGINT, SIGTERM or SIGHUP close the window as the operator would: the operation under
    // way runs to its end, none starts after it, and the port is released.
    window.setInterruption(platform::terminationRequested);
    QSocketNotifier termination(platform::terminationFd(), QSocketNotifier::Read);
    QObject::connect(&termination, &QSocketNotifier::activated, &window,
                     [&window] { window.close(); });
    window.show();
    return QApplication::exec();
}

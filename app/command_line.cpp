#include "app/command_line.h"

#include <QCommandLineParser>
#include <QtGlobal>

#include "journal/journal_platform.h"
#include "reader/port_name.h"

namespace palmota::app {

namespace {
const QString kPortOption = QStringLiteral("port");
const QString kSimulateOption = QStringLiteral("simulate");
const QString kTraceOption = QStringLiteral("trace");
const QString kJournalOption = QStringLiteral("journal");
}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({{QStringLiteral("p"), kPortOption}, QString(), QStringLiteral("TEXT")});
    parser.addOption({kSimulateOption, QString()});
    parser.addOption({{QStringLiteral("t"), kTraceOption}, QString()});
    parser.addOption({kJournalOption, QString(), QStringLiteral("WHERE")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    parser.addOption({{QStringLiteral("V"), QStringLiteral("version")}, QString()});

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    if (!parser.positionalArguments().isEmpty()) {
        line.error =
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().front());
        return line;
    }
    line.help = parser.isSet(QStringLiteral("help"));
    line.version = parser.isSet(QStringLiteral("version"));
    line.simulate = parser.isSet(kSimulateOption);
    line.trace = parser.isSet(kTraceOption);
    if (parser.isSet(kPortOption)) {
        if (parser.values(kPortOption).size() > 1) {
            line.error = QStringLiteral("--port given more than once.");
            return line;
        }
        line.portText = parser.value(kPortOption);
    }
    if (parser.isSet(kJournalOption)) {
        line.journal = parser.value(kJournalOption);
        if (line.journal.isEmpty()) {
            line.error = QStringLiteral("--journal needs a file path or a postgresql:// URI.");
            return line;
        }
    }
    if (line.simulate && parser.isSet(kPortOption)) {
        // The emulated Reader brings its own port: another one would be ignored silently.
        line.error = QStringLiteral("--port and --simulate cannot be used together.");
    }
    return line;
}

QString helpText() {
    return QStringLiteral(
               "Usage: palmota [-p TEXT | --simulate] [-t] [--journal WHERE]\n"
               "Reads a badge's serial number and credit through the badge reader/encoder on a\n"
               "serial port, and writes a new credit to it.\n"
               "\n"
               "  -p, --port TEXT\n"
               "                the port chosen at start:\n") +
           QString::fromUtf8(port_naming::portOptionHelp()) +
           QStringLiteral(
               "  --simulate    try the program without hardware: an emulated reader holds a\n"
               "                badge (serial number 123456, credit 1500)\n"
               "  -t, --trace   one line on standard error for each opening and closing of\n"
               "                the port and each write and read on it: milliseconds since\n"
               "                start, \"->\" sent or \"<-\" received, the bytes in hex\n"
               "  --journal WHERE\n"
               "                record every credit write, before it is sent, in a journal:\n"
               "                a file (SQLite, made on first use) or a postgresql:// URI\n"
               "                (shared by several stations). The badge is read before and\n"
               "                after each write, for its record; a write whose record cannot\n"
               "                be made is not sent: \"ERREUR\". The password goes in\n"
               "                ") +
           QString::fromUtf8(journal::passwordFileHelp().data(),
                             static_cast<qsizetype>(journal::passwordFileHelp().size())) +
           QStringLiteral(
               "\n"
               "  -h, --help    show this help and exit\n"
               "  -V, --version show the version and exit\n");
}

QString versionText() {
    return QStringLiteral("palmota " PALMOTA_VERSION "\n");
}

std::vector<std::string> actionReportLines(const std::vector<Outcome>& outcomes, bool trace) {
    std::vector<std::string> lines;
    for (const Outcome& outcome : outcomes) {
        if (outcome.succeeded()) continue;
        if (trace) {
            lines.push_back(describe(outcome));
        } else if (outcome.cause == Cause::PortUnavailable) {
            lines.push_back(describe(outcome));
            break;
        }
    }
    return lines;
}

QString noDisplayMessage() {
    return QStringLiteral(
        "palmota: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are unset); "
        "run it under a virtual one instead: xvfb-run -a palmota --simulate\n");
}

}  // namespace palmota::app

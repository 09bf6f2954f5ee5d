#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "reader/outcome.h"

namespace palmota::app {

// What the operator asked for on the command line. Nothing else is read from outside.
struct CommandLine {
    QString portText;       // --port: the port chooser's text at start (null: "1")
    bool simulate = false;  // --simulate: an emulated Reader with a sample badge
    bool trace = false;     // --trace: every write and read on the port, on standard error
    QString journal;        // --journal: where credit writes are recorded (null: nowhere)
    bool help = false;
    bool version = false;
    QString error;  // not empty: the arguments cannot be used, and why
};

// `arguments` as main receives them, the program's name first.
CommandLine parseCommandLine(const QStringList& arguments);

QString helpText();
QString versionText();

// What the window program says on standard error after an action: nothing as long as the
// port opens, one line when it cannot, however many operations the action ran. With the
// wire trace on, one line for every operation that failed.
std::vector<std::string> actionReportLines(const std::vector<Outcome>& outcomes, bool trace);

// Whether a window can be shown at all: on X11 and Wayland systems a display must be
// named, or a platform chosen explicitly (QT_QPA_PLATFORM=offscreen, say); Windows always
// has its desktop. Defined in app_platform_<system>.cpp.
bool displayAvailable();
// The one line told instead of a toolkit failure when there is no display.
QString noDisplayMessage();

}  // namespace palmota::app

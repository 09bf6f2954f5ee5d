#pragma once

#include <memory>
#include <string>

#include "reader/serial_line.h"
#include "sim/virtual_badge.h"

class QWidget;

// What the window program does differently on each system; one source file per system.
namespace palmota::app {

// The emulated Reader of --simulate, started before the window and outliving it. On Linux
// it is the emulator on a pseudo-terminal, reached through the system's serial line like
// any device; on Windows, which has no pseudo-terminals, it is an emulated line inside
// the program under a port name of its own, and every other name still reaches the
// system's ports.
class Simulation {
  public:
    virtual ~Simulation() = default;
    // The port chooser's text that reaches the emulated Reader.
    virtual std::string portText() const = 0;
    // The line the window talks through.
    virtual SerialLine& line() = 0;
};

// Null, with the reason in `error`, when it cannot start.
std::unique_ptr<Simulation> startSimulation(const sim::VirtualBadge& badge, SerialLine& systemLine,
                                            std::string* error);

// Tells why the program cannot start, before any window opens: `message` is what standard
// error gets, one or more lines each ending in a line feed. On Linux it goes to standard
// error. On Windows, where the window program has no console of its own, it goes there
// when that leads somewhere (the console it was started from, or a file or pipe), and
// otherwise into a message box captioned as the window is, so that a program started
// from the desktop does not end without a word.
void showStartupError(const std::string& message);

// Closes `window` as the operator would once the program is asked to end (SIGINT, SIGTERM
// or SIGHUP on Linux; Ctrl+C, Ctrl+Break or closing the console it was started from on
// Windows). Needs installTerminationHandlers() first.
void closeOnTermination(QWidget& window);

}  // namespace palmota::app

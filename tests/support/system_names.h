#pragma once

#include <string>

namespace palmota::testing {

// The tests write ports as Linux names them (/dev/ttyS0 is port 1, /dev/ttyUSB0 an
// adapter). On another system this gives the same text with each such name in that
// system's spelling (COM1, COM3 on Windows), so that one table serves both: the chooser
// texts going in and the messages coming out. One source file per system.
std::string onThisSystem(std::string text);

}  // namespace palmota::testing

#pragma once

#include <functional>
#include <memory>

#include "reader/serial_line.h"

namespace palmota {

// The serial line of the system the program runs on: QSerialPort on Linux (QtSerialLine),
// the Win32 comm API on Windows (WinSerialLine). Once `interrupted` says so, the next
// write closes the port instead (unless it is the operand of the command before it) and
// no opening succeeds.
std::unique_ptr<SerialLine> makeSystemSerialLine(std::function<bool()> interrupted);

}  // namespace palmota

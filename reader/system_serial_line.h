#pragma once

#include <memory>

#include "reader/serial_line.h"

namespace palmota {

// The serial line of the system the program runs on: QSerialPort on Linux (PosixSerialLine),
// the Win32 comm API on Windows (WinSerialLine).
std::unique_ptr<SerialLine> makeSystemSerialLine();

}  // namespace palmota

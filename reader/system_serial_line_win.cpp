#include "reader/system_serial_line.h"
#include "reader/win_serial_line.h"

namespace palmota {

std::unique_ptr<SerialLine> makeSystemSerialLine() {
    return std::make_unique<WinSerialLine>();
}

}  // namespace palmota

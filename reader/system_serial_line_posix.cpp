#include "reader/posix_serial_line.h"
#include "reader/system_serial_line.h"

namespace palmota {

std::unique_ptr<SerialLine> makeSystemSerialLine() {
    return std::make_unique<PosixSerialLine>();
}

}  // namespace palmota

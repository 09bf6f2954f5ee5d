#include "reader/qt_serial_line.h"
#include "reader/system_serial_line.h"

namespace palmota {

std::unique_ptr<SerialLine> makeSystemSerialLine(std::function<bool()> interrupted) {
    auto line = std::make_unique<QtSerialLine>();
    line->setInterruption(std::move(interrupted));
    return line;
}

}  // namespace palmota

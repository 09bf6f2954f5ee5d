#pragma once

#include <QString>
#include <QStringList>

namespace palmota::ui {

// The USB serial adapters and USB modems (CDC ACM) present now under `deviceDir`, as
// full paths: ttyUSB* first, then ttyACM*, each in numeric order (ttyUSB2 before
// ttyUSB10). These are where a Reader on a USB adapter shows up on Linux.
QStringList serialAdapterDevices(const QString& deviceDir = QStringLiteral("/dev"));

}  // namespace palmota::ui

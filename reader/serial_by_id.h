#pragma once

#include <QHash>
#include <QString>

namespace palmota {

// udev names each USB serial device once more under /dev/serial/by-id, as a link to the
// device whose name (maker, product, the adapter's serial number) stays the same across
// replugging, where /dev/ttyUSB0 may become /dev/ttyUSB1. This maps each device's resolved
// path to the first link in `dir`, in name order, that leads to it.
QHash<QString, QString> serialByIdLinks(const QString& dir = QStringLiteral("/dev/serial/by-id"));

}  // namespace palmota

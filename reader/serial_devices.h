#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace palmota {

// A serial device present on this machine, as the system reports it. Empty texts are
// unknown.
struct SerialDevice {
    QString path;  // the system's name as --port takes it: /dev/ttyUSB0, COM5
    // Its link under /dev/serial/by-id. udev names each USB serial device once more there,
    // after its maker, product and the adapter's own serial number: a name that stays the
    // same across replugging, where /dev/ttyUSB0 may come back as /dev/ttyUSB1.
    QString byId;
    QString description;  // the product, as the device names itself
    QString manufacturer;
    std::optional<std::uint16_t> vendorId;  // USB devices only
    std::optional<std::uint16_t> productId;
    QString serialNumber;  // the adapter's own, not a badge's
};

// The USB vendor and product identifiers as four lower-case hex digits each, "0403:6001";
// empty for a device that is not on USB.
QString vidPid(const SerialDevice& device);

// `devices` with `byId` set to the first link in `byIdDir`, in name order, that leads to
// each device's path.
QList<SerialDevice> withByIdLinks(QList<SerialDevice> devices,
                                  const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));

// The serial devices the system reports now, opening none of them. On Linux, as
// QSerialPortInfo lists them, with their by-id links; on Windows, the COM ports of the
// device list (SetupAPI) and of the registry's list of serial ports, by port number
// (serial_devices_setupapi.h). One source file per system.
QList<SerialDevice> serialDevicesPresent();

}  // namespace palmota

#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace palmota::ui {

// A serial device present now, as the port chooser lists it.
struct SerialDevice {
    // The name to open: its /dev/serial/by-id link when it has one, as that name stays
    // the same across replugging; else the system's name (/dev/ttyUSB0).
    QString path;
    // For the operator who points at it: product, manufacturer, USB VID:PID, and the
    // system's name when the path is another.
    QString details;
};

// What the system tells of one device; the USB identifiers only for USB devices.
struct SerialDeviceFacts {
    QString systemLocation;
    QString product;
    QString manufacturer;
    std::optional<std::uint16_t> vendorId;
    std::optional<std::uint16_t> productId;
};

// One line each: "FT232R USB UART", "FTDI", "USB 0403:6001", "/dev/ttyUSB0" (the last
// only when `path` is not the system's name); what is not known is left out.
QString deviceDetails(const SerialDeviceFacts& facts, const QString& path);

// `facts` as the chooser lists them, each named by the link in `byIdDir` that leads to
// it, if any.
QList<SerialDevice> listedDevices(const QList<SerialDeviceFacts>& facts,
                                  const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));

// The serial devices the system reports now (QSerialPortInfo), in its order.
QList<SerialDevice> serialDevicesPresent();

}  // namespace palmota::ui

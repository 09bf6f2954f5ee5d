#include <QSerialPortInfo>

#include "reader/serial_devices.h"

namespace palmota {

QList<SerialDevice> serialDevicesPresent() {
    QList<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice device;
        device.path = info.systemLocation();
        device.description = info.description();
        device.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            device.vendorId = info.vendorIdentifier();
            device.productId = info.productIdentifier();
        }
        device.serialNumber = info.serialNumber();
        devices.append(device);
    }
    return withByIdLinks(devices);
}

}  // namespace palmota

#include "ui/serial_devices.h"

#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>
#include <QStringList>

#include "reader/serial_by_id.h"

namespace palmota::ui {

namespace {
QString hex4(std::uint16_t id) {
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')).toUpper();
}
}  // namespace

QString deviceDetails(const SerialDeviceFacts& facts, const QString& path) {
    QStringList lines;
    if (!facts.product.isEmpty()) lines << facts.product;
    if (!facts.manufacturer.isEmpty()) lines << facts.manufacturer;
    if (facts.vendorId && facts.productId)
        lines << QStringLiteral("USB ") + hex4(*facts.vendorId) + u':' + hex4(*facts.productId);
    if (path != facts.systemLocation) lines << facts.systemLocation;
    return lines.join(u'\n');
}

QList<SerialDevice> listedDevices(const QList<SerialDeviceFacts>& facts, const QString& byIdDir) {
    const QHash<QString, QString> byId = serialByIdLinks(byIdDir);
    QList<SerialDevice> devices;
    for (const SerialDeviceFacts& device : facts) {
        const QString canonical = QFileInfo(device.systemLocation).canonicalFilePath();
        const QString path = byId.value(canonical, device.systemLocation);
        devices.append({path, deviceDetails(device, path)});
    }
    return devices;
}

QList<SerialDevice> serialDevicesPresent() {
    QList<SerialDeviceFacts> facts;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        SerialDeviceFacts device{port.systemLocation(), port.description(), port.manufacturer(),
                                 std::nullopt, std::nullopt};
        if (port.hasVendorIdentifier() && port.hasProductIdentifier()) {
            device.vendorId = port.vendorIdentifier();
            device.productId = port.productIdentifier();
        }
        facts.append(device);
    }
    return listedDevices(facts);
}

}  // namespace palmota::ui

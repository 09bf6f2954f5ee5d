#include "reader/serial_devices.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

namespace palmota {

QString vidPid(const SerialDevice& device) {
    if (!device.vendorId || !device.productId) return {};
    const auto hex4 = [](std::uint16_t id) {
        return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
    };
    return hex4(*device.vendorId) + u':' + hex4(*device.productId);
}

QList<SerialDevice> withByIdLinks(QList<SerialDevice> devices, const QString& byIdDir) {
    // Each device's resolved path, and the first link, in name order, that leads to it.
    QHash<QString, QString> links;
    for (const QFileInfo& link : QDir(byIdDir).entryInfoList(
             QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (!link.isSymLink()) continue;
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty() && !links.contains(target)) links.insert(target, link.filePath());
    }
    for (SerialDevice& device : devices) {
        const QString canonical = QFileInfo(device.path).canonicalFilePath();
        if (!canonical.isEmpty()) device.byId = links.value(canonical);
    }
    return devices;
}

}  // namespace palmota

#include "reader/serial_devices_setupapi.h"

#include <algorithm>
#include <optional>

namespace palmota {

namespace {

// The device namespace: a port whose name is not COMn is opened as \\.\NAME.
const QString kDevicePrefix = QStringLiteral("\\\\.\\");

bool isAsciiDigits(QStringView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The number N of a port named COMN (any case, leading zeros allowed), else 0.
int comNumber(const QString& name) {
    if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) return 0;
    const QStringView digits = QStringView(name).mid(3);
    if (!isAsciiDigits(digits)) return 0;
    bool ok = false;
    const int number = digits.toInt(&ok);
    return ok ? number : 0;
}

// The port's name as --port and the chooser take it.
QString portPath(const QString& portName) {
    QString name = portName.trimmed();
    if (name.isEmpty() || name.startsWith(kDevicePrefix)) return name;
    if (const int number = comNumber(name); number > 0)
        return QStringLiteral("COM") + QString::number(number);
    return kDevicePrefix + name;
}

// Parallel ports (LPTn) share the Ports class with the serial ones.
bool isParallelPort(const QString& portName) {
    const QString name = portName.trimmed();
    return name.startsWith(QLatin1String("LPT"), Qt::CaseInsensitive) &&
           isAsciiDigits(QStringView(name).mid(3));
}

// The bus driver that made an id: its first part, "USB" in "USB\VID_0403&PID_6001". FTDI's
// own driver puts its ports on a bus of its own, FTDIBUS; Bluetooth (BTHENUM) has vendor
// ids of its own, which are no USB ids.
bool isUsbId(const QString& id) {
    const QString bus = id.section(u'\\', 0, 0);
    return bus.compare(QLatin1String("USB"), Qt::CaseInsensitive) == 0 ||
           bus.compare(QLatin1String("FTDIBUS"), Qt::CaseInsensitive) == 0;
}

// The four hex digits after `key` ("VID_") in `id`.
std::optional<std::uint16_t> hexAfter(const QString& id, QLatin1String key) {
    const qsizetype at = id.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0) return std::nullopt;
    const QStringView digits = QStringView(id).mid(at + key.size(), 4);
    if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), [](QChar c) {
            return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        }))
        return std::nullopt;
    return static_cast<std::uint16_t>(digits.toUInt(nullptr, 16));
}

// "USB\VID_0403&PID_6001\A50285BI" holds the adapter's own serial number in its last part.
// Windows makes that part up, with '&' in it ("5&1A2B3C4D&0&2"), for a device that reports
// no serial number, and for each interface of a composite device (MI_00). FTDI's driver
// names its ports "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000": the serial number followed
// by the letter of the chip's channel, A for the first (or only) one.
QString serialNumberOf(const QString& instanceId) {
    const QStringList parts = instanceId.split(u'\\');
    if (parts.size() != 3) return {};
    const QString& bus = parts[0];
    if (bus.compare(QLatin1String("USB"), Qt::CaseInsensitive) == 0)
        return parts[2].contains(u'&') ? QString() : parts[2];
    if (bus.compare(QLatin1String("FTDIBUS"), Qt::CaseInsensitive) == 0) {
        const QStringList ids = parts[1].split(u'+');
        if (ids.size() != 3 || ids[2].size() < 2) return {};
        return ids[2].chopped(1);
    }
    return {};
}

// "USB Serial Port (COM5)" names the port once more after the device: the list already
// gives the port's name, so the friendly name is shown without it.
QString withoutPortName(const QString& friendlyName, const QString& portName) {
    QString name = friendlyName.trimmed();
    const QString suffix = QStringLiteral(" (") + portName.trimmed() + u')';
    if (portName.trimmed().isEmpty() || !name.endsWith(suffix, Qt::CaseInsensitive)) return name;
    return name.chopped(suffix.size()).trimmed();
}

// COM ports by their numbers (COM2 before COM10), then the other names.
bool listedBefore(const SerialDevice& a, const SerialDevice& b) {
    const int na = comNumber(a.path);
    const int nb = comNumber(b.path);
    if ((na > 0) != (nb > 0)) return na > 0;
    if (na != nb) return na < nb;
    return a.path.compare(b.path, Qt::CaseInsensitive) < 0;
}

}  // namespace

SerialDevice deviceFromSetupApi(const SetupApiPort& port) {
    SerialDevice device;
    device.path = portPath(port.portName);
    device.description = withoutPortName(port.friendlyName, port.portName);
    if (device.description.isEmpty()) device.description = port.description.trimmed();
    device.manufacturer = port.manufacturer.trimmed();
    QStringList ids = port.hardwareIds;
    ids << port.instanceId;
    for (const QString& id : ids) {
        if (!isUsbId(id)) continue;
        const auto vendor = hexAfter(id, QLatin1String("VID_"));
        const auto product = hexAfter(id, QLatin1String("PID_"));
        if (vendor && product) {
            device.vendorId = vendor;
            device.productId = product;
            break;
        }
    }
    device.serialNumber = serialNumberOf(port.instanceId);
    return device;
}

QList<SerialDevice> windowsPortList(const QList<SetupApiPort>& deviceList,
                                    const QStringList& serialCommNames) {
    QList<SerialDevice> devices;
    const auto listed = [&devices](const QString& path) {
        return std::any_of(devices.begin(), devices.end(), [&path](const SerialDevice& device) {
            return device.path.compare(path, Qt::CaseInsensitive) == 0;
        });
    };
    // The Ports class and the COM port interface list many ports twice: the first is kept.
    for (const SetupApiPort& port : deviceList) {
        if (isParallelPort(port.portName)) continue;
        SerialDevice device = deviceFromSetupApi(port);
        if (device.path.isEmpty() || listed(device.path)) continue;
        devices.append(device);
    }
    for (const QString& name : serialCommNames) {
        SerialDevice device;
        device.path = portPath(name);
        if (device.path.isEmpty() || listed(device.path)) continue;
        devices.append(device);
    }
    std::stable_sort(devices.begin(), devices.end(), listedBefore);
    return devices;
}

}  // namespace palmota

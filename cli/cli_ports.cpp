#include "cli/cli_ports.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <cstdio>

#include "reader/byte_text.h"
#include "reader/serial_by_id.h"

namespace palmota::cli {

namespace {

constexpr const char* kUnknown = "-";

std::string text(const QString& value) {
    return value.toStdString();
}

// A field of a tab-separated line: its own tabs and line ends would split it.
std::string field(const std::string& value) {
    if (value.empty()) return kUnknown;
    std::string out = value;
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return printable(out);
}

QJsonValue jsonField(const std::string& value) {
    return value.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(value));
}

}  // namespace

std::vector<SerialDevice> listSerialDevices() {
    const QHash<QString, QString> byId = serialByIdLinks();
    std::vector<SerialDevice> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialDevice device;
        device.path = text(info.systemLocation());
        const QString canonical = QFileInfo(info.systemLocation()).canonicalFilePath();
        if (!canonical.isEmpty()) device.byId = text(byId.value(canonical));
        device.description = text(info.description());
        device.manufacturer = text(info.manufacturer());
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            char ids[16];
            std::snprintf(ids, sizeof ids, "%04x:%04x", info.vendorIdentifier(),
                          info.productIdentifier());
            device.vidPid = ids;
        }
        device.serialNumber = text(info.serialNumber());
        devices.push_back(device);
    }
    return devices;
}

std::string deviceLine(const SerialDevice& device) {
    return field(device.path) + '\t' + field(device.byId) + '\t' + field(device.description) +
           '\t' + field(device.manufacturer) + '\t' + field(device.vidPid) + '\t' +
           field(device.serialNumber);
}

QJsonObject deviceJson(const SerialDevice& device) {
    return {{"path", jsonField(device.path)},
            {"byId", jsonField(device.byId)},
            {"description", jsonField(device.description)},
            {"manufacturer", jsonField(device.manufacturer)},
            {"vidPid", jsonField(device.vidPid)},
            {"serialNumber", jsonField(device.serialNumber)}};
}

}  // namespace palmota::cli

#pragma once

#include <QJsonObject>
#include <string>
#include <vector>

namespace palmota::cli {

// A serial device present on this machine, as palmota-cli ports lists it. Empty texts
// are unknown.
struct SerialDevice {
    std::string path;         // /dev/ttyUSB0
    std::string byId;         // its /dev/serial/by-id link, which survives replugging
    std::string description;  // the product, as the device names itself
    std::string manufacturer;
    std::string vidPid;        // USB vendor and product identifiers, "0403:6001"
    std::string serialNumber;  // the adapter's own, not a badge's
};

// What QSerialPortInfo knows, with the by-id links of /dev/serial/by-id. Opens nothing.
std::vector<SerialDevice> listSerialDevices();

// One tab-separated line: path, by-id link, description, manufacturer, VID:PID, serial
// number, each "-" when unknown (and tabs or line ends inside a text made spaces).
std::string deviceLine(const SerialDevice& device);
// The same as one JSON object; unknown values are null.
QJsonObject deviceJson(const SerialDevice& device);

}  // namespace palmota::cli

#pragma once

#include <QJsonObject>
#include <string>

#include "reader/serial_devices.h"

namespace palmota::cli {

// One tab-separated line: path, by-id link, description, manufacturer, VID:PID, serial
// number, each "-" when unknown (and tabs or line ends inside a text made spaces).
std::string deviceLine(const SerialDevice& device);
// The same as one JSON object; unknown values are null.
QJsonObject deviceJson(const SerialDevice& device);

}  // namespace palmota::cli

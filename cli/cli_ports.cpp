#include "cli/cli_ports.h"

#include "reader/outcome.h"

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

QJsonValue jsonField(const QString& value) {
    return value.isEmpty() ? QJsonValue() : QJsonValue(value);
}

}  // namespace

std::string deviceLine(const SerialDevice& device) {
    return field(text(device.path)) + '\t' + field(text(device.byId)) + '\t' +
           field(text(device.description)) + '\t' + field(text(device.manufacturer)) + '\t' +
           field(text(vidPid(device))) + '\t' + field(text(device.serialNumber));
}

QJsonObject deviceJson(const SerialDevice& device) {
    return {{"path", jsonField(device.path)},
            {"byId", jsonField(device.byId)},
            {"description", jsonField(device.description)},
            {"manufacturer", jsonField(device.manufacturer)},
            {"vidPid", jsonField(vidPid(device))},
            {"serialNumber", jsonField(device.serialNumber)}};
}

}  // namespace palmota::cli

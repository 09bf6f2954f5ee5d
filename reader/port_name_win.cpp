#include <cctype>

#include "reader/bounded_decimal.h"
#include "reader/port_name.h"

namespace palmota::port_naming {

namespace {
// The system's device namespace: \\.\COM12 is how ports from COM10 up must be opened,
// and how any other serial device (a virtual port's own name) is reached.
constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::uint64_t kHighestPortNumber = 256;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}
}  // namespace

std::string numberedPort(std::uint32_t n) {
    return "COM" + std::to_string(n);
}

// COM7, com7 and \\.\COM7 are one port, told as COM7; another name in the device
// namespace is kept as given.
PortChoice namedPort(std::string_view text) {
    const bool inNamespace = startsWithNoCase(text, kDevicePrefix);
    const std::string_view name = inNamespace ? text.substr(kDevicePrefix.size()) : text;
    if (startsWithNoCase(name, "COM")) {
        const auto n = boundedDecimal(name.substr(3), kHighestPortNumber);
        if (n && *n > 0) return {numberedPort(static_cast<std::uint32_t>(*n)), {}};
        if (n) return {{}, "port numbers start at 1"};
    }
    if (inNamespace && !name.empty()) return {std::string(text), {}};
    return {{}, "neither a port number nor a port name"};
}

bool namesArePaths() {
    return false;
}

std::string_view example() {
    return "COM7";
}

std::string_view portOptionHelp() {
    return "                a number N from 1, the port COMN (1 to 6 are COM1 to COM6 of\n"
           "                the window's port chooser), or a port name: COM7, com12 or\n"
           "                \\\\.\\COM12, or another device's name after \\\\.\\; default 1\n";
}

}  // namespace palmota::port_naming

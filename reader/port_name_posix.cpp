#include "reader/port_name.h"

namespace palmota::port_naming {

// COM1 is the first serial port, /dev/ttyS0.
std::string numberedPort(std::uint32_t n) {
    return "/dev/ttyS" + std::to_string(n - 1);
}

PortChoice namedPort(std::string_view text) {
    if (text.front() == '/') return {std::string(text), {}};
    return {{}, "neither a port number nor a device path"};
}

bool namesArePaths() {
    return true;
}

std::string_view example() {
    return "/dev/ttyUSB0";
}

}  // namespace palmota::port_naming

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

std::string_view portOptionHelp() {
    return "                a number N from 1, the N-th serial port /dev/ttyS(N-1) (1 to 6\n"
           "                are COM1 to COM6 of the window's port chooser, /dev/ttyS0 to\n"
           "                /dev/ttyS5), or a device path such as /dev/ttyUSB0 for a USB\n"
           "                adapter; default 1\n";
}

}  // namespace palmota::port_naming

#pragma once

#include <string>
#include <string_view>

namespace palmota {

// What the port chooser's text names. An integer N from 1 up is the system's N-th serial
// port, /dev/ttyS(N-1); a device path ("/dev/ttyUSB0") is that device. Spaces around the
// text are ignored.
struct PortChoice {
    std::string device;  // empty when the text names no port
    std::string error;   // why, when it names none
};

PortChoice resolvePortName(std::string_view chooserText);

// The port chooser offers the numbers 1 to 6, COM1 to COM6: /dev/ttyS0 to /dev/ttyS5.
inline constexpr int kNumberedPortCount = 6;

}  // namespace palmota

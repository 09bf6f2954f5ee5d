#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace palmota {

// What the port chooser's text names. An integer N from 1 up is the system's N-th serial
// port (COMN: /dev/ttyS(N-1) on Linux, COMN on Windows); otherwise the text is the
// system's own name for a device ("/dev/ttyUSB0"; "COM12", "com12" or "\\.\COM12").
// Spaces around the text are ignored.
struct PortChoice {
    std::string device;  // empty when the text names no port
    std::string error;   // why, when it names none
};

PortChoice resolvePortName(std::string_view chooserText);

// The port chooser offers the numbers 1 to 6, COM1 to COM6 (/dev/ttyS0 to /dev/ttyS5 on Linux).
inline constexpr int kNumberedPortCount = 6;

// The system's half of the naming, one source file per system.
namespace port_naming {
// The device of the system's N-th serial port, N from 1.
std::string numberedPort(std::uint32_t n);
// What a text that is not a number names: trimmed, not empty.
PortChoice namedPort(std::string_view text);
// Whether ports are named by a path in the file system (Linux) rather than by a name
// (Windows), and an example of one: for the messages that ask for a port.
bool namesArePaths();
std::string_view example();
// What --port accepts, as the programs' help gives it: lines indented by 16 spaces, each
// ending in a line feed.
std::string_view portOptionHelp();
}  // namespace port_naming

}  // namespace palmota

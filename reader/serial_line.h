#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "reader/bytes.h"

namespace palmota {

// Why a port could not be opened, as far as the system tells.
struct OpenError {
    enum class Kind {
        BadName,           // the chooser's text names no port at all ("abc", "0")
        NoSuchDevice,      // nothing of that name on this machine
        PermissionDenied,  // the user may not read and write the device
        Busy,              // another program holds the device
        NotASerialDevice,  // a file, a directory, the program's own terminal...
        Other,
    };
    Kind kind = Kind::Other;
    std::string reason;  // the system's words, for technicians
    // PermissionDenied: the group whose members may read and write the device; empty when
    // the device is private to its owner.
    std::string group;
};

// The serial line to the Reader, as the Reader link uses it. The real one wraps
// QSerialPort (PosixSerialLine); tests use a scripted fake with an injected clock.
class SerialLine {
  public:
    virtual ~SerialLine() = default;

    // Opens `device` with the Reader's fixed line settings (9600 baud, no parity, 8 data
    // bits, 1 stop bit, no flow control, DTR on) and discards whatever the system had
    // already received. False on failure, with the reason in openError(); the line then
    // stays closed and nothing has been written anywhere.
    virtual bool open(const std::string& device) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;

    // How many of `bytes`, from the first, went to the device: all of them, unless the
    // line is closed or broken.
    virtual std::size_t write(const Bytes& bytes) = 0;
    // Count of received bytes waiting to be read (at most the 1024-byte receive buffer).
    virtual int bytesWaiting() = 0;
    // Everything waiting, possibly nothing.
    virtual Bytes readAll() = 0;
    // Blocks until more bytes arrive or `timeLeft` has passed. False when the line can
    // deliver nothing more (closed, or the device went away), so that no caller spins.
    virtual bool waitForBytes(std::chrono::duration<double> timeLeft) = 0;

    // Why the last open() failed.
    virtual OpenError openError() const = 0;
};

}  // namespace palmota

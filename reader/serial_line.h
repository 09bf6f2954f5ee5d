#pragma once

#include <chrono>
#include <string>

namespace palmota {

// Bytes on the line, one char per byte, NUL bytes included. A reply is the exact
// sequence received; positions in comments are 1-based, as the protocol numbers them.
using Bytes = std::string;

// The serial line to the Reader, as the Reader link uses it. The real one wraps
// QSerialPort (QtSerialLine); tests use a scripted fake with an injected clock.
class SerialLine {
  public:
    virtual ~SerialLine() = default;

    // Opens `device` with the Reader's fixed line settings (9600 baud, no parity, 8 data
    // bits, 1 stop bit, no flow control, DTR on) and discards whatever the system had
    // already received. False on failure, with the reason in errorString(); the line
    // then stays closed and nothing has been written anywhere.
    virtual bool open(const std::string& device) = 0;
    virtual bool isOpen() const = 0;
    virtual void close() = 0;

    virtual void write(const Bytes& bytes) = 0;
    // Count of received bytes waiting to be read (at most the 1024-byte receive buffer).
    virtual int bytesWaiting() = 0;
    // Everything waiting, possibly nothing.
    virtual Bytes readAll() = 0;
    // Blocks until more bytes arrive or `timeLeft` has passed. False when the line can
    // deliver nothing more (closed, or the device went away), so that no caller spins.
    virtual bool waitForBytes(std::chrono::duration<double> timeLeft) = 0;

    virtual std::string errorString() const = 0;
};

}  // namespace palmota

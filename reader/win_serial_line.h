#pragma once

#include <functional>

#include "reader/serial_line.h"

namespace palmota {

// The serial line on Windows, on the system's synchronous comm API: the count of bytes
// waiting is the driver's input queue (ClearCommError), a read takes all of them, and a
// wait blocks in ReadFile until a byte comes and the line then stays quiet for a few
// milliseconds, or the time is up; it never spins. Bytes a wait took are kept in the
// receive buffer (protocol::kReceiveBufferSize bytes), as the Linux line keeps them; what
// does not fit stays with the system for a later read.
//
// (QSerialPort's overlapped I/O is not used: its wait for a byte depends on
// WaitCommEvent, which some drivers, and wine on a pseudo-terminal, never complete.)
class WinSerialLine final : public SerialLine {
  public:
    WinSerialLine();
    ~WinSerialLine() override;
    WinSerialLine(const WinSerialLine&) = delete;
    WinSerialLine& operator=(const WinSerialLine&) = delete;

    bool open(const std::string& device) override;
    bool isOpen() const override;
    void close() override;
    std::size_t write(const Bytes& bytes) override;
    int bytesWaiting() override;
    Bytes readAll() override;
    bool waitForBytes(std::chrono::duration<double> timeLeft) override;
    OpenError openError() const override { return error_; }

  private:
    // Reads what the system holds into the receive buffer; `waitMs` > 0 blocks for the
    // first byte. False when the device failed.
    bool pull(unsigned long waitMs);
    int systemQueue();

    void* handle_;
    Bytes received_;
    bool failed_ = false;
    OpenError error_;
};

}  // namespace palmota

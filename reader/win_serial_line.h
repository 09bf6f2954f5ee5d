#pragma once

#include <functional>

#include "reader/serial_line.h"

namespace palmota {

// The serial line on Windows, on the system's synchronous comm API: the count of bytes
// waiting is the driver's input queue (ClearCommError) plus what a wait took, a read takes
// all of them, and a wait blocks in ReadFile for one byte, with a total time-out of the
// time left and no interval time-out: it ends as soon as a byte is there (the exchange then
// counts what has come), or when the time is up, and never spins. Bytes a wait took are
// kept in the receive buffer (protocol::kReceiveBufferSize bytes), as the Linux line keeps
// them; what does not fit stays with the system for a later read.
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

    // The total read time-out a wait of `timeLeft` sets, in the whole milliseconds the
    // system counts: rounded up, so that a wait never ends before its time; at least 1,
    // since a total time-out of 0 with no interval time-out means no time-out at all.
    static unsigned long readTimeoutMs(std::chrono::duration<double> timeLeft);

  private:
    // Moves the bytes the system holds into the receive buffer, as many as fit, without
    // waiting. False when the device failed.
    bool pull();
    int systemQueue();
    bool setReadTimeouts(unsigned long interval, unsigned long total);

    void* handle_;
    Bytes received_;
    bool failed_ = false;
    OpenError error_;
    // The read time-outs last set, so that a wait that asks for the same sets nothing.
    unsigned long readInterval_ = 0;
    unsigned long readTotal_ = 0;
};

}  // namespace palmota

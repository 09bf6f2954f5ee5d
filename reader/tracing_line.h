#pragma once

#include <iostream>
#include <ostream>
#include <string>
#include <string_view>

#include "reader/clock.h"
#include "reader/serial_line.h"

namespace palmota {

// A wire trace for technicians: forwards everything to another line and writes one text
// line per write and per read, with the time since the trace began:
//
//      12.345 ms  -> 00
//      13.210 ms  <- 00 02 05 DC
//    1014.002 ms  <-
//    1020.310 ms  -> 07 (not sent: 6C)
//
// "->" is what the host sent, "<-" what a read took from the line; a read that found
// nothing shows the arrow alone, which is how a time-out looks. Bytes a write could not
// hand to the device (the line closed or went away) follow in parentheses, so that the
// arrow shows only what really left. Openings and closings get
// a line each too. Counts and waits are not traced: an exchange polls them many times and
// they carry no bytes.
class TracingLine final : public SerialLine {
  public:
    TracingLine(SerialLine& line, std::ostream& out, Clock& clock);
    explicit TracingLine(SerialLine& line, std::ostream& out = std::cerr);

    bool open(const std::string& device) override;
    bool isOpen() const override { return line_.isOpen(); }
    void close() override;
    std::size_t write(const Bytes& bytes) override;
    int bytesWaiting() override { return line_.bytesWaiting(); }
    Bytes readAll() override;
    bool waitForBytes(std::chrono::duration<double> timeLeft) override {
        return line_.waitForBytes(timeLeft);
    }
    OpenError openError() const override { return line_.openError(); }

  private:
    void trace(std::string_view what);

    SerialLine& line_;
    std::ostream& out_;
    SteadyClock steady_;
    Clock& clock_;
    Seconds start_;
};

}  // namespace palmota

#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "clock.h"
#include "serial_line.h"

namespace palmota {

// The Reader link: the module `Palmota` of badge procedures. Every procedure opens the
// port if it is closed, runs a fixed series of host-driven exchanges and returns a
// result text for the window: a decimal number, "OK", "ERREUR" or the empty text. None
// raises or shows anything; a port that cannot be opened is told once on the error sink.
//
// Exchanges (command sent; bytes waited for; limit):
//   ReadCredit        00; 1; 1 s   06; 2; 1 s             (none); r; 2 s
//   WriteCredit       00; 1; 1 s   07; 1; 3 s             credit high, low; 1; 3 s
//   ReadSerialNumber  00; 1; 1 s   04; 1; 3 s             00 (block 0); 17; 2 s
//   ReadBlock         00; 1; 1 s   04; 1; 3 s             block number; 17; 2 s
class Palmota {
  public:
    // The port chooser's current text, read at each opening ("1" to "6", a device path).
    using PortChooser = std::function<std::string()>;
    // Where a port that cannot be opened is reported, one line each time.
    using ErrorSink = std::function<void(const std::string&)>;

    Palmota(SerialLine& line, Clock& clock, PortChooser chooser, ErrorSink errors = {});

    // Opens the port named by the chooser unless it is already open; an open port is
    // never reconfigured, so a new choice only counts at the next opening.
    void OpenReaderPort();
    void CloseReaderPort();

    // The credit as decimal text (0 to 65535), or the empty text. Closes the port when
    // the Reader is not ready, so that the next operation reopens the chosen port.
    std::string ReadCredit();
    // Writes `amount` (decimal digits, 0 to 65535): "OK", "ERREUR" or the empty text.
    std::string WriteCredit(const std::string& amount);
    // The raw reply to a block read (usually 17 bytes, possibly fewer, more or none),
    // or "ERREUR" when the Reader did not answer the ready check.
    std::string ReadBlock(const std::int32_t& blockNumber);
    // The badge's serial number in signed decimal, "ERREUR", or the empty text.
    std::string ReadSerialNumber();

  private:
    Bytes exchange(const Bytes& command, int atLeast, Seconds limit);
    Bytes readyCheck();
    Bytes readBlockReply(std::uint8_t blockNumber);

    SerialLine& line_;
    Clock& clock_;
    PortChooser chooser_;
    ErrorSink errors_;
};

}  // namespace palmota

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "reader/amount.h"
#include "reader/clock.h"
#include "reader/outcome.h"
#include "reader/serial_line.h"

namespace palmota {

// The Reader link: the badge operations on the serial line, each returning its typed
// Outcome (the credit, the serial number, the block bytes, whether the amount went out,
// the final byte). Every operation opens the port if it is closed, runs a fixed series of
// host-driven exchanges, and never raises or shows anything. The window's text procedures
// (module `Palmota`, reader/palmota.h) are a rendering of these outcomes.
//
// Exchanges (command sent; bytes waited for; limit):
//   readCredit        00; 1; 1 s   06; 2; 1 s             (none); r; 2 s
//   writeCredit       00; 1; 1 s   07; 1; 3 s             credit high, low; 1; 3 s
//   readSerialNumber  00; 1; 1 s   04; 1; 3 s             00 (block 0); 17; 2 s
//   readBlock         00; 1; 1 s   04; 1; 3 s             block number; 17; 2 s
//
// Before an operation's ready check, whatever is waiting is dropped: it answers none of
// its commands (a reply that came after its limit, a reply sent twice), and taken for the
// next reply it would shift every reply after it.
//
// The protocol has no framing, so every reply is held to its shape: one byte for the
// ready check and the 04 and 07 acknowledgements, 2 + n bytes for a credit (n announced by
// byte 2), one final byte for a write. Bytes beyond the shape, already there or waiting
// before the operation's next command, or coming within a short guard after its last
// reply, make the operation fail as a noisy line: it never yields a value taken from a
// shifted reply. A block reply is returned as read, whatever its length; only bytes after
// it count against it. A write's verdict is trusted only after a longer silence.
class ReaderLink {
  public:
    // The port's text as chosen now, read at each opening (a number from "1", a device path).
    using ChosenPort = std::function<std::string()>;

    ReaderLink(SerialLine& line, Clock& clock, ChosenPort chosenPort = {});

    // Asked before each operation sends its first byte: once true (the program was asked
    // to end), no operation starts, and each reports Cause::Interrupted with nothing sent.
    // One under way is never cut: a write cut after 07 would leave the Reader taking the
    // next bytes it receives for the amount.
    void setInterruption(std::function<bool()> interrupted) {
        interrupted_ = std::move(interrupted);
    }

    // Opens the port chosen unless it is already open; an open port is never
    // reconfigured, so a new choice only counts at the next opening. Every operation opens
    // it first; it closes when a credit read finds the Reader not ready, and at the end.
    void OpenReaderPort();
    void CloseReaderPort();

    // The credit (0 to 65535). Closes the port when the Reader is not ready, so that the
    // next operation reopens the chosen port.
    Outcome readCredit();
    // Writes `amount` as the badge's credit.
    Outcome writeCredit(std::uint16_t amount);
    // The same for an amount as typed: one over 65535 is refused (Cause::Refused) with
    // nothing sent.
    Outcome writeCredit(const Amount& amount);
    // A write refused before anything was sent: `typed` is no amount the badge can hold.
    static Outcome refusedWrite(std::string_view typed);
    // The raw reply to a block read (usually 17 bytes, possibly fewer, more or none).
    Outcome readBlock(std::int32_t blockNumber);
    // The badge's serial number, from bytes 10 to 13 of block 0.
    Outcome readSerialNumber();

  private:
    struct Reply {
        Bytes bytes;
        bool lineLost = false;
        int strayBefore = 0;  // bytes that were waiting when the command was to be written
    };
    // What is waiting before a command: left over from an earlier operation (dropped), or
    // the tail of this operation's last reply (noise).
    enum class Leftovers { Drop, AreNoise };
    // Writes `command` and waits for `atLeast` bytes within `limit`, after dealing with
    // what was waiting as `leftovers` says; an empty command only waits, for more of the
    // reply already begun.
    Reply commandExchange(const Bytes& command, int atLeast, Seconds limit,
                          Leftovers leftovers = Leftovers::AreNoise);
    // Opens the port if needed and sends the ready check. Fills `outcome` when the port
    // could not be opened or nothing answered.
    Reply readyCheck(Outcome& outcome);
    // Ready check, 04, then the block number: the block reply, judged into `outcome`
    // (`needed` bytes make it whole). None when the read stopped before 04.
    std::optional<Reply> readBlockReply(Outcome& outcome, std::uint8_t blockNumber,
                                        std::size_t needed);
    // Judges a block reply the serial number or a dump is made from.
    void judgeBlockReply(Outcome& outcome, const Reply& reply, std::size_t needed) const;
    // Whether the ready check's reply was its one byte, with a couple of byte times of
    // silence after it. Before a command whose acknowledgement is not examined (04, 07), a
    // trailing byte of the ready check would pass for that acknowledgement and shift every
    // reply after it. Marks `outcome` as a noisy line when not.
    bool readyCheckEnded(Outcome& outcome, const Reply& ready);
    // Marks `outcome` as a noisy line, with `extra` bytes beyond a reply's shape.
    static void noisyLine(Outcome& outcome, int extra);

    SerialLine& line_;
    Clock& clock_;
    ChosenPort chosenPort_;
    std::function<bool()> interrupted_;
    std::string device_;   // the device last opened, or the chosen text that named none
    OpenError openError_;  // why the last opening failed
};

}  // namespace palmota

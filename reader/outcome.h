#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "reader/bytes.h"
#include "reader/cause.h"
#include "reader/clock.h"
#include "reader/serial_line.h"

namespace palmota {

// The badge operations of the Reader link.
enum class Operation { ReadCredit, WriteCredit, ReadBlock, ReadSerialNumber };

struct Outcome {
    Operation operation = Operation::ReadCredit;
    // What the operation met. Every failure has one cause, one of the link's; the typed
    // values beside it are those the operation got as far as.
    Cause cause = Cause::Ok;
    // The device the port was opened on, or the chooser's text when it named none.
    std::string device;
    OpenError openError;  // PortUnavailable
    std::uint8_t status =
        0;                // NotReady: the ready byte; WriteRefused, UnexpectedReply: the final byte
    int received = 0;     // ShortReply: bytes that came
    int expected = 0;     // ShortReply: bytes asked for
    Seconds limit{0};     // NoAnswer, ShortReply, NotConfirmed: the limit that passed
    std::string refused;  // Refused: the argument as given
    int extra = 0;        // NoisyLine: the bytes beyond the reply's shape, when counted
    // WriteCredit: the two amount bytes were written, so the badge may hold the amount
    // whatever came back.
    bool amountSent = false;

    // The values the operation got, typed.
    std::optional<std::uint16_t> credit;    // ReadCredit: the credit, on success only
    std::optional<std::int32_t> serial;     // ReadSerialNumber: the serial number, on success only
    std::optional<Bytes> block;             // the block reply, once a block was asked for
    std::optional<std::uint16_t> amount;    // WriteCredit: the credit written (or to be)
    std::optional<std::uint8_t> finalByte;  // WriteCredit: byte 1 of the final reply, if any

    bool succeeded() const { return cause == Cause::Ok; }
};

// One line for technicians, in English, naming the device and what to try, e.g.
// "/dev/ttyUSB0: no answer from the Reader within 1 s (is it powered and on this port?)".
// Texts that came from outside (the port text, an amount) are shown with their control
// characters escaped.
std::string describe(const Outcome& outcome);

// Why a port could not be opened, in the words describe() puts after the device's name:
// "no such serial device (...)", "busy: in use by another program; close it and try
// again", and so on.
std::string openErrorText(const OpenError& error);

}  // namespace palmota

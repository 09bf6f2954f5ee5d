#pragma once

#include "reader/clock.h"
#include "reader/serial_line.h"

namespace palmota {

// One host-driven exchange: write `command` (nothing when empty), then wait until at
// least `atLeast` bytes are waiting or more than `limit` has passed since the write, then
// read everything waiting. The reply may be empty, shorter or longer than asked for; a
// time-out is not an error in itself, callers judge what they got.
//
// The count is tested before the time, so it is read at least once, and the limit is
// passed only when the elapsed time, narrowed to single precision, is strictly greater.
// Between tests the line blocks for the time left instead of polling in a loop. When the
// line can deliver nothing more (the device went away) the wait ends at once, and
// `lineLost`, if given, is set.
Bytes exchange(SerialLine& line, Clock& clock, const Bytes& command, int atLeast, Seconds limit,
               bool* lineLost = nullptr);

// The protocol has no framing: a reply is only known to be whole when nothing follows it.
// At 9600 baud a byte (start bit, 8 data bits, stop bit) takes 10/9600 s, about 1.04 ms,
// so the bytes of one reply follow each other that far apart. About two byte times of
// silence after a reply's last byte (2 ms, the port's timer grain) therefore mean that it
// has ended; a byte within them belongs to no reply the host asked for (a reply sent
// twice, trailing noise).
inline constexpr Seconds kReplyGuard = std::chrono::milliseconds{2};
// A write's verdict is money: it is trusted only once the line has stayed silent long
// enough to see a repeated or delayed copy of an earlier reply arrive after it.
inline constexpr Seconds kWriteGuard = std::chrono::milliseconds{100};

// Waits up to `guard` for bytes after a reply was read. True when none came (the bytes
// that did come stay waiting).
bool staysQuiet(SerialLine& line, Clock& clock, Seconds guard);

}  // namespace palmota

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

}  // namespace palmota

#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "reader_faults.h"
#include "virtual_badge.h"

namespace palmota::sim {

// Something the Reader sends: `bytes`, leaving `at` after the byte that triggered it.
struct TimedPiece {
    std::chrono::microseconds at{0};
    std::string bytes;
};

// The Reader's side of the protocol, with no port and no clock: one received byte in,
// the pieces it answers out. Reply layout (byte positions 1-based):
//   ready check 00        -> 1 byte: 00 ready (or the notReady status)
//   read block 04         -> 1 byte: 00; then the block number byte ->
//                            17 bytes: 00, then the block's 16 data bytes;
//                            no badge or block > 7: FF FF then 15 bytes 00
//   read credit 06        -> 00, n = 2, credit high, credit low;
//                            no badge: 00 FF
//   write credit 07       -> 1 byte: 00; then the two amount bytes (high, low) ->
//                            00 stored, FF refused (no badge or writeRefused)
// Any other byte while idle is ignored. The state after 04 and 07 lasts until the
// expected bytes have arrived.
class ReaderEngine {
public:
    explicit ReaderEngine(VirtualBadge badge = VirtualBadge::sample());

    std::vector<TimedPiece> receive(std::uint8_t byte);

    void setFaults(const ReaderFaults& faults);
    const ReaderFaults& faults() const;
    const VirtualBadge& badge() const;
    void setBadge(const VirtualBadge& badge);
    void reset();  // back to idle, waiting for a command
};

}  // namespace palmota::sim

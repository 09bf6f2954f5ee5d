#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/reader_faults.h"
#include "sim/virtual_badge.h"

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
//
// Faults shape the pieces: replyDelay offsets the first one; splitGap cuts a reply of two
// bytes or more after its first half (rounded down) and delays the second half; the
// extra trailing bytes count as part of the reply; with pace9600 each byte is a piece of
// its own, byte i (from 0) at (i + 1) byte times of 10 bits at 9600 baud, as it is
// complete only once its stop bit has left. lateBlockReply and lateWriteReply hold back
// only a block's reply or a write's final byte, past the host's limit when long enough;
// repliesTwice sends every reply a second time, as a Reader that repeats itself. A
// silent Reader ignores every byte and keeps
// its state. Without a final write reply the credit is still stored (unless refused).
class ReaderEngine {
  public:
    static constexpr std::uint8_t kTrailingByte = 0xEE;
    static constexpr std::uint8_t kFloodByte = 0x55;

    explicit ReaderEngine(const VirtualBadge& badge = VirtualBadge::sample());

    std::vector<TimedPiece> receive(std::uint8_t byte);
    // Bytes of kFloodByte owed after the pieces of the last receive(): floodBytes after
    // a ready check's reply, else 0. They are not among the pieces, so that a flood of
    // megabytes takes no memory; the caller pours them out and this clears the count.
    std::size_t takeFlood();

    void setFaults(const ReaderFaults& faults);
    const ReaderFaults& faults() const;
    const VirtualBadge& badge() const;
    void setBadge(const VirtualBadge& badge);
    void reset();  // back to idle, waiting for a command

  private:
    enum class State { Idle, AwaitBlockNumber, AwaitCreditHigh, AwaitCreditLow };

    std::vector<TimedPiece> answer(std::string reply,
                                   std::chrono::milliseconds lateBy = std::chrono::milliseconds{
                                       0}) const;
    std::string blockReply(std::uint8_t blockNumber) const;
    std::string creditReply() const;
    std::string storeCredit(std::uint8_t low);

    VirtualBadge badge_;
    ReaderFaults faults_;
    State state_ = State::Idle;
    std::uint8_t creditHigh_ = 0;
    std::size_t floodOwed_ = 0;
};

}  // namespace palmota::sim

#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace palmota::sim {

// Ways the emulated Reader can misbehave. The default is a Reader that answers at once.
struct ReaderFaults {
    bool silent = false;                          // no Reader: nothing is ever answered
    std::optional<std::uint8_t> notReady{};       // ready check answers this status, not 00
    bool noBadge = false;                         // block reply FF FF ..., credit length FF
    bool writeRefused = false;                    // final write reply FF
    bool noFinalWriteReply = false;               // the amount bytes get no answer
    std::chrono::milliseconds replyDelay{0};      // before the first byte of each reply
    std::chrono::milliseconds lateBlockReply{0};  // added to the delay of a block's 17 bytes
    std::chrono::milliseconds lateWriteReply{0};  // added to the delay of a write's final byte
    bool repliesTwice = false;                    // every reply is sent again right after itself
    std::chrono::milliseconds splitGap{0};        // > 0: each reply in two halves, this far apart
    int extraTrailingBytes = 0;                   // appended to each reply (0xEE bytes)
    bool pace9600 = false;                        // bytes leave at the 9600-baud rate, 10 bits each
    std::size_t floodBytes = 0;  // after answering a ready check, pour out this many
    long unplugAfterBytes = -1;  // >= 0: the Reader's side closes after that many
                                 // received bytes (counted since the fault was set)
};

}  // namespace palmota::sim

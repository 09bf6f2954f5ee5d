#include "reader/protocol.h"

namespace palmota::protocol {

std::int16_t hexNumber16(std::uint8_t high, std::uint8_t low) {
    // Four hex digits fill a 16-bit integer; a set top bit makes it negative.
    const auto bits = static_cast<std::uint16_t>((high << 8) | low);
    return static_cast<std::int16_t>(bits);
}

std::int32_t hexNumber32(std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4) {
    const std::uint32_t bits = (std::uint32_t{b1} << 24) | (std::uint32_t{b2} << 16) |
                               (std::uint32_t{b3} << 8) | std::uint32_t{b4};
    return static_cast<std::int32_t>(bits);
}

std::optional<std::uint16_t> decodeCredit(std::string_view reply) {
    if (reply.size() < kCreditReplySize) return std::nullopt;
    std::int32_t credit = hexNumber16(byteAt(reply, 3), byteAt(reply, 4));
    if (credit < 0) credit += 65536;
    return static_cast<std::uint16_t>(credit);
}

std::int16_t remainingCreditBytes(std::string_view header) {
    const int n = byteAt(header, 2);
    // The reply is bounded by the 1024-byte receive buffer, so the count fits 16 bits.
    return static_cast<std::int16_t>(n - static_cast<int>(header.size()) + 2);
}

std::optional<std::int32_t> decodeSerialNumber(std::string_view blockReply) {
    if (blockReply.size() < kSerialNumberLastByte || isNoBlockReply(blockReply))
        return std::nullopt;
    constexpr std::size_t k = kSerialNumberFirstByte;
    return hexNumber32(byteAt(blockReply, k), byteAt(blockReply, k + 1), byteAt(blockReply, k + 2),
                       byteAt(blockReply, k + 3));
}

Bytes amountBytes(std::uint16_t amount) {
    return {static_cast<char>(amount >> 8), static_cast<char>(amount & 0xFF)};
}

}  // namespace palmota::protocol

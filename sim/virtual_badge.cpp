#include "sim/virtual_badge.h"

namespace palmota::sim {

namespace {

// 0-based offsets of the fields inside their blocks (the protocol counts data bytes from 1).
constexpr int kSerialBlock = 0;
constexpr int kSerialOffset = 8;  // data bytes 9 to 12
constexpr int kSerialSize = 4;
constexpr int kCreditBlock = 1;
constexpr int kCreditOffset = 0;  // data bytes 1 and 2

constexpr std::uint32_t kSampleSerial = 123456;
constexpr std::uint16_t kSampleCredit = 1500;

}  // namespace

std::uint32_t VirtualBadge::serialNumber() const {
    const auto& block = blocks[kSerialBlock];
    std::uint32_t serial = 0;
    for (int i = 0; i < kSerialSize; ++i) {
        serial = (serial << 8) | block[kSerialOffset + i];
    }
    return serial;
}

void VirtualBadge::setSerialNumber(std::uint32_t serial) {
    auto& block = blocks[kSerialBlock];
    for (int i = kSerialSize - 1; i >= 0; --i) {
        block[kSerialOffset + i] = static_cast<std::uint8_t>(serial & 0xFF);
        serial >>= 8;
    }
}

std::uint16_t VirtualBadge::credit() const {
    const auto& block = blocks[kCreditBlock];
    return static_cast<std::uint16_t>((block[kCreditOffset] << 8) | block[kCreditOffset + 1]);
}

void VirtualBadge::setCredit(std::uint16_t credit) {
    auto& block = blocks[kCreditBlock];
    block[kCreditOffset] = static_cast<std::uint8_t>(credit >> 8);
    block[kCreditOffset + 1] = static_cast<std::uint8_t>(credit & 0xFF);
}

VirtualBadge VirtualBadge::sample() {
    VirtualBadge badge;
    // Filler: the high nibble names the block, the low nibble the byte within it, so a
    // dump shows at a glance which block and position a byte came from.
    for (int n = 0; n < kBlockCount; ++n) {
        for (int k = 0; k < kBlockSize; ++k) {
            badge.blocks[n][k] = static_cast<std::uint8_t>(0x10 * n + k);
        }
    }
    badge.setSerialNumber(kSampleSerial);
    badge.setCredit(kSampleCredit);
    return badge;
}

}  // namespace palmota::sim

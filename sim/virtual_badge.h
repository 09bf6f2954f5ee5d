#pragma once

#include <array>
#include <cstdint>

namespace palmota::sim {

// The badge the emulated Reader holds: eight blocks of 16 bytes. The serial number and
// the credit are views into that memory, so a credit written by the host shows in a dump.
//   block 0, data bytes 9 to 12 (1-based): serial number, most significant first
//   block 1, data bytes 1 and 2:           credit, high byte then low byte
// A block reply carries a status byte before the 16 data bytes (see reader_engine.h),
// which puts the serial number at reply bytes 10 to 13.
struct VirtualBadge {
    static constexpr int kBlockCount = 8;
    static constexpr int kBlockSize = 16;

    std::array<std::array<std::uint8_t, kBlockSize>, kBlockCount> blocks{};

    std::uint32_t serialNumber() const;
    void setSerialNumber(std::uint32_t serial);
    std::uint16_t credit() const;
    void setCredit(std::uint16_t credit);

    // A badge with serial number 123456 and credit 1500, and recognisable filler in the
    // other blocks (block n, data byte k holds 0x10 * n + k - 1, where not a field above).
    static VirtualBadge sample();
};

}  // namespace palmota::sim

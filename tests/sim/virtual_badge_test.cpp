#include "sim/virtual_badge.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace palmota::sim {
namespace {

TEST(VirtualBadge, SampleHoldsItsFieldsAtTheirProtocolPositions) {
    const auto badge = VirtualBadge::sample();
    // 123456 = 0x0001E240 at block 0 data bytes 9..12; 1500 = 0x05DC at block 1 bytes 1..2.
    const std::array<std::uint8_t, 16> block0{0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                                              0x00, 0x01, 0xE2, 0x40, 0x0C, 0x0D, 0x0E, 0x0F};
    const std::array<std::uint8_t, 16> block1{0x05, 0xDC, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                              0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
    EXPECT_EQ(badge.blocks[0], block0);
    EXPECT_EQ(badge.blocks[1], block1);
    EXPECT_EQ(badge.blocks[7][15], 0x7F);
    EXPECT_EQ(badge.serialNumber(), 123456u);
    EXPECT_EQ(badge.credit(), 1500);
}

TEST(VirtualBadge, FieldsRoundTripAtTheirExtremesWithoutTouchingNeighbours) {
    struct Case {
        std::uint32_t serial;
        std::uint16_t credit;
    };
    for (const auto& c : {Case{0, 0}, Case{0xFFFFFFFF, 0xFFFF}, Case{0x01020304, 0x8001}}) {
        auto badge = VirtualBadge::sample();
        badge.setSerialNumber(c.serial);
        badge.setCredit(c.credit);
        EXPECT_EQ(badge.serialNumber(), c.serial);
        EXPECT_EQ(badge.credit(), c.credit);
        EXPECT_EQ(badge.blocks[0][7], 0x07);
        EXPECT_EQ(badge.blocks[0][12], 0x0C);
        EXPECT_EQ(badge.blocks[1][2], 0x12);
    }
}

}  // namespace
}  // namespace palmota::sim

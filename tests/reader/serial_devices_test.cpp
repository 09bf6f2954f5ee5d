#include "reader/serial_devices.h"

#include <gtest/gtest.h>

namespace palmota {
namespace {

TEST(SerialDevices, VidPidIsLowerCaseHexAndOnlyForUsb) {
    SerialDevice device;
    EXPECT_EQ(vidPid(device), "");
    device.vendorId = 0x0403;
    EXPECT_EQ(vidPid(device), "");
    device.productId = 0x6001;
    EXPECT_EQ(vidPid(device), "0403:6001");
    device.vendorId = 0x2341;
    device.productId = 0x43;
    EXPECT_EQ(vidPid(device), "2341:0043");
    device.vendorId = 0x067B;
    device.productId = 0xABCD;
    EXPECT_EQ(vidPid(device), "067b:abcd");
}

}  // namespace
}  // namespace palmota

#include "reader/port_name.h"

#include <gtest/gtest.h>

using palmota::resolvePortName;

struct Naming {
    const char* text;
    const char* device;  // empty: refused
};

class PortName : public ::testing::TestWithParam<Naming> {};

TEST_P(PortName, NamesTheDeviceOrSaysWhyNot) {
    const auto choice = resolvePortName(GetParam().text);
    EXPECT_EQ(choice.device, GetParam().device) << '"' << GetParam().text << '"';
    EXPECT_EQ(choice.error.empty(), !choice.device.empty()) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    ChooserTexts, PortName,
    ::testing::Values(Naming{"1", "/dev/ttyS0"}, Naming{"6", "/dev/ttyS5"},
                      Naming{"7", "/dev/ttyS6"}, Naming{" 2 ", "/dev/ttyS1"},
                      Naming{"02", "/dev/ttyS1"}, Naming{"/dev/ttyUSB0", "/dev/ttyUSB0"},
                      Naming{"  /dev/ttyACM1\t", "/dev/ttyACM1"}, Naming{"0", ""}, Naming{"-1", ""},
                      Naming{"", ""}, Naming{"   ", ""}, Naming{"abc", ""}, Naming{"1.5", ""},
                      Naming{"99999999999", ""}, Naming{"18446744073709551617", ""},
                      Naming{"ttyUSB0", ""}));

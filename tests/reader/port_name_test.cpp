#include "reader/port_name.h"

#include <gtest/gtest.h>

#include "tests/support/row_name.h"

using palmota::resolvePortName;
using palmota::testing::RowName;

struct Naming {
    const char* name;
    const char* text;
    const char* device;  // empty: refused
};

void PrintTo(const Naming& row, std::ostream* out) {
    *out << row.name << ": \"" << row.text << "\" names ";
    if (*row.device)
        *out << row.device;
    else
        *out << "no port";
}

class PortName : public ::testing::TestWithParam<Naming> {};

TEST_P(PortName, NamesTheDeviceOrSaysWhyNot) {
    const auto choice = resolvePortName(GetParam().text);
    EXPECT_EQ(choice.device, GetParam().device) << '"' << GetParam().text << '"';
    EXPECT_EQ(choice.error.empty(), !choice.device.empty()) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    ChooserTexts, PortName,
    ::testing::Values(Naming{"first_port", "1", "/dev/ttyS0"},
                      Naming{"sixth_port", "6", "/dev/ttyS5"},
                      Naming{"beyond_the_chooser", "7", "/dev/ttyS6"},
                      Naming{"spaces_around_a_number", " 2 ", "/dev/ttyS1"},
                      Naming{"leading_zero", "02", "/dev/ttyS1"},
                      Naming{"device_path", "/dev/ttyUSB0", "/dev/ttyUSB0"},
                      Naming{"spaces_around_a_path", "  /dev/ttyACM1\t", "/dev/ttyACM1"},
                      Naming{"zero", "0", ""}, Naming{"negative", "-1", ""},
                      Naming{"empty", "", ""}, Naming{"spaces_only", "   ", ""},
                      Naming{"word", "abc", ""}, Naming{"decimal_point", "1.5", ""},
                      Naming{"number_too_large", "99999999999", ""},
                      Naming{"number_wrapping_64_bits", "18446744073709551617", ""},
                      Naming{"device_name_without_folder", "ttyUSB0", ""}),
    RowName());

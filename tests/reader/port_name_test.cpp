#include "reader/port_name.h"

#include <gtest/gtest.h>

#include "tests/reader/port_name_cases.h"

using palmota::resolvePortName;
using palmota::testing::Naming;

namespace {

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

std::string rowName(const ::testing::TestParamInfo<Naming>& info) {
    return info.param.name;
}

// Refused on every system.
INSTANTIATE_TEST_SUITE_P(Refused, PortName,
                         ::testing::Values(Naming{"0", "", "Zero"}, Naming{"-1", "", "Negative"},
                                           Naming{"", "", "Empty"}, Naming{"   ", "", "OnlySpaces"},
                                           Naming{"abc", "", "Word"}, Naming{"1.5", "", "Fraction"},
                                           Naming{"99999999999", "", "BeyondTheHighestNumber"},
                                           Naming{"18446744073709551617", "",
                                                  "BeyondSixtyFourBits"}),
                         rowName);

INSTANTIATE_TEST_SUITE_P(ThisSystem, PortName,
                         ::testing::ValuesIn(palmota::testing::systemNamings()), rowName);

}  // namespace

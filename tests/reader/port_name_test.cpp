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

// The help shows this system's own names, an example the chooser accepts, and fits a
// terminal of 80 columns.
TEST(PortNameHelp, ShowsThisSystemsNamesOnly) {
    namespace naming = palmota::port_naming;
    const std::string help(naming::portOptionHelp());
    EXPECT_NE(help.find(naming::example()), std::string::npos) << help;
    EXPECT_FALSE(resolvePortName(naming::example()).device.empty());
    EXPECT_EQ(help.find(naming::namesArePaths() ? "\\\\.\\" : "/dev/"), std::string::npos) << help;
    std::size_t lineStart = 0;
    for (std::size_t end; (end = help.find('\n', lineStart)) != std::string::npos;
         lineStart = end + 1)
        EXPECT_LE(end - lineStart, 80u) << help.substr(lineStart, end - lineStart);
}

#include "tools/cli_options.h"

#include <gtest/gtest.h>

namespace palmota::tools {
namespace {

using Outcome = CliParse::Outcome;

struct ParseCase {
    std::vector<std::string> args;
    Outcome outcome;
    CliCommand command = CliCommand::Serial;
    std::string amount = {};
    std::int32_t block = 0;
    std::string port = "1";
};

class CliParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CliParseTest, ReadsTheCommandLine) {
    const ParseCase& c = GetParam();
    const CliParse parse = parseCliOptions(c.args);
    ASSERT_EQ(parse.outcome, c.outcome) << parse.error;
    if (c.outcome == Outcome::UsageError) {
        EXPECT_FALSE(parse.error.empty());
        return;
    }
    if (c.outcome != Outcome::Run) return;
    EXPECT_EQ(parse.options.command, c.command);
    EXPECT_EQ(parse.options.amount, c.amount);
    EXPECT_EQ(parse.options.block, c.block);
    EXPECT_EQ(parse.options.port, c.port);
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, CliParseTest,
    ::testing::Values(
        ParseCase{{"serial"}, Outcome::Run, CliCommand::Serial},
        ParseCase{{"credit"}, Outcome::Run, CliCommand::Credit},
        ParseCase{{"--port", "3", "read"}, Outcome::Run, CliCommand::Read, "", 0, "3"},
        ParseCase{
            {"read", "--port=/dev/ttyUSB0"}, Outcome::Run, CliCommand::Read, "", 0, "/dev/ttyUSB0"},
        ParseCase{{"write", "0"}, Outcome::Run, CliCommand::Write, "0"},
        ParseCase{{"write", "65535"}, Outcome::Run, CliCommand::Write, "65535"},
        // Leading zeros, however many, do not count against the value.
        ParseCase{{"write", "0000000000012"}, Outcome::Run, CliCommand::Write, "0000000000012"},
        ParseCase{{"block", "0"}, Outcome::Run, CliCommand::Block, "", 0},
        ParseCase{{"block", "255"}, Outcome::Run, CliCommand::Block, "", 255},
        ParseCase{{"block", "007"}, Outcome::Run, CliCommand::Block, "", 7},
        ParseCase{{"--trace", "dump"}, Outcome::Run, CliCommand::Dump},
        ParseCase{{"--", "write", "5"}, Outcome::Run, CliCommand::Write, "5"},
        ParseCase{{"--help"}, Outcome::Help}, ParseCase{{"write", "-1", "-h"}, Outcome::Help},
        ParseCase{{"--version"}, Outcome::Version}));

INSTANTIATE_TEST_SUITE_P(
    Refused, CliParseTest,
    ::testing::Values(ParseCase{{"write", ""}, Outcome::UsageError},
                      ParseCase{{"write", "-1"}, Outcome::UsageError},
                      ParseCase{{"write", "+1"}, Outcome::UsageError},
                      ParseCase{{"write", "12a"}, Outcome::UsageError},
                      ParseCase{{"write", " 12"}, Outcome::UsageError},
                      ParseCase{{"write", "65536"}, Outcome::UsageError},
                      // Would wrap to a small amount in a 64-bit count without the bound.
                      ParseCase{{"write", "99999999999999999999"}, Outcome::UsageError},
                      ParseCase{{"write", "18446744073709551628"}, Outcome::UsageError},
                      ParseCase{{"write"}, Outcome::UsageError},
                      ParseCase{{"write", "1", "2"}, Outcome::UsageError},
                      ParseCase{{"block", "256"}, Outcome::UsageError},
                      ParseCase{{"block", "-1"}, Outcome::UsageError},
                      ParseCase{{"block", "4294967296"}, Outcome::UsageError},
                      ParseCase{{"block"}, Outcome::UsageError}, ParseCase{{}, Outcome::UsageError},
                      ParseCase{{"erase"}, Outcome::UsageError},
                      ParseCase{{"serial", "now"}, Outcome::UsageError},
                      ParseCase{{"--port"}, Outcome::UsageError},
                      ParseCase{{"--port", "", "serial"}, Outcome::UsageError},
                      ParseCase{{"--port", "0", "serial"}, Outcome::UsageError},
                      ParseCase{{"--port", "ttyS0", "serial"}, Outcome::UsageError},
                      ParseCase{{"--baud", "9600", "serial"}, Outcome::UsageError}));

}  // namespace
}  // namespace palmota::tools

#include "sim/program/sim_options.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/row_name.h"

namespace palmota::sim {
namespace {

using namespace std::chrono_literals;

struct AcceptedCase {
    const char* name;
    std::vector<std::string> args;
    std::function<void(const SimOptions&)> check;
};

void PrintTo(const AcceptedCase& row, std::ostream* out) {
    *out << row.name << ": " << ::testing::PrintToString(row.args);
}

class SimOptionsAccepted : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(SimOptionsAccepted, SetsTheBadgeAndFaults) {
    const SimParse parse = parseSimOptions(GetParam().args);
    ASSERT_EQ(parse.outcome, SimParse::Outcome::Run) << parse.error;
    GetParam().check(parse.options);
}

INSTANTIATE_TEST_SUITE_P(
    Options, SimOptionsAccepted,
    ::testing::Values(
        AcceptedCase{"defaults",
                     {},
                     [](const SimOptions& o) {
                         EXPECT_EQ(o.badge.serialNumber(), 123456u);
                         EXPECT_EQ(o.badge.credit(), 1500);
                         EXPECT_FALSE(o.faults.silent);
                         EXPECT_FALSE(o.faults.notReady);
                         EXPECT_TRUE(o.linkPath.empty());
                     }},
        // The window shows serial numbers signed: -2 is FF FF FF FE on the badge.
        AcceptedCase{"negative_serial",
                     {"--serial", "-2"},
                     [](const SimOptions& o) { EXPECT_EQ(o.badge.serialNumber(), 0xFFFFFFFEu); }},
        AcceptedCase{"lowest_serial",
                     {"--serial=-2147483648"},
                     [](const SimOptions& o) { EXPECT_EQ(o.badge.serialNumber(), 0x80000000u); }},
        AcceptedCase{"unsigned_serial",
                     {"--serial", "4294967295"},
                     [](const SimOptions& o) { EXPECT_EQ(o.badge.serialNumber(), 0xFFFFFFFFu); }},
        AcceptedCase{"credit",
                     {"--credit", "65535"},
                     [](const SimOptions& o) { EXPECT_EQ(o.badge.credit(), 65535); }},
        AcceptedCase{"block_bytes",
                     {"--block", "3=DE ad:BE EF"},
                     [](const SimOptions& o) {
                         const auto& b = o.badge.blocks[3];
                         EXPECT_EQ(b[0], 0xDE);
                         EXPECT_EQ(b[1], 0xAD);
                         EXPECT_EQ(b[2], 0xBE);
                         EXPECT_EQ(b[3], 0xEF);
                         EXPECT_EQ(b[4], 0x34);  // the sample's filler stays after them
                     }},
        // Badge options apply in order: the credit lives in block 1's first two bytes.
        AcceptedCase{"block_then_credit",
                     {"--block", "1=0000", "--credit", "7"},
                     [](const SimOptions& o) { EXPECT_EQ(o.badge.credit(), 7); }},
        AcceptedCase{"credit_then_block",
                     {"--credit", "7", "--block=1=0102"},
                     [](const SimOptions& o) { EXPECT_EQ(o.badge.credit(), 0x0102); }},
        AcceptedCase{"not_ready_default",
                     {"--not-ready", "--silent"},
                     [](const SimOptions& o) {
                         EXPECT_EQ(o.faults.notReady, 0x01);
                         EXPECT_TRUE(o.faults.silent);
                     }},
        AcceptedCase{"not_ready_status",
                     {"--not-ready", "7f"},
                     [](const SimOptions& o) { EXPECT_EQ(o.faults.notReady, 0x7F); }},
        AcceptedCase{"not_ready_attached",
                     {"--not-ready=0xFF"},
                     [](const SimOptions& o) { EXPECT_EQ(o.faults.notReady, 0xFF); }},
        AcceptedCase{"faults",
                     {"--no-badge", "--write-refused", "--no-final-reply", "--delay", "250",
                      "--split=40", "--extra", "3", "--pace", "--flood", "100000"},
                     [](const SimOptions& o) {
                         EXPECT_TRUE(o.faults.noBadge);
                         EXPECT_TRUE(o.faults.writeRefused);
                         EXPECT_TRUE(o.faults.noFinalWriteReply);
                         EXPECT_EQ(o.faults.replyDelay, 250ms);
                         EXPECT_EQ(o.faults.splitGap, 40ms);
                         EXPECT_EQ(o.faults.extraTrailingBytes, 3);
                         EXPECT_TRUE(o.faults.pace9600);
                         EXPECT_EQ(o.faults.floodBytes, 100000u);
                     }},
        AcceptedCase{"not_ready_last",
                     {"--silent", "--not-ready", "--not-ready="},
                     [](const SimOptions& o) { EXPECT_EQ(o.faults.notReady, 0x01); }},
        AcceptedCase{"late_and_repeated_replies",
                     {"--late-block", "2500", "--late-write=4000", "--twice"},
                     [](const SimOptions& o) {
                         EXPECT_EQ(o.faults.lateBlockReply, 2500ms);
                         EXPECT_EQ(o.faults.lateWriteReply, 4000ms);
                         EXPECT_TRUE(o.faults.repliesTwice);
                     }},
        AcceptedCase{"link_verbose",
                     {"--link", "/tmp/reader", "-v"},
                     [](const SimOptions& o) {
                         EXPECT_EQ(o.linkPath, "/tmp/reader");
                         EXPECT_TRUE(o.verbose);
                     }}),
    [](const auto& row) { return std::string(row.param.name); });

class SimOptionsRefused : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(SimOptionsRefused, IsAUsageError) {
    const SimParse parse = parseSimOptions(GetParam());
    EXPECT_EQ(parse.outcome, SimParse::Outcome::UsageError);
    EXPECT_FALSE(parse.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, SimOptionsRefused,
    ::testing::Values(
        std::vector<std::string>{"--serial", "4294967296"},
        std::vector<std::string>{"--serial", "-2147483649"},
        std::vector<std::string>{"--serial", "12x"}, std::vector<std::string>{"--credit", "65536"},
        std::vector<std::string>{"--credit", "-1"}, std::vector<std::string>{"--credit"},
        std::vector<std::string>{"--block", "8=00"}, std::vector<std::string>{"--block", "3"},
        std::vector<std::string>{"--block", "3=ABC"}, std::vector<std::string>{"--block", "3=GG"},
        std::vector<std::string>{"--block", "3=000102030405060708090A0B0C0D0E0F10"},
        std::vector<std::string>{"--not-ready", "100"},
        // 00 is the ready status itself.
        std::vector<std::string>{"--not-ready", "00"}, std::vector<std::string>{"--not-ready=0x0"},
        std::vector<std::string>{"--late-block", "soon"},
        std::vector<std::string>{"--late-write", "3600001"}, std::vector<std::string>{"--twice=2"},
        std::vector<std::string>{"--delay", "-5"},
        std::vector<std::string>{"--delay", "99999999999999999999"},
        std::vector<std::string>{"--silent=yes"}, std::vector<std::string>{"--link", ""},
        std::vector<std::string>{"--baud", "9600"}, std::vector<std::string>{"extra"}),
    [](const auto& row) { return testing::wordsName(row.param); });

TEST(SimOptions, HelpAndVersionSpellingsAreThoseOfEveryProgram) {
    for (const char* spelling : {"-h", "--help"})
        EXPECT_EQ(parseSimOptions({spelling}).outcome, SimParse::Outcome::Help) << spelling;
    for (const char* spelling : {"-V", "--version"})
        EXPECT_EQ(parseSimOptions({spelling}).outcome, SimParse::Outcome::Version) << spelling;
}

}  // namespace
}  // namespace palmota::sim

// Results and exit statuses when the Reader link fails, on a scripted line whose time-outs
// take no real time: a silent Reader would cost up to 8 seconds a dump on a real port.
#include "tools/cli_runner.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/fake_clock.h"
#include "tests/support/scripted_line.h"

namespace palmota::tools {
namespace {

using palmota::testing::FakeClock;
using palmota::testing::ScriptedLine;

struct FailureCase {
    const char* name;
    CliOptions options;
    std::string refuseOpen;  // the port cannot be opened, for this reason
    std::string output;
};

CliOptions command(CliCommand c, std::string amount = {}, std::int32_t block = 0) {
    CliOptions o;
    o.command = c;
    o.amount = std::move(amount);
    o.block = block;
    return o;
}

class CliFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CliFailureTest, PrintsTheLinkResultAndExitsOne) {
    const FailureCase& c = GetParam();
    FakeClock clock;
    ScriptedLine line(clock);  // no responder: nothing ever comes back
    line.refuseOpen = c.refuseOpen;
    std::vector<Outcome> failures;
    Palmota reader(
        line, clock, [] { return std::string("1"); },
        [&failures](const Outcome& o) { failures.push_back(o); });
    std::ostringstream out;

    EXPECT_EQ(runCliCommand(reader, c.options, out), kExitLinkFailure);
    EXPECT_EQ(out.str(), c.output);
    // A port that cannot be opened is told as the outcome, never as a result.
    ASSERT_FALSE(failures.empty());
    EXPECT_EQ(failures.front().cause == Cause::PortUnavailable, !c.refuseOpen.empty());
}

const std::string kEightErrors =
    "0: ERREUR\n1: ERREUR\n2: ERREUR\n3: ERREUR\n4: ERREUR\n5: ERREUR\n6: ERREUR\n7: ERREUR\n";

INSTANTIATE_TEST_SUITE_P(
    SilentOrMissingReader, CliFailureTest,
    ::testing::Values(FailureCase{"serial", command(CliCommand::Serial), "", "ERREUR\n"},
                      FailureCase{"credit", command(CliCommand::Credit), "", "\n"},
                      FailureCase{"read", command(CliCommand::Read), "",
                                  "serial: ERREUR\ncredit:\n"},
                      FailureCase{"write", command(CliCommand::Write, "100"), "", "ERREUR\n"},
                      FailureCase{"block", command(CliCommand::Block, {}, 3), "", "ERREUR\n"},
                      FailureCase{"dump", command(CliCommand::Dump), "", kEightErrors},
                      FailureCase{"read_no_port", command(CliCommand::Read), "Permission denied",
                                  "serial: ERREUR\ncredit:\n"},
                      FailureCase{"dump_no_port", command(CliCommand::Dump),
                                  "No such file or directory", kEightErrors}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace palmota::tools

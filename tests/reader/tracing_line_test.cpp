#include "reader/tracing_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "reader/palmota.h"
#include "reader/reader_link.h"
#include "tests/support/fake_clock.h"
#include "tests/support/hex.h"
#include "tests/support/scripted_line.h"
#include "tests/support/system_names.h"

namespace palmota {
namespace {

using testing::Arrival;
using testing::FakeClock;
using testing::hex;
using testing::ScriptedLine;

using namespace std::chrono_literals;

// A Reader that answers the ready check in 2 ms and the credit read 3 ms later.
std::vector<Arrival> creditReader(const Bytes& written) {
    if (written == hex("00")) return {{2ms, hex("00")}};
    if (written == hex("06")) return {{3ms, hex("00 02 05 DC")}};
    return {};
}

struct TraceCase {
    const char* name;
    ScriptedLine::Responder reader;
    std::string refuseOpen;
    std::string result;
    std::string trace;
    std::size_t breaksAtWrite = static_cast<std::size_t>(-1);
};

void PrintTo(const TraceCase& row, std::ostream* out) {
    *out << row.name << ": result \"" << row.result << '"';
}

class TraceTest : public ::testing::TestWithParam<TraceCase> {};

// The credit read, traced: one line per opening, write, read and closing, with the time
// since the trace began; the Reader link's results are not changed by the tracing.
TEST_P(TraceTest, WritesOneLinePerWireEvent) {
    const TraceCase& c = GetParam();
    FakeClock clock;
    ScriptedLine line(clock);
    line.setResponder(c.reader);
    line.refuseOpen = c.refuseOpen;
    line.breaksAtWrite = c.breaksAtWrite;
    std::ostringstream trace;
    TracingLine tracing(line, trace, clock);
    ReaderLink link(tracing, clock, [] { return palmota::testing::onThisSystem("/dev/ttyS0"); });
    Palmota reader(link);

    EXPECT_EQ(reader.ReadCredit(), c.result);
    EXPECT_EQ(trace.str(), palmota::testing::onThisSystem(c.trace));
}

INSTANTIATE_TEST_SUITE_P(
    CreditRead, TraceTest,
    ::testing::Values(
        TraceCase{"answering", creditReader, "", "1500",
                  "    0.000 ms  open /dev/ttyS0\n"
                  "    0.000 ms  -> 00\n"
                  "    2.000 ms  <- 00\n"
                  "    2.000 ms  -> 06\n"
                  "    5.000 ms  <- 00 02 05 DC\n"
                  "    5.000 ms  <-\n"},  // r = 0: the rest of the reply is collected at once
        // The time-out shows as an empty read just past the 1-second limit.
        TraceCase{"silent", nullptr, "", "",
                  "    0.000 ms  open /dev/ttyS0\n"
                  "    0.000 ms  -> 00\n"
                  " 1000.100 ms  <-\n"
                  " 1000.100 ms  close\n"},
        TraceCase{"no_port", creditReader, "Permission denied", "",
                  "    0.000 ms  open /dev/ttyS0 failed: Permission denied\n"},
        // The device went away before the command could leave: the arrow shows nothing
        // sent, and the command stands apart as what was not.
        TraceCase{"unplugged", creditReader, "", "",
                  "    0.000 ms  open /dev/ttyS0\n"
                  "    0.000 ms  -> 00\n"
                  "    2.000 ms  <- 00\n"
                  "    2.000 ms  -> (not sent: 06)\n"
                  "    2.000 ms  <-\n",
                  1}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace palmota

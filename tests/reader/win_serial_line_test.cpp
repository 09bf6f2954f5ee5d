// The Windows line's read time-out: a wait sets it from the time left, in the system's
// whole milliseconds.
#include "reader/win_serial_line.h"

#include <gtest/gtest.h>

#include <ostream>

#include "reader/clock.h"
#include "tests/support/row_name.h"

namespace palmota {
namespace {

using namespace std::chrono_literals;

struct TimeoutCase {
    const char* name;
    Seconds timeLeft;
    unsigned long milliseconds;
};

void PrintTo(const TimeoutCase& row, std::ostream* out) {
    *out << row.name << ": " << row.timeLeft.count() << " s";
}

class ReadTimeout : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(ReadTimeout, NeverEndsAWaitEarlyAndNeverMeansNoTimeOut) {
    EXPECT_EQ(WinSerialLine::readTimeoutMs(GetParam().timeLeft), GetParam().milliseconds);
}

// A total of 0 with no interval time-out would wait for a byte for ever: the least is 1.
INSTANTIATE_TEST_SUITE_P(
    Waits, ReadTimeout,
    ::testing::Values(TimeoutCase{"reply_guard", 2ms, 2},
                      TimeoutCase{"limit_and_a_hair_rounds_up", Seconds{1s} + 100us, 1001},
                      TimeoutCase{"write_guard_remainder", Seconds{99.2ms}, 100},
                      TimeoutCase{"microsecond_left_is_one", 1us, 1},
                      TimeoutCase{"nothing_left_is_one", 0s, 1},
                      TimeoutCase{"past_the_limit_is_one", -5ms, 1},
                      TimeoutCase{"over_an_hour_is_an_hour", 2h, 3600000}),
    testing::RowName{});

}  // namespace
}  // namespace palmota

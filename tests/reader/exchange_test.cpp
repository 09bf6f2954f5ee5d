#include "reader/exchange.h"

#include <gtest/gtest.h>

#include "tests/support/hex.h"
#include "tests/support/scripted_line.h"

using namespace palmota;
using namespace palmota::testing;
using namespace std::chrono_literals;

namespace {

struct ExchangeTest : ::testing::Test {
    FakeClock clock;
    ScriptedLine line{clock};
    void SetUp() override { ASSERT_TRUE(line.open("/dev/fake")); }
    Seconds since(Seconds start) { return clock.time - start; }
};

}  // namespace

TEST_F(ExchangeTest, SilentReaderGivesAnEmptyReplyJustAfterEachLimit) {
    for (Seconds limit : {Seconds{1s}, Seconds{2s}, Seconds{3s}}) {
        const Seconds start = clock.time;
        EXPECT_EQ(exchange(line, clock, hex("00"), 1, limit), "");
        EXPECT_GT(since(start), limit);
        EXPECT_LT(since(start), limit + 5ms);
    }
    // Blocking waits, not a spin: a handful per exchange.
    EXPECT_LE(line.waits, 6);
}

TEST_F(ExchangeTest, StopsAtTheFirstCountThatMeetsTheConditionAndTakesEverything) {
    line.setResponder([](const Bytes&) {
        return std::vector<Arrival>{{10ms, hex("00")}, {10ms, hex("01 02")}, {900ms, hex("03")}};
    });
    const Seconds start = clock.time;
    EXPECT_EQ(exchange(line, clock, hex("04"), 2, 3s), hex("00 01 02"));
    EXPECT_NEAR(since(start).count(), 0.010, 1e-9);
    // What came after the read stays for the next one.
    EXPECT_EQ(exchange(line, clock, {}, 1, 1s), hex("03"));
}

TEST_F(ExchangeTest, TestsTheCountBeforeTheTime) {
    // Bytes already waiting are taken even with no time allowed at all.
    line.schedule(0s, hex("00"));
    EXPECT_EQ(exchange(line, clock, hex("00"), 1, 0s), hex("00"));
}

TEST_F(ExchangeTest, AReplyArrivingExactlyAtTheLimitStillCounts) {
    // The limit is passed only when the elapsed time is strictly greater.
    line.setResponder([](const Bytes&) { return std::vector<Arrival>{{1s, hex("00")}}; });
    EXPECT_EQ(exchange(line, clock, hex("00"), 1, 1s), hex("00"));
}

TEST_F(ExchangeTest, AtTheLimitExactlyTheWaitGoesOnForTheRestOfTheReply) {
    // One byte at the limit does not meet the count; the limit is not yet passed, so the
    // second, a moment later, is still taken. A limit taken as reached when merely equal
    // would end the wait with one byte.
    line.setResponder([](const Bytes&) {
        return std::vector<Arrival>{{1s, hex("00")}, {Seconds{1s} + 20us, hex("02")}};
    });
    EXPECT_EQ(exchange(line, clock, hex("06"), 2, 1s), hex("00 02"));
}

TEST_F(ExchangeTest, AShortReplyIsReturnedAfterTheLimit) {
    line.setResponder([](const Bytes&) { return std::vector<Arrival>{{5ms, hex("00 01 02")}}; });
    const Seconds start = clock.time;
    EXPECT_EQ(exchange(line, clock, hex("00"), 17, 2s), hex("00 01 02"));
    EXPECT_GT(since(start), Seconds{2s});
}

TEST_F(ExchangeTest, WithoutACommandNothingIsWrittenAndTheWaitStillRuns) {
    line.schedule(1500ms, hex("12 34"));
    EXPECT_EQ(exchange(line, clock, {}, 2, 2s), hex("12 34"));
    EXPECT_TRUE(line.writes.empty());
}

TEST_F(ExchangeTest, ABrokenLineEndsTheWaitAtOnce) {
    line.setResponder([&](const Bytes&) {
        line.breakLine();
        return std::vector<Arrival>{};
    });
    const Seconds start = clock.time;
    EXPECT_EQ(exchange(line, clock, hex("00"), 1, 3s), "");
    EXPECT_LT(since(start), Seconds{1ms});
}

TEST_F(ExchangeTest, NulAndHighBytesPassUnchanged) {
    Bytes all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    line.setResponder([&](const Bytes& written) { return std::vector<Arrival>{{1ms, written}}; });
    EXPECT_EQ(exchange(line, clock, all, 256, 1s), all);
    EXPECT_EQ(line.writes.back(), all);
}

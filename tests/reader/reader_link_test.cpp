#include "reader/reader_link.h"

#include <gtest/gtest.h>

#include <deque>

#include "reader/palmota.h"
#include "tests/support/hex.h"
#include "tests/support/scripted_line.h"
#include "tests/support/system_names.h"

using namespace palmota;
using namespace palmota::testing;
using namespace std::chrono_literals;

namespace {

using Reply = std::vector<Arrival>;

// A Reader that answers each write with the next reply of a list, then falls silent.
struct ReaderLinkTest : ::testing::Test {
    FakeClock clock;
    ScriptedLine line{clock};
    std::string chooser = "1";
    std::vector<Outcome> outcomes;
    ReaderLink reader{line, clock, [this] { return chooser; }};
    // The window's procedures, with the outcome behind each text kept in `outcomes`.
    struct Procedures {
        Palmota palmota;
        std::vector<Outcome>& outcomes;
        std::string kept(std::string text) {
            outcomes.push_back(palmota.lastOutcome());
            return text;
        }
        std::string ReadCredit() { return kept(palmota.ReadCredit()); }
        std::string WriteCredit(const std::string& amount) {
            return kept(palmota.WriteCredit(amount));
        }
        std::string ReadBlock(std::int32_t block) { return kept(palmota.ReadBlock(block)); }
        std::string ReadSerialNumber() { return kept(palmota.ReadSerialNumber()); }
    } link{Palmota{reader}, outcomes};
    std::deque<Reply> replies;

    void SetUp() override {
        line.setResponder([this](const Bytes&) {
            if (replies.empty()) return Reply{};
            Reply next = replies.front();
            replies.pop_front();
            return next;
        });
    }
    void answer(std::initializer_list<const char*> hexReplies) {
        for (const char* r : hexReplies) replies.push_back(Reply{{1ms, hex(r)}});
    }
    Seconds timed(const std::function<void()>& operation) {
        const Seconds start = clock.time;
        operation();
        return clock.time - start;
    }
    std::vector<std::string> written() const {
        std::vector<std::string> out;
        for (const Bytes& w : line.writes) out.push_back(hexOf(w));
        return out;
    }
};

using Writes = std::vector<std::string>;
const char* const kBlockZero = "00 00 00 00 00 00 00 00 00 00 01 E2 40 00 00 00 00";

}  // namespace

// --- credit read -------------------------------------------------------------------

TEST_F(ReaderLinkTest, CreditReadSendsReadyCheckThenReadCredit) {
    answer({"00", "00 02 12 34"});
    EXPECT_EQ(link.ReadCredit(), "4660");
    EXPECT_EQ(written(), (Writes{"00", "06"}));
    EXPECT_TRUE(line.isOpen());
}

TEST_F(ReaderLinkTest, CreditReadJoinsAReplySplitInTwo) {
    replies = {Reply{{1ms, hex("00")}}, Reply{{1ms, hex("00 02")}, {1500ms, hex("12 34")}}};
    EXPECT_EQ(link.ReadCredit(), "4660");
}

TEST_F(ReaderLinkTest, CreditReadWithNoReaderClosesThePortAfterJustOverASecond) {
    const Seconds took = timed([&] { EXPECT_EQ(link.ReadCredit(), ""); });
    EXPECT_GT(took, Seconds{1s});
    EXPECT_LT(took, Seconds{1s} + 5ms);
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(written(), (Writes{"00"}));
}

TEST_F(ReaderLinkTest, CreditReadClosesThePortWhenTheReaderIsNotReady) {
    answer({"01"});
    EXPECT_EQ(link.ReadCredit(), "");
    EXPECT_FALSE(line.isOpen());
    EXPECT_EQ(written(), (Writes{"00"}));
}

TEST_F(ReaderLinkTest, CreditReadFailuresAfterTheReadyCheckKeepThePortOpen) {
    struct Case {
        const char* reply;
        const char* credit;
    };
    for (Case c : {Case{"00 FF", ""},     // no credit on the badge
                   Case{"00", ""},        // header cut short
                   Case{"00 02 12", ""},  // three bytes even after the wait
                   Case{"00 02 FF FF", "65535"}, Case{"00 02 80 00", "32768"},
                   Case{"00 04 05 DC 01 02", "1500"}}) {
        answer({"00", c.reply});
        EXPECT_EQ(link.ReadCredit(), c.credit) << c.reply;
        EXPECT_TRUE(line.isOpen()) << c.reply;
    }
    EXPECT_EQ(line.opened.size(), 1u);
}

TEST_F(ReaderLinkTest, CreditReadWaitsAtMostFourSeconds) {
    // Ready, then a header that promises more than ever comes: a short reply, whatever
    // bytes 3 and 4 hold.
    answer({"00", "00 08 12 34"});
    const Seconds took = timed([&] { EXPECT_EQ(link.ReadCredit(), ""); });
    EXPECT_GT(took, Seconds{2s});
    EXPECT_LT(took, Seconds{4s});
    EXPECT_EQ(outcomes.back().cause, Cause::ShortReply);
}

// --- credit write ------------------------------------------------------------------

TEST_F(ReaderLinkTest, WriteSendsTheAmountHighByteFirstInOneWrite) {
    struct Case {
        const char* amount;
        const char* bytes;
    };
    for (Case c : {Case{"0", "00 00"}, Case{"12", "00 0C"}, Case{"255", "00 FF"},
                   Case{"256", "01 00"}, Case{"65535", "FF FF"}, Case{"007", "00 07"}}) {
        line.writes.clear();
        answer({"00", "00", "00"});
        EXPECT_EQ(link.WriteCredit(c.amount), "OK") << c.amount;
        EXPECT_EQ(written(), (Writes{"00", "07", c.bytes})) << c.amount;
    }
}

TEST_F(ReaderLinkTest, WriteReportsTheFinalReply) {
    struct Case {
        const char* final;
        const char* result;
    };
    for (Case c : {Case{"00", "OK"}, Case{"FF", "ERREUR"}, Case{"05", ""}}) {
        answer({"00", "00", c.final});
        EXPECT_EQ(link.WriteCredit("100"), c.result) << c.final;
    }
    EXPECT_TRUE(line.isOpen());
}

TEST_F(ReaderLinkTest, WriteWithNoConfirmationIsAnErrorNotASuccess) {
    answer({"00", "00"});
    const Seconds took = timed([&] { EXPECT_EQ(link.WriteCredit("100"), "ERREUR"); });
    EXPECT_GT(took, Seconds{3s});
    EXPECT_LT(took, Seconds{3s} + 5ms);
}

TEST_F(ReaderLinkTest, WriteSendsTheAmountEvenWhenTheCommandGotNoAcknowledgement) {
    replies = {Reply{{1ms, hex("00")}}, Reply{}, Reply{{1ms, hex("00")}}};
    EXPECT_EQ(link.WriteCredit("1"), "OK");
    EXPECT_EQ(written(), (Writes{"00", "07", "00 01"}));
}

// A write cut between 07 and the amount would leave the Reader taking the next bytes it
// receives (another program's ready checks) for the amount.
TEST_F(ReaderLinkTest, AnEndRequestedMidOperationLetsItFinishAndStartsNoOther) {
    bool ending = false;
    reader.setInterruption([&] { return ending; });
    line.setResponder([&](const Bytes& w) {
        if (w == hex("07")) ending = true;
        return Reply{{1ms, hex("00")}};
    });
    EXPECT_EQ(link.WriteCredit("1900"), "OK");
    EXPECT_EQ(written(), (Writes{"00", "07", "07 6C"}));
    EXPECT_EQ(link.ReadCredit(), "");
    EXPECT_EQ(link.ReadSerialNumber(), "ERREUR");
    EXPECT_EQ(written(), (Writes{"00", "07", "07 6C"}));
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].cause, Cause::Ok);
    EXPECT_EQ(outcomes[1].cause, Cause::Interrupted);
    EXPECT_EQ(outcomes[2].cause, Cause::Interrupted);
}

TEST_F(ReaderLinkTest, WriteWithNoReaderNeverTouchesTheBadge) {
    const Seconds took = timed([&] { EXPECT_EQ(link.WriteCredit("100"), "ERREUR"); });
    EXPECT_GT(took, Seconds{1s});
    EXPECT_LT(took, Seconds{1s} + 5ms);
    EXPECT_EQ(written(), (Writes{"00"}));
    EXPECT_TRUE(line.isOpen());
}

TEST_F(ReaderLinkTest, WriteRefusesAnAmountOutsideTheCreditRangeWithoutSendingAnything) {
    for (const char* amount :
         {"", "65536", "70000", "4294967308", "99999999999999999999", "-1", "12abc", "1e3"}) {
        EXPECT_EQ(link.WriteCredit(amount), "ERREUR") << amount;
    }
    EXPECT_TRUE(line.writes.empty());
}

// --- block read and serial number --------------------------------------------------

TEST_F(ReaderLinkTest, SerialNumberReadsBlockZero) {
    answer({"00", "00", kBlockZero});
    EXPECT_EQ(link.ReadSerialNumber(), "123456");
    EXPECT_EQ(written(), (Writes{"00", "04", "00"}));
}

TEST_F(ReaderLinkTest, SerialNumberFromShortOrMissingBlocksIsEmpty) {
    for (const char* block : {"00 00 00 00 00 00 00 00 00 00 01 E2",
                              "FF FF 00 00 00 00 00 00 00 00 01 E2 40 00 00 00 00", ""}) {
        answer({"00", "00", block});
        EXPECT_EQ(link.ReadSerialNumber(), "") << block;
    }
    answer({"00", "00", "FF 00 00 00 00 00 00 00 00 00 01 E2 40 00 00 00 00"});
    EXPECT_EQ(link.ReadSerialNumber(), "123456");
}

TEST_F(ReaderLinkTest, BlockReadReturnsTheRawReplyWhateverItsLength) {
    const Bytes twelve = hex("00 01 02 03 04 05 06 07 08 09 0A 0B");
    answer({"00", "00", "00 01 02 03 04 05 06 07 08 09 0A 0B"});
    EXPECT_EQ(link.ReadBlock(5), twelve);
    EXPECT_EQ(written(), (Writes{"00", "04", "05"}));
    answer({"00", "00", "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 EE EE"});
    EXPECT_EQ(link.ReadBlock(7).size(), 20u);
}

TEST_F(ReaderLinkTest, BlockOperationsWithNoReaderFailAfterTheReadyCheck) {
    for (auto& op : std::vector<std::function<std::string()>>{
             [&] { return link.ReadSerialNumber(); }, [&] { return link.ReadBlock(3); }}) {
        line.writes.clear();
        const Seconds took = timed([&] { EXPECT_EQ(op(), "ERREUR"); });
        EXPECT_GT(took, Seconds{1s});
        EXPECT_LT(took, Seconds{1s} + 5ms);
        EXPECT_EQ(written(), (Writes{"00"}));
    }
}

TEST_F(ReaderLinkTest, BlockNumberThatDoesNotFitAByteIsRefusedUnsent) {
    EXPECT_EQ(link.ReadBlock(256), "ERREUR");
    EXPECT_EQ(link.ReadBlock(-1), "ERREUR");
    EXPECT_TRUE(line.writes.empty());
}

// --- the port ----------------------------------------------------------------------

TEST_F(ReaderLinkTest, PortOpensOnceAndIgnoresANewChoiceWhileOpen) {
    answer({"00", "00", kBlockZero, "00", "00 02 00 01"});
    EXPECT_EQ(line.opened, std::vector<std::string>{});
    link.ReadSerialNumber();
    chooser = "3";
    link.ReadCredit();
    EXPECT_EQ(line.opened, std::vector<std::string>{palmota::testing::onThisSystem("/dev/ttyS0")});
}

TEST_F(ReaderLinkTest, ANewChoiceCountsAfterAFailedCreditReadClosedThePort) {
    link.ReadCredit();  // silent: closes
    chooser = palmota::testing::onThisSystem("/dev/ttyUSB0");
    answer({"00", "00 02 00 01"});
    EXPECT_EQ(link.ReadCredit(), "1");
    EXPECT_EQ(line.opened,
              (std::vector<std::string>{palmota::testing::onThisSystem("/dev/ttyS0"),
                                        palmota::testing::onThisSystem("/dev/ttyUSB0")}));
}

TEST_F(ReaderLinkTest, BytesWaitingAtTheOpeningAreNotTakenForAReply) {
    line.schedule(0s, hex("00 02 FF FF 55 55"));
    answer({"00", "00 02 00 2A"});
    EXPECT_EQ(link.ReadCredit(), "42");
}

TEST_F(ReaderLinkTest, CloseOnAClosedPortDoesNothing) {
    reader.CloseReaderPort();
    EXPECT_EQ(line.closes, 0);
}

TEST_F(ReaderLinkTest, APortThatCannotOpenFailsAtOnceAndSaysWhy) {
    line.refuseOpen = "Permission denied";
    EXPECT_EQ(timed([&] {
                  EXPECT_EQ(link.ReadSerialNumber(), "ERREUR");
                  EXPECT_EQ(link.ReadBlock(0), "ERREUR");
                  EXPECT_EQ(link.WriteCredit("5"), "ERREUR");
                  EXPECT_EQ(link.ReadCredit(), "");
              }),
              Seconds{0});
    EXPECT_TRUE(line.writes.empty());
    ASSERT_EQ(outcomes.size(), 4u);
    for (const Outcome& o : outcomes) {
        EXPECT_EQ(o.cause, Cause::PortUnavailable);
        EXPECT_EQ(o.device, palmota::testing::onThisSystem("/dev/ttyS0"));
        EXPECT_EQ(o.openError.reason, "Permission denied");
    }

    // The next, correct choice works.
    line.refuseOpen.clear();
    answer({"00", "00 02 00 01"});
    EXPECT_EQ(link.ReadCredit(), "1");
}

TEST_F(ReaderLinkTest, AChooserTextThatNamesNoPortOpensNothing) {
    for (const char* text : {"", "  ", "0", "-1", "abc", "99999999999"}) {
        chooser = text;
        outcomes.clear();
        EXPECT_EQ(link.ReadSerialNumber(), "ERREUR") << text;
        EXPECT_EQ(link.ReadCredit(), "") << text;
        ASSERT_EQ(outcomes.size(), 2u) << text;
        EXPECT_EQ(outcomes[0].openError.kind, OpenError::Kind::BadName) << text;
    }
    EXPECT_TRUE(line.opened.empty());
    EXPECT_EQ(clock.time, Seconds{1000});
}

TEST_F(ReaderLinkTest, AReaderPulledOutMidExchangeIsReopenedAfterTheNextCreditRead) {
    line.setResponder([&](const Bytes&) {
        line.breakLine();
        return Reply{};
    });
    EXPECT_EQ(timed([&] { EXPECT_EQ(link.ReadSerialNumber(), "ERREUR"); }), Seconds{0});
    EXPECT_EQ(link.ReadCredit(), "");  // not ready: closes
    EXPECT_FALSE(line.isOpen());

    SetUp();  // plugged back in, answering again
    answer({"00", "00", kBlockZero});
    EXPECT_EQ(link.ReadSerialNumber(), "123456");
    EXPECT_EQ(line.opened.size(), 2u);
}

// --- stray bytes --------------------------------------------------------------------

TEST_F(ReaderLinkTest, ALateWriteReplyDoesNotShiftTheRepliesOfTheNextOperation) {
    // The final byte of the write comes half a second after its 3-second limit.
    replies = {Reply{{1ms, hex("00")}}, Reply{{1ms, hex("00")}}, Reply{{3500ms, hex("00")}}};
    EXPECT_EQ(link.WriteCredit("4660"), "ERREUR");
    clock.advance(1s);
    answer({"00", "00 02 12 34"});
    EXPECT_EQ(link.ReadCredit(), "4660");
    EXPECT_EQ(outcomes.back().cause, Cause::Ok);
}

TEST_F(ReaderLinkTest, ALateOrRepeatedBlockReplyDoesNotShiftTheNextCreditRead) {
    // The block reply comes after its limit, then once more: 34 stray bytes in all.
    replies = {Reply{{1ms, hex("00")}}, Reply{{1ms, hex("00")}},
               Reply{{2500ms, hex(kBlockZero)}, {2600ms, hex(kBlockZero)}}};
    EXPECT_EQ(link.ReadSerialNumber(), "");
    clock.advance(1s);
    answer({"00", "00 02 12 34"});
    EXPECT_EQ(link.ReadCredit(), "4660");
    EXPECT_EQ(written(), (Writes{"00", "04", "00", "00", "06"}));
}

// --- a noisy line ------------------------------------------------------------------
// The protocol has no framing: bytes beyond a reply's shape, or right after it, shift
// every reply after them. Each row is a line that repeats or adds bytes; the operation
// must fail as a noisy line rather than give a value taken from a shifted reply, and a
// write must never say OK. `writes` shows what reached the Reader.
struct NoisyCase {
    const char* name;
    std::vector<Reply> replies;  // one per write, in order
    std::function<std::string(Palmota&)> operation;
    std::string result;
    bool amountSent;
    Writes writes;
};

void PrintTo(const NoisyCase& c, std::ostream* out) {
    *out << c.name;
}

struct NoisyLineTest : ReaderLinkTest, ::testing::WithParamInterface<NoisyCase> {};

TEST_P(NoisyLineTest, FailsAsANoisyLineWithNoValueTaken) {
    const NoisyCase& c = GetParam();
    replies.assign(c.replies.begin(), c.replies.end());
    EXPECT_EQ(link.kept(c.operation(link.palmota)), c.result);
    EXPECT_EQ(outcomes.back().cause, Cause::NoisyLine);
    EXPECT_EQ(outcomes.back().amountSent, c.amountSent);
    EXPECT_EQ(written(), c.writes);
}

const auto credit = [](Palmota& l) { return l.ReadCredit(); };
const auto serial = [](Palmota& l) { return l.ReadSerialNumber(); };
const auto block3 = [](Palmota& l) { return l.ReadBlock(3); };
const auto write321 = [](Palmota& l) { return l.WriteCredit("321"); };
Reply at(std::initializer_list<std::pair<int, const char*>> pieces) {
    Reply reply;
    for (const auto& [ms, bytes] : pieces)
        reply.push_back({std::chrono::milliseconds{ms}, hex(bytes)});
    return reply;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, NoisyLineTest,
    ::testing::Values(
        NoisyCase{"CreditReadyCheckTwice", {at({{1, "00 00"}})}, credit, "", false, {"00"}},
        NoisyCase{"CreditStrayByteBeforeTheHeader",
                  {at({{1, "00"}, {2, "EE"}}), at({{1, "00 02 05 DC"}})},
                  credit,
                  "",
                  false,
                  {"00", "06"}},
        NoisyCase{"CreditMoreThanAnnounced",
                  {at({{1, "00"}}), at({{1, "00 02 05 DC EE"}})},
                  credit,
                  "",
                  false,
                  {"00", "06"}},
        NoisyCase{"CreditByteRightAfterTheReply",
                  {at({{1, "00"}}), at({{1, "00 02 05 DC"}, {2, "EE"}})},
                  credit,
                  "",
                  false,
                  {"00", "06"}},
        // After 04 the block number goes out all the same: the Reader waits for it.
        NoisyCase{"SerialAcknowledgementTwice",
                  {at({{1, "00"}}), at({{1, "00 00"}}), at({{1, kBlockZero}})},
                  serial,
                  "",
                  false,
                  {"00", "04", "00"}},
        NoisyCase{"BlockByteAfterItsReply",
                  {at({{1, "00"}}), at({{1, "00"}}), at({{1, kBlockZero}, {2, "EE"}})},
                  block3,
                  hex(kBlockZero),
                  false,
                  {"00", "04", "03"}},
        NoisyCase{"BlockReadyCheckTwice", {at({{1, "00 00"}})}, block3, "", false, {"00"}},
        // Caught before 07: the badge is untouched.
        NoisyCase{"WriteReadyCheckGoesOn",
                  {at({{1, "00"}, {2, "00"}})},
                  write321,
                  "ERREUR",
                  false,
                  {"00"}},
        // A copy of the acknowledgement 50 ms late is the final byte; the real one follows.
        NoisyCase{"WriteLateCopyTakenForTheVerdict",
                  {at({{1, "00"}}), at({{1, "00"}}), at({{1, "00"}, {51, "FF"}})},
                  write321,
                  "",
                  true,
                  {"00", "07", "01 41"}},
        NoisyCase{"WriteAcknowledgementTwice",
                  {at({{1, "00"}}), at({{1, "00 00"}}), at({{1, "00"}})},
                  write321,
                  "",
                  true,
                  {"00", "07", "01 41"}},
        NoisyCase{"WriteFinalByteTwice",
                  {at({{1, "00"}}), at({{1, "00"}}), at({{1, "00 00"}})},
                  write321,
                  "",
                  true,
                  {"00", "07", "01 41"}}),
    [](const auto& row) { return std::string(row.param.name); });

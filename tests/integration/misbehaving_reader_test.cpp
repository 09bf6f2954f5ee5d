#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "reader/palmota.h"
#include "reader/posix_serial_line.h"
#include "reader/protocol.h"
#include "reader/reader_link.h"
#include "sim/pty_reader.h"
#include "tests/support/hex.h"
#include "tests/support/memory_measure.h"

using namespace palmota;
using namespace std::chrono_literals;

namespace {

// The longest each operation may wait: the sum of its exchanges' limits, and a margin
// for the pty and the scheduler.
constexpr Seconds kMargin = 150ms;
constexpr Seconds kSerialMost = 6s;
constexpr Seconds kCreditMost = 4s;
constexpr Seconds kWriteMost = 7s;

// A fault, or a pair of them, and what the operations may give under it. Whatever the
// fault, a value is the badge's own or the operation fails, and a write says OK only when
// the badge holds the amount; `values` says that the values must also come through.
struct Misbehaviour {
    const char* name;
    std::function<void(sim::ReaderFaults&)> fault;
    bool values;  // serial 123456, credit 1500 and the write's OK must come through
};

std::ostream& operator<<(std::ostream& out, const Misbehaviour& m) {
    return out << m.name;
}

class MisbehavingReader : public ::testing::TestWithParam<Misbehaviour> {
  protected:
    sim::PtyReader reader;
    PosixSerialLine line;
    SteadyClock clock;
    ReaderLink readerLink{line, clock, [this] { return reader.devicePath(); }};
    Palmota link{readerLink};

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(reader.start(&error)) << error;
        sim::ReaderFaults faults;
        GetParam().fault(faults);
        reader.setFaults(faults);
    }
    std::string within(Seconds most, const std::function<std::string()>& operation) {
        const Seconds start = clock.now();
        std::string result = operation();
        EXPECT_LT(clock.now() - start, most + kMargin);
        return result;
    }
};

}  // namespace

TEST_P(MisbehavingReader, AValueIsRightOrTheOperationFailsAndNoWriteIsFalselyOk) {
    const Misbehaviour& m = GetParam();
    const std::string serial = within(kSerialMost, [&] { return link.ReadSerialNumber(); });
    EXPECT_TRUE(serial == "123456" || (!link.lastOutcome().succeeded() && serial.empty()) ||
                serial == "ERREUR")
        << serial;
    const std::string credit = within(kCreditMost, [&] { return link.ReadCredit(); });
    EXPECT_TRUE(credit == "1500" || (!link.lastOutcome().succeeded() && credit.empty())) << credit;
    const std::string dumped = within(kSerialMost, [&] { return link.ReadBlock(0); });
    if (link.lastOutcome().succeeded()) {
        const auto block = reader.badge().blocks[0];
        EXPECT_EQ(dumped, Bytes(1, '\0') + Bytes(block.begin(), block.end()));
    }

    const std::uint16_t before = reader.badge().credit();
    const std::string written = within(kWriteMost, [&] { return link.WriteCredit("321"); });
    const Outcome& write = link.lastOutcome();
    // Let every late or repeated byte land before the badge is looked at.
    std::this_thread::sleep_for(400ms);
    const std::uint16_t after = reader.badge().credit();
    if (written == "OK") EXPECT_EQ(after, 321);
    EXPECT_EQ(written == "OK", write.succeeded());
    if (!write.amountSent) EXPECT_EQ(after, before) << "nothing was to reach the badge";
    if (m.values) {
        EXPECT_EQ(serial, "123456");
        EXPECT_EQ(credit, "1500");
        EXPECT_EQ(written, "OK");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MisbehavingReader,
    ::testing::Values(
        Misbehaviour{"Silent", [](auto& f) { f.silent = true; }, false},
        Misbehaviour{"NotReady", [](auto& f) { f.notReady = 0x01; }, false},
        Misbehaviour{"NoBadge", [](auto& f) { f.noBadge = true; }, false},
        Misbehaviour{"WriteRefused", [](auto& f) { f.writeRefused = true; }, false},
        Misbehaviour{"NoFinalWriteReply", [](auto& f) { f.noFinalWriteReply = true; }, false},
        Misbehaviour{"LateReplies", [](auto& f) { f.replyDelay = 200ms; }, true},
        Misbehaviour{"SplitReplies", [](auto& f) { f.splitGap = 300ms; }, true},
        Misbehaviour{"PacedAt9600Baud", [](auto& f) { f.pace9600 = true; }, true},
        Misbehaviour{"ExtraTrailingBytes", [](auto& f) { f.extraTrailingBytes = 3; }, false},
        Misbehaviour{"RepliesTwice", [](auto& f) { f.repliesTwice = true; }, false},
        Misbehaviour{"ExtraPaced", [](auto& f) { f.extraTrailingBytes = 2, f.pace9600 = true; },
                     false},
        Misbehaviour{"ExtraSplit", [](auto& f) { f.extraTrailingBytes = 4, f.splitGap = 30ms; },
                     false},
        Misbehaviour{"SplitPaced", [](auto& f) { f.splitGap = 30ms, f.pace9600 = true; }, true},
        Misbehaviour{"TwicePaced", [](auto& f) { f.repliesTwice = true, f.pace9600 = true; },
                     false},
        // The copy comes 50 ms after each reply: past the two byte times that end a read's
        // reply, within the write's longer silence.
        Misbehaviour{"TwiceSplit", [](auto& f) { f.repliesTwice = true, f.splitGap = 50ms; },
                     false},
        Misbehaviour{
            "TwiceSplitRefused",
            [](auto& f) { f.repliesTwice = true, f.splitGap = 50ms, f.writeRefused = true; },
            false},
        Misbehaviour{"TwiceSplitRefusedUnconfirmed",
                     [](auto& f) {
                         f.repliesTwice = true, f.splitGap = 50ms, f.writeRefused = true,
                         f.noFinalWriteReply = true;
                     },
                     false},
        Misbehaviour{"LateBlockReply", [](auto& f) { f.lateBlockReply = 2500ms; }, false},
        Misbehaviour{"LateWriteReply", [](auto& f) { f.lateWriteReply = 3300ms; }, false},
        Misbehaviour{"LateWriteReplyTwice",
                     [](auto& f) { f.lateWriteReply = 3300ms, f.repliesTwice = true; }, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FloodingReader, MemoryStaysBoundedWhileOperationsGoOn) {
    sim::PtyReader reader;
    std::string error;
    ASSERT_TRUE(reader.start(&error)) << error;
    PosixSerialLine line;
    SteadyClock clock;
    ReaderLink readerLink{line, clock, [&] { return reader.devicePath(); }};
    Palmota link{readerLink};

    // A gigabyte poured out after each ready check, far more than any buffer could hold.
    sim::ReaderFaults faults;
    faults.floodBytes = std::size_t{1} << 30;
    reader.setFaults(faults);
    const long before = palmota::testing::statusKb("VmHWM");
    for (int i = 0; i < 20; ++i) {
        const Seconds start = clock.now();
        link.ReadSerialNumber();
        link.ReadCredit();
        link.WriteCredit("7");
        EXPECT_LT(clock.now() - start, kSerialMost + kCreditMost + kWriteMost);
        EXPECT_LE(line.bytesWaiting(), protocol::kReceiveBufferSize);
    }
    const long growth = palmota::testing::statusKb("VmHWM") - before;
    std::cout << "peak resident memory grew by " << growth << " kB during the flood\n";
    if (palmota::testing::kResidentMemoryIsMeaningful) {
        EXPECT_LT(growth, 4096);
    }
}

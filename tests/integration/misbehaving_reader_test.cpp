#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "reader/qt_serial_line.h"
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

struct Misbehaviour {
    const char* name;
    std::function<void(sim::ReaderFaults&)> fault;
    const char* serial;  // what each operation must give, in the order they run
    const char* credit;
    const char* write;
};

std::ostream& operator<<(std::ostream& out, const Misbehaviour& m) {
    return out << m.name;
}

void PrintTo(const Misbehaviour& row, std::ostream* out) {
    *out << row.name << ": serial \"" << row.serial << "\", credit \"" << row.credit
         << "\", write \"" << row.write << '"';
}

class MisbehavingReader : public ::testing::TestWithParam<Misbehaviour> {
  protected:
    sim::PtyReader reader;
    QtSerialLine line;
    SteadyClock clock;
    Palmota link{line, clock, [this] { return reader.devicePath(); }};

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

TEST_P(MisbehavingReader, EveryOperationEndsInTimeWithAnAllowedResult) {
    const Misbehaviour& m = GetParam();
    EXPECT_EQ(within(kSerialMost, [&] { return link.ReadSerialNumber(); }), m.serial);
    EXPECT_EQ(within(kCreditMost, [&] { return link.ReadCredit(); }), m.credit);
    EXPECT_EQ(within(kWriteMost, [&] { return link.WriteCredit("321"); }), m.write);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MisbehavingReader,
    ::testing::Values(
        Misbehaviour{"Silent", [](auto& f) { f.silent = true; }, "ERREUR", "", "ERREUR"},
        // Only the credit read judges the ready check's status; it closes the port, and
        // the write reopens it.
        Misbehaviour{"NotReady", [](auto& f) { f.notReady = 0x01; }, "123456", "", "OK"},
        Misbehaviour{"NoBadge", [](auto& f) { f.noBadge = true; }, "", "", "ERREUR"},
        Misbehaviour{"WriteRefused", [](auto& f) { f.writeRefused = true; }, "123456", "1500",
                     "ERREUR"},
        // An unconfirmed write is never a success.
        Misbehaviour{"NoFinalWriteReply", [](auto& f) { f.noFinalWriteReply = true; }, "123456",
                     "1500", "ERREUR"},
        Misbehaviour{"LateReplies", [](auto& f) { f.replyDelay = 200ms; }, "123456", "1500", "OK"},
        Misbehaviour{"SplitReplies", [](auto& f) { f.splitGap = 300ms; }, "123456", "1500", "OK"},
        Misbehaviour{"ExtraTrailingBytes", [](auto& f) { f.extraTrailingBytes = 3; }, "123456",
                     "1500", "OK"},
        Misbehaviour{"PacedAt9600Baud", [](auto& f) { f.pace9600 = true; }, "123456", "1500",
                     "OK"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FloodingReader, MemoryStaysBoundedWhileOperationsGoOn) {
    sim::PtyReader reader;
    std::string error;
    ASSERT_TRUE(reader.start(&error)) << error;
    QtSerialLine line;
    SteadyClock clock;
    Palmota link{line, clock, [&] { return reader.devicePath(); }};

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
        EXPECT_LE(line.bytesWaiting(), QtSerialLine::kReceiveBufferSize);
    }
    const long growth = palmota::testing::statusKb("VmHWM") - before;
    std::cout << "peak resident memory grew by " << growth << " kB during the flood\n";
    if (palmota::testing::kResidentMemoryIsMeaningful) {
        EXPECT_LT(growth, 4096);
    }
}

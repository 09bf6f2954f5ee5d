#include "sim/emulated_line.h"

#include <gtest/gtest.h>

#include "reader/palmota.h"
#include "reader/port_name.h"
#include "reader/reader_link.h"
#include "tests/support/fake_clock.h"
#include "tests/support/scripted_line.h"

namespace palmota::sim {
namespace {

using palmota::testing::FakeClock;
using palmota::testing::ScriptedLine;

// A name the port chooser accepts on this system.
const std::string kEmulated = resolvePortName("99").device;

// The emulated line on the fake clock: a wait moves time on by what it sleeps.
struct EmulatedLineTest : ::testing::Test {
    FakeClock clock;
    ScriptedLine system{clock};
    EmulatedLine line{kEmulated, VirtualBadge::sample(), system, clock,
                      [this](Seconds wait) { clock.advance(wait); }};
    ReaderLink link{line, clock, [] { return kEmulated; }};
    Palmota reader{link};
};

TEST_F(EmulatedLineTest, TheWindowsOperationsGetTheSampleBadgesAnswers) {
    EXPECT_EQ(reader.ReadCredit(), "1500");
    EXPECT_EQ(reader.ReadSerialNumber(), "123456");
    EXPECT_EQ(reader.WriteCredit("250"), "OK");
    EXPECT_EQ(reader.ReadCredit(), "250");
    EXPECT_FALSE(system.isOpen());
    EXPECT_EQ(system.allWritten(), "");
}

TEST_F(EmulatedLineTest, AReplyArrivesWhenDueAndASilentReaderCostsTheWholeLimit) {
    ReaderFaults faults;
    faults.replyDelay = std::chrono::milliseconds{40};
    line.setFaults(faults);
    ASSERT_TRUE(line.open(kEmulated));
    line.write(Bytes(1, '\0'));
    EXPECT_EQ(line.bytesWaiting(), 0);
    const Seconds start = clock.time;
    EXPECT_TRUE(line.waitForBytes(Seconds{1.0}));
    EXPECT_NEAR((clock.time - start).count(), 0.040, 1e-9);
    EXPECT_EQ(line.readAll(), Bytes(1, '\0'));

    faults.silent = true;
    line.setFaults(faults);
    line.write(Bytes(1, '\0'));
    EXPECT_TRUE(line.waitForBytes(Seconds{1.0}));
    EXPECT_NEAR((clock.time - start).count(), 1.040, 1e-9);
    EXPECT_EQ(line.bytesWaiting(), 0);
}

TEST_F(EmulatedLineTest, AnyOtherNameIsTheSystemsPort) {
    system.refuseOpen = "File not found";
    system.refuseKind = OpenError::Kind::NoSuchDevice;
    EXPECT_FALSE(line.open("COM3"));
    EXPECT_EQ(line.openError().kind, OpenError::Kind::NoSuchDevice);
    system.refuseOpen.clear();
    ASSERT_TRUE(line.open("COM3"));
    line.write(Bytes(1, '\x06'));
    EXPECT_EQ(system.allWritten(), Bytes(1, '\x06'));
    line.close();
    EXPECT_FALSE(system.isOpen());
    // Back on the emulated Reader, the system's port stays closed.
    ASSERT_TRUE(line.open(kEmulated));
    EXPECT_FALSE(system.isOpen());
}

}  // namespace
}  // namespace palmota::sim

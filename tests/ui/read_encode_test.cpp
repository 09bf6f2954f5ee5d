#include <QSignalSpy>

#include "sim/reader_faults.h"
#include "tests/ui/window_fixture.h"

namespace palmota::ui::testing {
namespace {

using ReadAction = WindowTest;
using EncodeAction = WindowTest;
using BlockDump = WindowTest;

sim::ReaderFaults silentReader() {
    sim::ReaderFaults silent;
    silent.silent = true;
    return silent;
}

TEST_F(ReadAction, ShowsSerialNumberThenCredit) {
    click("Command3");
    EXPECT_EQ(text("Text4"), "123456");
    EXPECT_EQ(text("Text1"), "1500");
    EXPECT_EQ(hexOf(written()), "00 04 00 00 06");
}

TEST_F(ReadAction, WithNoReaderShowsErreurAndAnEmptyCreditAfterTwoReadyChecks) {
    click("Command3");
    ASSERT_EQ(text("Text1"), "1500");
    setFaults(silentReader());

    const Seconds start = clock.time;
    click("Command3");
    const Seconds elapsed = clock.time - start;
    EXPECT_EQ(text("Text4"), "ERREUR");
    EXPECT_EQ(text("Text1"), "");
    EXPECT_GT(elapsed, Seconds(2.0));
    EXPECT_LT(elapsed, Seconds(3.0));
    // The failed credit read closed the port, for the next action to reopen it.
    EXPECT_FALSE(line.isOpen());
}

TEST_F(ReadAction, ReportsTheOutcomesOfTheOperationsItRan) {
    std::vector<Outcome> seen;
    window->setActionReport([&](const std::vector<Outcome>& outcomes) { seen = outcomes; });
    click("Command3");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].operation, Operation::ReadSerialNumber);
    EXPECT_EQ(seen[0].serial, 123456);
    EXPECT_EQ(seen[1].operation, Operation::ReadCredit);
    EXPECT_EQ(seen[1].credit, 1500);

    window->setPortText("/dev/palmota-no-such-port");
    setFaults(silentReader());
    click("Command3");  // the credit read finds no Reader and closes the port
    line.refuseOpen = "No such file or directory";
    line.refuseKind = OpenError::Kind::NoSuchDevice;
    click("Command3");  // reopens on the new choice, which is not there
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].cause, Cause::PortUnavailable);
    EXPECT_EQ(seen[0].openError.kind, OpenError::Kind::NoSuchDevice);
    EXPECT_EQ(seen[0].device, "/dev/palmota-no-such-port");
}

TEST_F(EncodeAction, WritesTheAmountsTrueValueAndReportsOk) {
    struct Case {
        const char* typed;
        const char* amountBytes;
        int credit;
    };
    for (const Case& c : {Case{"100", "00 64", 100}, Case{"65535", "FF FF", 65535},
                          Case{"0", "00 00", 0}, Case{"0000000000012", "00 0C", 12}}) {
        clearAmount();
        typeAmount(c.typed);
        line.writes.clear();
        click("Command2");
        EXPECT_EQ(text("Text3"), "OK") << c.typed;
        EXPECT_EQ(hexOf(written()), std::string("00 07 ") + c.amountBytes) << c.typed;
        EXPECT_EQ(engine.badge().credit(), c.credit) << c.typed;
    }
    // A read shows the credit just written.
    click("Command3");
    EXPECT_EQ(text("Text1"), "12");
}

TEST_F(EncodeAction, RefusesAmountsAboveTheCreditRangeErasingThemAndSendingNothing) {
    for (const char* typed : {"70000", "65536", "99999999999999999999", "00000000000065536",
                              "4294967308"}) {  // 2^32 + 12: must not wrap to 12
        clearAmount();
        typeAmount(typed);
        textBox("Text3")->setText("OK");  // as a previous write left it
        click("Command2");
        EXPECT_EQ(text("Text2"), "") << typed;
        EXPECT_EQ(text("Text3"), "") << typed;
    }
    EXPECT_EQ(hexOf(written()), "");
    EXPECT_TRUE(line.opened.empty());
    EXPECT_EQ(engine.badge().credit(), 1500);
}

TEST_F(EncodeAction, WithAnEmptyAmountSendsNothingAndLeavesTheResultAlone) {
    textBox("Text3")->setText("OK");
    QSignalSpy changes(textBox("Text2"), &QLineEdit::textChanged);
    click("Command2");
    EXPECT_EQ(text("Text2"), "");
    EXPECT_EQ(text("Text3"), "OK");
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(hexOf(written()), "");
}

TEST_F(EncodeAction, ReportsErreurWhenTheBadgeRefusesTheWrite) {
    sim::ReaderFaults refusing;
    refusing.writeRefused = true;
    setFaults(refusing);
    typeAmount("100");
    click("Command2");
    EXPECT_EQ(text("Text3"), "ERREUR");
    EXPECT_EQ(engine.badge().credit(), 1500);
}

TEST_F(EncodeAction, AnyChangeOfTheAmountEmptiesTheResult) {
    typeAmount("100");
    click("Command2");
    ASSERT_EQ(text("Text3"), "OK");
    typeAmount("5");
    EXPECT_EQ(text("Text3"), "");
    click("Command2");
    ASSERT_EQ(text("Text3"), "OK");
    QTest::keyClick(textBox("Text2"), Qt::Key_Backspace);
    EXPECT_EQ(text("Text3"), "");
}

TEST_F(BlockDump, ReadsBlocksZeroToSevenAndChangesNothingInTheWindow) {
    click("Command4");
    EXPECT_EQ(hexOf(written()),
              "00 04 00 00 04 01 00 04 02 00 04 03 00 04 04 00 04 05 00 04 06 00 04 07");
    for (const char* box : {"Text1", "Text2", "Text3", "Text4"}) {
        EXPECT_EQ(text(box), "") << box;
        EXPECT_EQ(reason(box), "") << box;
    }
}

}  // namespace
}  // namespace palmota::ui::testing

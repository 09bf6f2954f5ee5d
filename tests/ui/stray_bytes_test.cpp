#include <chrono>

#include "sim/reader_faults.h"
#include "tests/ui/pty_window_fixture.h"

namespace palmota::ui::testing {
namespace {

using namespace std::chrono_literals;

// Replies that come after their limit, or twice, stay in the receive buffer. Taken for the
// reply to the next command, they would shift every reply after them; the window must
// show the badge's true values all the same.
using StrayBytes = PtyWindowTest;

TEST_F(StrayBytes, ALateFinalWriteReplyDoesNotShiftTheReadASecondLater) {
    sim::ReaderFaults late;
    late.lateWriteReply = 3200ms;  // the host gives up on it after 3 s
    reader.setFaults(late);
    typeAmount("4660");
    click("Command2");
    EXPECT_EQ(text("Text3"), "ERREUR");  // not confirmed
    EXPECT_EQ(reader.badge().credit(), 4660);

    QTest::qWait(1000);
    reader.setFaults({});
    click("Command3");
    EXPECT_EQ(text("Text4"), "123456");
    EXPECT_EQ(text("Text1"), "4660");
}

TEST_F(StrayBytes, ALateBlockReplyDoesNotShiftTheCreditReadAfterAPause) {
    sim::ReaderFaults late;
    late.lateBlockReply = 2300ms;  // the host gives up on it after 2 s
    reader.setFaults(late);
    click("Command3");
    EXPECT_EQ(text("Text4"), "");
    // The Reader sends the late block before its answer to the credit's ready check: that
    // read is noisy and shows nothing, never a value taken from the block's bytes.
    EXPECT_EQ(text("Text1"), "");

    // Sent by then: 00 (ready), 00 (read block), the 17 bytes of the late block reply,
    // then 00 for the credit's ready check; no 06 went out after it.
    constexpr std::size_t kAllReplies = 1 + 1 + 17 + 1;
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.sent().size() >= kAllReplies; }, 3000))
        << hexOf(reader.sent());
    QTest::qWait(300);
    reader.setFaults({});
    click("Command3");
    EXPECT_EQ(text("Text4"), "123456");
    EXPECT_EQ(text("Text1"), "1500");
}

TEST_F(StrayBytes, AReaderThatRepliesTwiceNeverShowsAShiftedValue) {
    sim::ReaderFaults twice;
    twice.repliesTwice = true;
    reader.setFaults(twice);
    for (int read = 0; read < 3; ++read) {
        click("Command3");
        EXPECT_EQ(text("Text4"), "") << read;
        EXPECT_EQ(text("Text1"), "") << read;
    }
    // Every reply comes twice: the line is noisy, and the reason says so.
    EXPECT_TRUE(reason("Text1").startsWith(QStringLiteral("Ligne perturbée")))
        << reason("Text1").toStdString();
}

}  // namespace
}  // namespace palmota::ui::testing

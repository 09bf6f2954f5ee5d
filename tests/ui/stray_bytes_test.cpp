#include <chrono>

#include "sim/reader_faults.h"
#include "tests/ui/window_fixture.h"

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
    EXPECT_EQ(text("Text1"), "1500");  // read before the late reply came

    // Sent by then: 00 (ready), 00 (read block), 00 02 05 DC (the credit read); then the
    // 17 bytes of the late block reply.
    constexpr std::size_t kAllReplies = 1 + 1 + 1 + 4 + 17;
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader.sent().size() >= kAllReplies; }, 3000))
        << hexOf(reader.sent());
    QTest::qWait(300);
    reader.setFaults({});
    click("Command3");
    EXPECT_EQ(text("Text4"), "123456");
    EXPECT_EQ(text("Text1"), "1500");
}

TEST_F(StrayBytes, AReaderThatRepliesTwiceStillShowsTheTrueValues) {
    sim::ReaderFaults twice;
    twice.repliesTwice = true;
    reader.setFaults(twice);
    for (int read = 0; read < 3; ++read) {
        click("Command3");
        EXPECT_EQ(text("Text4"), "123456") << read;
        EXPECT_EQ(text("Text1"), "1500") << read;
    }
}

}  // namespace
}  // namespace palmota::ui::testing

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "tests/ui/window_fixture.h"

namespace palmota::ui::testing {
namespace {

using namespace std::chrono_literals;

// Shorter than the stored half second, long enough to tell a read at the click from one
// an interval later.
constexpr auto kInterval = 250ms;

class ContinuousReading : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        window->setContinuousReadingInterval(kInterval);
    }
    // Credit reads so far: each read action sends one 06.
    long reads() const { return std::ranges::count(reader.received(), '\x06'); }
    QTimer* timer() const { return window->findChild<QTimer*>("Timer1"); }
};

TEST_F(ContinuousReading, SwitchingOnLocksTheBadgeButtonsAndReadsFromOneIntervalLater) {
    QElapsedTimer sinceClick;
    qint64 firstRead = -1;
    QObject::connect(textBox("Text1"), &QLineEdit::textChanged, [&] {
        if (firstRead < 0) firstRead = sinceClick.elapsed();
    });
    sinceClick.start();
    click("Command1");

    EXPECT_EQ(button("Command1")->text(), "Stop Lecture");
    EXPECT_TRUE(control<QLabel>("Label1")->isVisible());
    EXPECT_FALSE(button("Command2")->isEnabled());
    EXPECT_FALSE(button("Command3")->isEnabled());
    EXPECT_TRUE(button("Command1")->isEnabled());
    EXPECT_TRUE(button("Command4")->isEnabled());
    EXPECT_EQ(reads(), 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return reads() >= 2; }, 5000));
    EXPECT_GE(firstRead, std::chrono::milliseconds(kInterval).count() * 9 / 10);
    EXPECT_EQ(text("Text4"), "123456");
    EXPECT_EQ(text("Text1"), "1500");
}

TEST_F(ContinuousReading, SwitchingOffRestoresTheWindowAndNoFurtherReadStarts) {
    click("Command1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads() >= 1; }, 5000));
    click("Command1");

    EXPECT_EQ(button("Command1")->text(), "Lecture Continue");
    EXPECT_FALSE(control<QLabel>("Label1")->isVisible());
    EXPECT_TRUE(button("Command2")->isEnabled());
    EXPECT_TRUE(button("Command3")->isEnabled());
    EXPECT_FALSE(timer()->isActive());
    reader.clearLog();
    QTest::qWait(static_cast<int>(3 * kInterval.count()));
    EXPECT_EQ(hexOf(reader.received()), "");
}

TEST_F(ContinuousReading, ClosingTheWindowEndsTheProgramAndNoReadFollows) {
    click("Command1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads() >= 1; }, 5000));
    window->close();
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(timer()->isActive());
    reader.clearLog();
    QTest::qWait(static_cast<int>(2 * kInterval.count()));
    EXPECT_EQ(hexOf(reader.received()), "");
}

}  // namespace
}  // namespace palmota::ui::testing

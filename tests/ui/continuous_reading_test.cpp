#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>

#include "tests/ui/window_fixture.h"

namespace palmota::ui::testing {
namespace {

using namespace std::chrono_literals;

// Shorter than the stored half second, long enough to tell a read at the click from one
// an interval later.
constexpr auto kInterval = 100ms;

class ContinuousReading : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        window->setContinuousReadingInterval(kInterval);
    }
    // Credit reads so far: each read action sends one 06.
    long reads() const { return std::ranges::count(written(), '\x06'); }
    QTimer* timer() const { return window->findChild<QTimer*>("Timer1"); }
    // A Reader slower than the interval: by the end of the read the next tick is due.
    static void outlastInterval(std::chrono::nanoseconds interval) {
        QElapsedTimer spent;
        spent.start();
        while (std::chrono::nanoseconds(spent.nsecsElapsed()) < 2 * interval) {
        }
    }
};

TEST_F(ContinuousReading, SwitchingOnLocksTheBadgeButtonsAndReadsFromOneIntervalLater) {
    click("Command1");

    EXPECT_EQ(button("Command1")->text(), "Stop Lecture");
    EXPECT_TRUE(control<QLabel>("Label1")->isVisible());
    EXPECT_FALSE(button("Command2")->isEnabled());
    EXPECT_FALSE(button("Command3")->isEnabled());
    EXPECT_TRUE(button("Command1")->isEnabled());
    EXPECT_TRUE(button("Command4")->isEnabled());
    EXPECT_EQ(reads(), 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return reads() >= 2; }, 5000));
    EXPECT_EQ(text("Text4"), "123456");
    EXPECT_EQ(text("Text1"), "1500");
}

TEST_F(ContinuousReading, TheFirstReadComesNoEarlierThanOneFullIntervalAfterTheClick) {
    // A coarse timer fires up to 5% early: 475 ms was seen for 500. The loop runs
    // free meanwhile, so that a tick is handled the moment it fires.
    for (int attempt = 0; attempt < 4; ++attempt) {
        QEventLoop untilTheFirstRead;
        QElapsedTimer sinceClick;
        std::chrono::nanoseconds firstWrite{-1};
        duringWrite = [&](const Bytes&) {
            if (firstWrite >= 0ns) return;
            firstWrite = std::chrono::nanoseconds(sinceClick.nsecsElapsed());
            untilTheFirstRead.quit();
        };
        QTimer::singleShot(5s, &untilTheFirstRead, &QEventLoop::quit);
        sinceClick.start();
        click("Command1");
        untilTheFirstRead.exec();
        click("Command1");
        ASSERT_GE(firstWrite, 0ns);
        EXPECT_GE(firstWrite, kInterval) << "attempt " << attempt;
    }
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
    line.writes.clear();
    QTest::qWait(static_cast<int>(3 * kInterval.count()));
    EXPECT_EQ(hexOf(written()), "");
}

TEST_F(ContinuousReading, ClosingTheWindowEndsTheProgramAndNoReadFollows) {
    click("Command1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads() >= 1; }, 5000));
    window->close();
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(timer()->isActive());
    line.writes.clear();
    QTest::qWait(static_cast<int>(2 * kInterval.count()));
    EXPECT_EQ(hexOf(written()), "");
}

}  // namespace
}  // namespace palmota::ui::testing

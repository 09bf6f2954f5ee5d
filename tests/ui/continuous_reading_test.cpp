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
    std::ptrdiff_t reads() const { return std::ranges::count(written(), '\x06'); }
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
    // A coarse timer may fire up to 5% early, 475 ms for 500. The loop runs
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

// What the operator does while a read holds the window waits in the queue; the tick that
// came due meanwhile waits behind it, as a timer message does on the desktop this layout
// was drawn for.
class InputDuringARead : public ContinuousReading {
  protected:
    void SetUp() override {
        ContinuousReading::SetUp();
        window->setContinuousReadingInterval(kShortInterval);
    }
    // Calls `request` while the first read waits for its credit, once the next tick is due.
    void duringTheFirstCreditRead(std::function<void()> request) {
        duringWrite = [this, request](const Bytes& bytes) {
            if (writesAtRequest > 0 || bytes != "\x06") return;
            outlastInterval(kShortInterval);
            request();
            writesAtRequest = line.writes.size();
        };
    }
    static constexpr auto kShortInterval = 1ms;
    std::size_t writesAtRequest = 0;
};

TEST_F(InputDuringARead, ACloseRequestLetsNoFurtherReadStartAndEndsTheProgramWhenTheReadEnds) {
    // A close that reaches the window after the due tick, as the window manager's does.
    QTimer closeRequest;
    closeRequest.setSingleShot(true);
    closeRequest.setTimerType(Qt::PreciseTimer);
    QObject::connect(&closeRequest, &QTimer::timeout, window.get(), &QWidget::close);
    int endsDuringTheRead = -1;
    duringTheFirstCreditRead([&] {
        closeRequest.start(0);
        endsDuringTheRead = programEnds;
    });

    click("Command1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return programEnds > 0; }, 5000));
    EXPECT_EQ(endsDuringTheRead, 0);
    EXPECT_EQ(text("Text1"), "1500");  // the read that was running ended as it should
    QTest::qWait(20);
    EXPECT_EQ(line.writes.size(), writesAtRequest) << hexOf(written());
    EXPECT_EQ(programEnds, 1);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(InputDuringARead, StopLectureClickedDuringASlowReadStopsContinuousReading) {
    duringTheFirstCreditRead([&] {
        QMetaObject::invokeMethod(button("Command1"), &QPushButton::click, Qt::QueuedConnection);
    });

    click("Command1");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return button("Command1")->text() == "Lecture Continue"; }, 5000));
    QTest::qWait(20);
    EXPECT_EQ(line.writes.size(), writesAtRequest) << hexOf(written());
    EXPECT_FALSE(timer()->isActive());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace palmota::ui::testing

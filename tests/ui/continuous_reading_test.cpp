#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <array>
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
    // Timer1's tick, delivered now: whenever the system's timer fires, early or late.
    void tick() const { QMetaObject::invokeMethod(timer(), "timeout"); }
    // Switches continuous reading on and lets the window's clock reach its first read.
    void switchOn() {
        click("Command1");
        clock.advance(kInterval);
    }
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

    clock.advance(kInterval);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads() >= 2; }, 5000));
    EXPECT_EQ(text("Text4"), "123456");
    EXPECT_EQ(text("Text1"), "1500");
}

TEST_F(ContinuousReading, TheFirstReadComesNoEarlierThanOneFullIntervalAfterTheClick) {
    // A system timer may fire early: under wine a precise timer is a multimedia timer
    // that counts whole milliseconds, so its first tick comes up to 1 ms before the
    // interval. The window holds its first read until its own clock says a full interval
    // has passed since the click, whenever the ticks come.
    const Seconds clicked = clock.time;
    click("Command1");
    using Early = std::array<std::chrono::microseconds, 4>;
    for (const auto early : Early{kInterval, kInterval / 2, 1ms, 1us}) {
        clock.time = clicked + kInterval - early;
        tick();
        EXPECT_EQ(reads(), 0) << early.count() << " us early";
    }
    clock.time = clicked + kInterval;
    tick();
    EXPECT_EQ(reads(), 1);
    click("Command1");
}

TEST_F(ContinuousReading, AnEarlyTickReadsByItselfOnceTheRestOfTheIntervalHasPassed) {
    // An interval no periodic tick reaches during the test: the read must come from the
    // rest of the interval that the early tick waits out.
    window->setContinuousReadingInterval(10s);
    const Seconds clicked = clock.time;
    click("Command1");
    clock.time = clicked + 10s - 2ms;
    tick();
    EXPECT_EQ(reads(), 0);
    clock.advance(2ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reads() == 1; }, 2000));
    click("Command1");
}

TEST_F(ContinuousReading, TwoTicksDueTogetherMakeOneRead) {
    // The rest of an early first interval and Timer1's own next tick are two timers: the
    // second reaches the window while the first waits for the queue.
    switchOn();
    QMetaObject::invokeMethod(timer(), "timeout", Qt::QueuedConnection);
    tick();
    QCoreApplication::processEvents();
    EXPECT_EQ(reads(), 1);
    click("Command1");
}

TEST_F(ContinuousReading, SwitchedOnAgainTheFirstReadCountsFromTheLatestClick) {
    const Seconds firstClick = clock.time;
    click("Command1");
    clock.advance(kInterval / 2);
    click("Command1");
    click("Command1");
    clock.time = firstClick + kInterval;  // a full interval after the first click only
    tick();
    EXPECT_EQ(reads(), 0);
    clock.advance(kInterval / 2);
    tick();
    EXPECT_EQ(reads(), 1);
    click("Command1");
}

// The window's promise on the system's own timer and the clock the program runs on
// (std::chrono::steady_clock), measured on that clock: the ticks come when the system's
// timer sends them, under whatever load the machine is under.
TEST(ContinuousReadingOnTheSystemTimer,
     TheFirstReadComesNoEarlierThanOneFullIntervalAfterTheClick) {
    FakeClock lineClock;
    ScriptedLine line{lineClock};
    sim::ReaderEngine engine;
    SteadyClock clock;
    Seconds firstWrite{-1};
    Seconds clickedAt{0};
    QEventLoop untilTheFirstRead;
    line.setResponder([&](const Bytes& written) {
        if (firstWrite < Seconds::zero()) {
            firstWrite = clock.now() - clickedAt;
            untilTheFirstRead.quit();
        }
        std::vector<Arrival> arrivals;
        for (const char byte : written) {
            for (const sim::TimedPiece& piece : engine.receive(static_cast<std::uint8_t>(byte)))
                arrivals.push_back({std::chrono::duration_cast<Seconds>(piece.at), piece.bytes});
        }
        return arrivals;
    });
    FrmPalmota window(line, clock);
    window.setPortText(QString::fromStdString(palmota::testing::onThisSystem("/dev/ttyUSB0")));
    window.setProgramEnd([] {});
    window.setContinuousReadingInterval(kInterval);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* command1 = window.findChild<QPushButton*>("Command1");
    for (int attempt = 0; attempt < 10; ++attempt) {
        firstWrite = Seconds{-1};
        QTimer::singleShot(5s, &untilTheFirstRead, &QEventLoop::quit);
        clickedAt = clock.now();
        QTest::mouseClick(command1, Qt::LeftButton);
        untilTheFirstRead.exec();
        QTest::mouseClick(command1, Qt::LeftButton);
        ASSERT_GE(firstWrite, Seconds::zero());
        EXPECT_GE(firstWrite, kInterval) << "attempt " << attempt;
    }
}

TEST_F(ContinuousReading, SwitchingOffRestoresTheWindowAndNoFurtherReadStarts) {
    switchOn();
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
    switchOn();
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

    switchOn();
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

    switchOn();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return button("Command1")->text() == "Lecture Continue"; }, 5000));
    QTest::qWait(20);
    EXPECT_EQ(line.writes.size(), writesAtRequest) << hexOf(written());
    EXPECT_FALSE(timer()->isActive());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace palmota::ui::testing

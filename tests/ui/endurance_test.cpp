#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "reader/tracing_line.h"
#include "tests/support/memory_measure.h"
#include "tests/ui/pty_window_fixture.h"

namespace palmota::ui::testing {
namespace {

using namespace std::chrono_literals;

long openFileDescriptors() {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator{});
}

class Endurance : public PtyWindowTest {
  protected:
    QTimer* timer() const { return window->findChild<QTimer*>("Timer1"); }
    // Runs after the window's own tick handler, so it sees what each read action showed.
    template <typename Check>
    void afterEachTick(Check check) {
        QObject::connect(timer(), &QTimer::timeout, window.get(), check);
    }
};

using ReadActionOnAPort = PtyWindowTest;

TEST_F(ReadActionOnAPort, ShowsSerialNumberThenCredit) {
    click("Command3");
    EXPECT_EQ(text("Text4"), "123456");
    EXPECT_EQ(text("Text1"), "1500");
    // Serial number first (ready check, read block, block 0), then the credit.
    EXPECT_EQ(hexOf(reader.received()), "00 04 00 00 06");
}

TEST_F(Endurance, TwoThousandContinuousReadsLeaveDescriptorsAndMemoryFlat) {
    constexpr int kWarmUp = 100;
    constexpr int kReads = 2000;
    window->setContinuousReadingInterval(1ms);
    int ticks = 0;
    int wrong = 0;
    long fdsAtStart = 0;
    long kbAtStart = 0;
    QEventLoop soak;
    afterEachTick([&] {
        ++ticks;
        if (ticks == kWarmUp + kReads) soak.quit();
        if (text("Text4") != "123456" || text("Text1") != "1500") ++wrong;
        if (ticks == kWarmUp) {
            fdsAtStart = openFileDescriptors();
            kbAtStart = palmota::testing::statusKb("VmRSS");
        }
    });
    // An event loop of its own: QTest's waits sleep between polls and would set the pace.
    QTimer::singleShot(120s, &soak, &QEventLoop::quit);
    click("Command1");
    soak.exec();
    click("Command1");
    ASSERT_EQ(ticks, kWarmUp + kReads);
    const long fdsAtEnd = openFileDescriptors();
    const long kbAtEnd = palmota::testing::statusKb("VmRSS");
    std::cout << ticks << " reads; descriptors " << fdsAtStart << " -> " << fdsAtEnd
              << "; resident " << kbAtStart << " kB -> " << kbAtEnd << " kB\n";
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(fdsAtEnd, fdsAtStart);
    if (palmota::testing::kResidentMemoryIsMeaningful) {
        EXPECT_LT(kbAtEnd - kbAtStart, 2048);
    }
}

TEST_F(Endurance, ContinuousReadingResumesByItselfWhenTheReaderIsPluggedBackIn) {
    const std::string link =
        std::filesystem::temp_directory_path() / ("palmota-replug-" + std::to_string(::getpid()));
    ASSERT_TRUE(reader.setLinkPath(link));
    window->setPortText(QString::fromStdString(link));
    window->setContinuousReadingInterval(20ms);
    click("Command1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("Text1") == "1500"; }, 5000));

    reader.unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return text("Text4") == "ERREUR"; }, 5000));
    EXPECT_EQ(text("Text1"), "");
    EXPECT_FALSE(port.isOpen());

    ASSERT_TRUE(reader.replug());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return text("Text4") == "123456" && text("Text1") == "1500"; }, 5000));
    click("Command1");
}

TEST_F(Endurance, ABadPortChoiceFailsAtOnceAndTheNextGoodOneWorks) {
    for (const char* portText : {"", "  ", "0", "-1", "99999999999", "abc", "/dev/null",
                                 "/dev/zero", "/tmp", "/no/such/device"}) {
        window->setPortText(QString::fromLatin1(portText));
        QElapsedTimer took;
        took.start();
        click("Command3");
        EXPECT_LT(took.elapsed(), 200) << portText;
        EXPECT_EQ(text("Text4"), "ERREUR") << portText;
        EXPECT_EQ(text("Text1"), "") << portText;
    }
    window->setPortText(QString(2000, QLatin1Char('x')));
    click("Command3");
    EXPECT_EQ(text("Text4"), "ERREUR");

    window->setPortText(QString::fromStdString(reader.devicePath()));
    click("Command3");
    EXPECT_EQ(text("Text4"), "123456");
    EXPECT_EQ(text("Text1"), "1500");
}

TEST(WireTrace, SeesEveryByteTheWindowsReadActionExchanges) {
    sim::PtyReader reader;
    ASSERT_TRUE(reader.start());
    std::ostringstream trace;
    PosixSerialLine port;
    SteadyClock clock;
    TracingLine tracing(port, trace);
    FrmPalmota window(tracing, clock);
    window.setPortText(QString::fromStdString(reader.devicePath()));
    QTest::mouseClick(window.findChild<QPushButton*>("Command3"), Qt::LeftButton);
    EXPECT_EQ(window.findChild<QLineEdit*>("Text1")->text(), "1500");
    const std::string lines = trace.str();
    for (const char* expected : {"open ", "-> 00\n", "-> 04\n", "-> 06\n", "<- 00 02 05 DC\n"})
        EXPECT_NE(lines.find(expected), std::string::npos) << expected << " in\n" << lines;
}

}  // namespace
}  // namespace palmota::ui::testing

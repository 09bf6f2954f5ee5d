#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>

#include "app/command_line.h"
#include "tests/support/row_name.h"
#include "tests/support/signal_name.h"

namespace palmota::app {
namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the built program with `arguments`, with no display in its environment.
Outcome runWithoutDisplay(const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(PALMOTA_PROGRAM), arguments);
    Outcome run;
    if (!program.waitForFinished(10000)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(program.readAllStandardError());
    return run;
}

TEST(Program, HelpAndVersionNeedNoDisplay) {
    for (const char* spelling : {"-h", "--help"}) {
        const Outcome help = runWithoutDisplay({spelling});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_TRUE(help.out.contains("--simulate")) << help.out.toStdString();
    }
    for (const char* spelling : {"-V", "--version"}) {
        const Outcome version = runWithoutDisplay({spelling});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, "palmota " PALMOTA_VERSION "\n");
    }
}

TEST(Program, ControlCharactersInARefusedArgumentAreShownEscaped) {
    const Outcome run = runWithoutDisplay({"--\x1b]0;owned\a"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_FALSE(run.err.contains('\x1b') || run.err.contains('\a')) << run.err.toStdString();
}

// Starts `palmota --simulate` on the offscreen platform and returns what it said on
// standard error once the emulated Reader is up (or after 5 s of silence).
QString startSimulated(QProcess& program) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setReadChannel(QProcess::StandardError);
    program.start(QStringLiteral(PALMOTA_PROGRAM), {"--simulate"});
    QString err;
    if (!program.waitForStarted()) return err;
    while (!(err.contains("emulated reader") && err.endsWith('\n')) &&
           program.waitForReadyRead(5000))
        err += QString::fromLocal8Bit(program.readAllStandardError());
    return err;
}

class ProgramSignal : public ::testing::TestWithParam<int> {};

// An ending signal closes the window as the operator would, and the program ends normally.
TEST_P(ProgramSignal, ClosesTheWindowAndEndsNormally) {
    QProcess program;
    const QString err = startSimulated(program);
    ASSERT_TRUE(err.contains("emulated reader")) << err.toStdString();
    ::kill(static_cast<pid_t>(program.processId()), GetParam());
    ASSERT_TRUE(program.waitForFinished(3000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(EndingSignals, ProgramSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         testing::signalName);

TEST(Program, WithoutADisplayTellsHowToRunUnderXvfbInOneLine) {
    const Outcome run = runWithoutDisplay({"--simulate"});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("xvfb-run -a palmota --simulate")) << run.err.toStdString();
}

TEST(Program, RefusesArgumentsItDoesNotKnow) {
    for (const QStringList& arguments :
         {QStringList{"--bogus"}, QStringList{"extra"}, QStringList{"--port"},
          QStringList{"--port", "2", "--simulate"}}) {
        const Outcome run = runWithoutDisplay(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("palmota: ")) << run.err.toStdString();
    }
}

TEST(Program, SimulateStartsTheEmulatedReaderAndRunsUntilEnded) {
    QProcess program;
    const QString err = startSimulated(program);
    EXPECT_TRUE(err.contains("emulated reader on /dev/")) << err.toStdString();
    // Still there once its window is up.
    EXPECT_FALSE(program.waitForFinished(300));
    program.terminate();
    program.waitForFinished(5000);
}

TEST(CommandLine, ReadsPortAndSimulate) {
    EXPECT_EQ(parseCommandLine({"palmota", "--port", "/dev/ttyUSB0"}).portText, "/dev/ttyUSB0");
    EXPECT_EQ(parseCommandLine({"palmota", "--port=3"}).portText, "3");
    EXPECT_EQ(parseCommandLine({"palmota", "-p", "/dev/ttyS1"}).portText, "/dev/ttyS1");
    EXPECT_TRUE(parseCommandLine({"palmota", "-t"}).trace);
    const CommandLine none = parseCommandLine({"palmota"});
    EXPECT_TRUE(none.portText.isNull());
    EXPECT_FALSE(none.simulate);
    EXPECT_TRUE(none.error.isEmpty());
    EXPECT_TRUE(parseCommandLine({"palmota", "--simulate"}).simulate);
    EXPECT_TRUE(parseCommandLine({"palmota", "--simulate", "--trace"}).trace);
    EXPECT_FALSE(none.trace);
    EXPECT_FALSE(parseCommandLine({"palmota", "--port", "1", "--port", "2"}).error.isEmpty());
}

}  // namespace
}  // namespace palmota::app

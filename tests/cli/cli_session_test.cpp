// palmota-cli - fed a line at a time, as a till's script feeds it, against the emulated
// Reader on a pseudo-terminal whose faults change between commands.
#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "sim/pty_reader.h"
#include "tests/support/child_process.h"
#include "tests/support/hex.h"

namespace palmota {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::hexOf;

// Longer than any exchange of a command on the emulator, even a silent one.
constexpr auto kAnswerWithin = 10s;

class CliSessionTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(reader_.start()); }

    void start(std::vector<std::string> args, bool ignorePipeSignal = false) {
        args.insert(args.begin(), {"--port", reader_.devicePath()});
        ASSERT_TRUE(session_.start(PALMOTA_CLI, args,
                                   {.inputPipe = true, .ignorePipeSignal = ignorePipeSignal}));
    }
    std::string ask(const std::string& command) {
        EXPECT_TRUE(session_.send(command + "\n"));
        return session_.readLine(kAnswerWithin).value_or("(no answer)");
    }
    int end() {
        session_.closeInput();
        return session_.wait(kAnswerWithin).value_or(-1);
    }

    sim::PtyReader reader_;
    ChildProcess session_;
};

TEST_F(CliSessionTest, AnswersEachLineAsItCompletesOverOneOpening) {
    start({"--trace", "-"});
    EXPECT_EQ(ask("credit"), "1500");
    EXPECT_EQ(ask("write 42"), "OK");
    EXPECT_EQ(ask("serial"), "123456");
    EXPECT_EQ(ask("credit"), "42");
    EXPECT_EQ(end(), 0);
    const std::string& trace = session_.err();
    EXPECT_EQ(trace.find(" open "), trace.rfind(" open ")) << trace;
}

TEST_F(CliSessionTest, StopsAtTheFirstFailureWithNothingMoreSent) {
    sim::ReaderFaults refused;
    refused.writeRefused = true;
    reader_.setFaults(refused);
    start({"-"});
    EXPECT_EQ(ask("write 5"), "ERREUR");
    session_.send("credit\n");
    EXPECT_EQ(end(), 1);
    EXPECT_EQ(hexOf(reader_.received()), "00 07 00 05");
}

// A write whose final byte came after its limit leaves that byte waiting; the credit read
// a second later must not take it for its own reply.
TEST_F(CliSessionTest, LateFinalWriteReplyDoesNotShiftALaterRead) {
    sim::ReaderFaults late;
    late.lateWriteReply = 3500ms;
    reader_.setFaults(late);
    start({"--keep-going", "-"});
    EXPECT_EQ(ask("write 4660"), "ERREUR");
    std::this_thread::sleep_for(1s);
    reader_.setFaults({});
    EXPECT_EQ(ask("credit"), "4660");
    EXPECT_EQ(end(), 5);
}

TEST_F(CliSessionTest, LateBlockReplyDoesNotShiftALaterCreditRead) {
    sim::ReaderFaults late;
    late.lateBlockReply = 2500ms;
    reader_.setFaults(late);
    start({"--keep-going", "-"});
    EXPECT_EQ(ask("block 0"), "");
    std::this_thread::sleep_for(1s);
    reader_.setFaults({});
    EXPECT_EQ(ask("credit"), "1500");
    EXPECT_EQ(end(), 4);
}

// A port held by a run in progress is busy to probe, which then sends it nothing.
TEST_F(CliSessionTest, ProbeFindsAPortInUseBusy) {
    start({"-"});
    EXPECT_EQ(ask("credit"), "1500");
    reader_.clearLog();
    const testing::RunResult probe =
        testing::runProgram(PALMOTA_CLI, {"probe", reader_.devicePath()});
    EXPECT_EQ(probe.status, 4);
    EXPECT_EQ(probe.out.rfind(reader_.devicePath() + "\tbusy\t", 0), 0u) << probe.out;
    EXPECT_EQ(reader_.received(), "");
    EXPECT_EQ(end(), 0);
}

// Once nobody reads the answers, the run ends at once rather than sending more.
TEST_F(CliSessionTest, AClosedOutputEndsTheRun) {
    start({"--keep-going", "-"}, true);
    session_.closeOutput();
    session_.send("credit\ncredit\ncredit\n");
    EXPECT_EQ(end(), 141);
    EXPECT_EQ(hexOf(reader_.received()), "00 06");
}

// A session whose top-up went out, stopped while it waits for its next line: 130 would tell
// the till's script that nothing changed, and it would load the badge again.
TEST_F(CliSessionTest, AStopAfterAConfirmedTopupEndsTheRunWithFive) {
    start({"-"});
    EXPECT_EQ(ask("topup 5"), "serial: 123456");
    EXPECT_EQ(session_.readLine(kAnswerWithin).value_or("(no answer)"), "credit: 1500 -> 1505");
    session_.signal(SIGINT);
    EXPECT_EQ(session_.wait(kAnswerWithin).value_or(-1), 5) << session_.err();
    EXPECT_EQ(reader_.badge().credit(), 1505);
}

// The same once nobody reads the answers, after a write the Reader confirmed.
TEST_F(CliSessionTest, AClosedOutputAfterAConfirmedWriteEndsTheRunWithFive) {
    start({"--keep-going", "-"}, true);
    EXPECT_EQ(ask("write 42"), "OK");
    session_.closeOutput();
    reader_.clearLog();
    session_.send("credit\ncredit\n");
    EXPECT_EQ(end(), 5) << session_.err();
    EXPECT_EQ(hexOf(reader_.received()), "00 06");  // the first credit read, then no more
}

}  // namespace
}  // namespace palmota

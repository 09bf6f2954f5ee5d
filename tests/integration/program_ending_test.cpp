// The programs as built, started the ways a hostile caller starts them: with the standard
// streams closed, as an ordinary user interrupted mid-read, with their output closed. The
// emulated Reader runs in this process, so what reached it is known byte for byte.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim/pty_reader.h"
#include "tests/support/hex.h"
#include "tests/support/root_pty_test.h"

using namespace palmota;
using namespace palmota::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

using SteadyTime = std::chrono::steady_clock;
constexpr auto kRunLimit = 10s;

struct Start {
    bool closeStreams = false;  // descriptors 0, 1 and 2 closed
    bool otherUser = false;     // runs as kOtherUser in kOtherGroup
    bool closedOutput = false;  // standard output a pipe nobody reads
    bool inputPipe = false;     // standard input a pipe the test writes to
    bool fullOutput = false;    // standard output /dev/full, where every write fails
};

struct Child {
    pid_t pid = -1;
    int out = -1;  // its standard output, unless closed
    int in = -1;   // its standard input, with inputPipe
};

// A copy of `program` that another user may run: the build tree may sit in a folder only
// its owner can enter (a fresh clone under a 0700 temporary folder, say). The copies live
// in one folder of this process's, removed when it ends.
std::string runnableByAnyone(const std::string& program) {
    struct Folder {
        fs::path path =
            fs::temp_directory_path() / ("palmota-programs-" + std::to_string(::getpid()));
        Folder() {
            fs::create_directories(path);
            fs::permissions(path, fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
        }
        ~Folder() {
            std::error_code ignored;
            fs::remove_all(path, ignored);
        }
    };
    static const Folder folder;
    const fs::path copy = folder.path / fs::path(program).filename();
    if (!fs::exists(copy)) fs::copy_file(program, copy);
    return copy.string();
}

Child spawn(const std::string& asGiven, const std::vector<std::string>& arguments,
            const Start& how) {
    const std::string program = how.otherUser ? runnableByAnyone(asGiven) : asGiven;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    int in[2] = {-1, -1};
    if (how.inputPipe && ::pipe2(in, O_CLOEXEC) != 0) return {};
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        if (how.otherUser && !becomeOtherUser()) ::_exit(126);
        if (how.closedOutput) ::close(out[0]);
        ::dup2(out[1], STDOUT_FILENO);
        if (how.inputPipe) ::dup2(in[0], STDIN_FILENO);
        if (how.fullOutput) ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO);
        if (how.closeStreams) {
            for (int fd = 0; fd <= 2; ++fd) ::close(fd);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (how.inputPipe) ::close(in[0]);
    if (how.closedOutput) {
        ::close(out[0]);
        return {pid, -1, in[1]};
    }
    return {pid, out[0], in[1]};
}

// The raw wait status, or nothing if the child did not end within `limit`.
std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = SteadyTime::now() + limit;
    for (;;) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return status;
        if (SteadyTime::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(2ms);
    }
}

std::string readAll(int fd) {
    std::string text;
    if (fd < 0) return text;
    char buffer[512];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

struct RunResult {
    int status = -1;  // the raw wait status
    std::string out;
};

RunResult run(const std::string& program, const std::vector<std::string>& arguments,
              const Start& how = {}) {
    const Child child = spawn(program, arguments, how);
    RunResult result;
    result.out = readAll(child.out);
    result.status = waitFor(child.pid, kRunLimit).value_or(-1);
    return result;
}

bool exitedWith(int status, int code) {
    return status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == code;
}

struct ProgramEnding : RootPtyTest {
    void SetUp() override {
        RootPtyTest::SetUp();
        if (HasFatalFailure()) return;
        // Ordinary users may open this one: only locks and exclusive holds stand in the way.
        ASSERT_EQ(::chmod(pty.c_str(), 0666), 0);
    }
    // The next run, as an ordinary user, opens the port and reads the credit.
    void expectTheNextRunOpensThePort() {
        reader.setFaults({});
        const RunResult next = run(PALMOTA_CLI, {"--port", pty, "credit"}, {.otherUser = true});
        EXPECT_TRUE(exitedWith(next.status, 0)) << next.status;
        EXPECT_NE(next.out.find("1500"), std::string::npos) << next.out;
    }
};

TEST_F(ProgramEnding, WithClosedStandardStreamsTheTraceStaysOffTheLine) {
    const RunResult write =
        run(PALMOTA_CLI, {"--port", pty, "--trace", "write", "100"}, {.closeStreams = true});
    // The write was stored but its result could not be told (the output was closed): a
    // script must read the badge before anything else.
    EXPECT_TRUE(exitedWith(write.status, 5)) << write.status;
    EXPECT_EQ(hexOf(reader.received()), "00 07 00 64");
    EXPECT_EQ(reader.badge().credit(), 100);
}

TEST_F(ProgramEnding, TheEmulatorWithClosedStandardStreamsKeepsItsLogOffTheLine) {
    reader.stop();
    const fs::path link =
        fs::temp_directory_path() / ("palmota-closed-" + std::to_string(::getpid()));
    const Child sim =
        spawn(BADGE_READER_SIM, {"--verbose", "--link", link.string()}, {.closeStreams = true});
    for (int i = 0; i < 500 && !fs::is_symlink(link); ++i) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(fs::is_symlink(link));
    for (int i = 0; i < 3; ++i) {
        const RunResult credit = run(PALMOTA_CLI, {"--port", link.string(), "read"});
        EXPECT_EQ(credit.out, "serial: 123456\ncredit: 1500\n") << i;
    }
    ::kill(sim.pid, SIGTERM);
    EXPECT_TRUE(exitedWith(waitFor(sim.pid, 2s).value_or(-1), 0));
    ::close(sim.out);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

// An output every write to fails is no success, whatever the program had to say.
TEST_F(ProgramEnding, AnOutputThatCannotBeWrittenIsAFailure) {
    for (const char* program : {PALMOTA_CLI, BADGE_READER_SIM}) {
        for (const char* option : {"--help", "--version"}) {
            const RunResult shown = run(program, {option}, {.fullOutput = true});
            EXPECT_TRUE(exitedWith(shown.status, 141)) << program << ' ' << option;
        }
    }
    const RunResult credit = run(PALMOTA_CLI, {"--port", pty, "credit"}, {.fullOutput = true});
    EXPECT_TRUE(exitedWith(credit.status, 141)) << credit.status;
}

class ProgramSignal : public ProgramEnding, public ::testing::WithParamInterface<int> {};

TEST_P(ProgramSignal, InterruptedMidReadTheCliReleasesThePortWithinTheExchangeLimit) {
    sim::ReaderFaults slow;
    slow.replyDelay = 300ms;
    reader.setFaults(slow);
    const Child cli = spawn(PALMOTA_CLI, {"--port", pty, "dump"}, {.otherUser = true});
    // Into the dump: the port is open, the Reader's answers are on their way.
    std::this_thread::sleep_for(450ms);
    const auto signalled = SteadyTime::now();
    ::kill(cli.pid, GetParam());
    const auto status = waitFor(cli.pid, 5s);
    readAll(cli.out);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_TRUE(exitedWith(*status, 130)) << "status " << WEXITSTATUS(*status);  // stopped
    // The block exchanges wait at most 3 s; with replies 300 ms late, far less.
    EXPECT_LT(SteadyTime::now() - signalled, 1s);
    expectTheNextRunOpensThePort();
}

// Cut after 07, the write would leave the Reader waiting for its amount, and the next
// program's ready checks (00 00) would be stored as the credit.
TEST_P(ProgramSignal, BetweenTheWriteCommandAndItsAmountTheWriteRunsToItsEnd) {
    sim::ReaderFaults slow;
    slow.replyDelay = 300ms;
    reader.setFaults(slow);
    const Child cli = spawn(PALMOTA_CLI, {"--port", pty, "write", "1900"}, {});
    // 07 left at 300 ms; its acknowledgement comes at 600 ms, the amount goes after it.
    std::this_thread::sleep_for(450ms);
    ::kill(cli.pid, GetParam());
    const auto status = waitFor(cli.pid, 5s);
    EXPECT_EQ(readAll(cli.out), "OK\n");
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status);
    EXPECT_EQ(hexOf(reader.received()), "00 07 07 6C");
    EXPECT_EQ(reader.badge().credit(), 1900);
    reader.setFaults({});
    const RunResult next = run(PALMOTA_CLI, {"--port", pty, "credit"});
    EXPECT_EQ(next.out, "1900\n");
}

TEST_P(ProgramSignal, WaitingForItsNextCommandTheCliEndsAtOnce) {
    // A session on standard input, its caller silent after one command.
    const Child cli = spawn(PALMOTA_CLI, {"--port", pty, "-"}, {.inputPipe = true});
    const std::string command = "credit\n";
    ASSERT_EQ(::write(cli.in, command.data(), command.size()),
              static_cast<ssize_t>(command.size()));
    std::this_thread::sleep_for(300ms);
    const auto signalled = SteadyTime::now();
    ::kill(cli.pid, GetParam());
    const auto status = waitFor(cli.pid, 5s);
    EXPECT_EQ(readAll(cli.out), "1500\n");
    ::close(cli.in);
    ASSERT_TRUE(status);
    EXPECT_TRUE(exitedWith(*status, 130)) << *status;
    EXPECT_LT(SteadyTime::now() - signalled, 500ms);
    EXPECT_EQ(hexOf(reader.received()), "00 06");  // nothing after the signal
}

INSTANTIATE_TEST_SUITE_P(EndingSignals, ProgramSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& row) { return std::string(sigabbrev_np(row.param)); });

TEST_F(ProgramEnding, AClosedOutputEndsTheCliWithThePortReleased) {
    const RunResult dump =
        run(PALMOTA_CLI, {"--port", pty, "dump"}, {.otherUser = true, .closedOutput = true});
    EXPECT_TRUE(WIFEXITED(dump.status)) << "ended by signal " << WTERMSIG(dump.status);
    expectTheNextRunOpensThePort();
}

}  // namespace

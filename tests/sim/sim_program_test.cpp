// badge-reader-sim run as a user runs it: the device path first, served until a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/child_process.h"
#include "tests/support/row_name.h"
#include "tests/support/signal_name.h"

namespace palmota {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::runProgram;

constexpr auto kStartLimit = 5s;
// Stopping is waking a thread and joining it: well under this.
constexpr auto kPromptExit = 1s;

std::filesystem::path scratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "palmota-sim-XXXXXX").string();
    const char* made = ::mkdtemp(pattern.data());
    return made ? std::filesystem::path(made) : std::filesystem::path();
}

bool exists(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

class SimProgramSignal : public ::testing::TestWithParam<int> {};

TEST_P(SimProgramSignal, ServesOnTheFirstLinesPathAndEndsCleanly) {
    const auto dir = scratchDirectory();
    ASSERT_FALSE(dir.empty());
    const std::string link = (dir / "reader").string();

    ChildProcess sim;
    ASSERT_TRUE(sim.start(BADGE_READER_SIM, {"--credit", "321", "--link", link}));
    const auto first = sim.readLine(kStartLimit);
    ASSERT_TRUE(first) << sim.err();
    EXPECT_EQ(*first, link);

    // The path works as a port, and the badge is the one the options set.
    const auto run = runProgram(PALMOTA_CLI, {"--port", *first, "read"});
    EXPECT_EQ(run.out, "serial: 123456\ncredit: 321\n");
    EXPECT_EQ(run.status, 0) << run.err;

    sim.signal(GetParam());
    EXPECT_EQ(sim.wait(kPromptExit), std::optional<int>(0)) << sim.err();
    EXPECT_FALSE(exists(link));  // the fixed name does not outlive the emulator
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(EndingSignals, SimProgramSignal, ::testing::Values(SIGINT, SIGTERM),
                         testing::signalName);

TEST(SimProgram, LinkNeverReplacesAnExistingFile) {
    const auto dir = scratchDirectory();
    ASSERT_FALSE(dir.empty());
    const auto file = dir / "notes.txt";
    std::ofstream(file) << "keep me\n";

    const auto run = runProgram(BADGE_READER_SIM, {"--link", file.string()}, 5s);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "keep me");
    std::filesystem::remove_all(dir);
}

TEST(SimProgram, ASecondEmulatorNeverTakesALiveOnesLink) {
    const auto dir = scratchDirectory();
    ASSERT_FALSE(dir.empty());
    const std::string link = (dir / "reader").string();
    ChildProcess first;
    ASSERT_TRUE(first.start(BADGE_READER_SIM, {"--credit", "1", "--link", link}));
    ASSERT_TRUE(first.readLine(kStartLimit));

    const auto second = runProgram(BADGE_READER_SIM, {"--credit", "2", "--link", link}, 5s);
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.err.find("running emulator"), std::string::npos) << second.err;
    // The link still leads to the first, and outlived the second.
    EXPECT_EQ(runProgram(PALMOTA_CLI, {"--port", link, "credit"}).out, "1\n");

    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(kPromptExit), std::optional<int>(0));
    std::filesystem::remove_all(dir);
}

TEST(SimProgram, AKilledEmulatorsLinkLeadsNowhereAndTheNextOneTakesItOver) {
    const auto dir = scratchDirectory();
    ASSERT_FALSE(dir.empty());
    const std::string link = (dir / "reader").string();
    {
        ChildProcess killed;
        ASSERT_TRUE(killed.start(BADGE_READER_SIM, {"--link", link}));
        ASSERT_TRUE(killed.readLine(kStartLimit));
        killed.signal(SIGKILL);
        killed.wait(kPromptExit);
    }
    ASSERT_TRUE(exists(link));  // left behind
    const auto lost = runProgram(PALMOTA_CLI, {"--port", link, "write", "4660"});
    EXPECT_NE(lost.status, 0);
    EXPECT_NE(lost.err.find("no such serial device"), std::string::npos) << lost.err;

    ChildProcess next;
    ASSERT_TRUE(next.start(BADGE_READER_SIM, {"--credit", "7", "--link", link}));
    ASSERT_TRUE(next.readLine(kStartLimit)) << next.err();
    EXPECT_EQ(runProgram(PALMOTA_CLI, {"--port", link, "credit"}).out, "7\n");
    next.signal(SIGTERM);
    EXPECT_EQ(next.wait(kPromptExit), std::optional<int>(0));
    std::filesystem::remove_all(dir);
}

TEST(SimProgram, TellsItsVersionAndEscapesControlCharactersInUsageErrors) {
    const auto version = runProgram(BADGE_READER_SIM, {"--version"}, 5s);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "badge-reader-sim " PALMOTA_VERSION "\n");
    const auto refused = runProgram(BADGE_READER_SIM, {"--credit", "\x1b[2J\a"}, 5s);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err.find_first_of("\x1b\a"), std::string::npos) << refused.err;
}

TEST(SimProgram, VerboseLogsTheBytesOfEachExchange) {
    ChildProcess sim;
    ASSERT_TRUE(sim.start(BADGE_READER_SIM, {"--verbose"}));
    const auto path = sim.readLine(kStartLimit);
    ASSERT_TRUE(path);
    ASSERT_EQ(runProgram(PALMOTA_CLI, {"--port", *path, "credit"}).status, 0);
    sim.signal(SIGTERM);
    ASSERT_EQ(sim.wait(kPromptExit), std::optional<int>(0));
    EXPECT_NE(sim.err().find(" ms  <- 06\n"), std::string::npos) << sim.err();
    EXPECT_NE(sim.err().find(" ms  -> 00 02 05 DC\n"), std::string::npos) << sim.err();
}

}  // namespace
}  // namespace palmota

#include "sim/pty_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/memory_measure.h"

namespace palmota::sim {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kReplyWait = 500ms;  // far beyond any reply the emulator schedules at once

// The host's side, as a plain POSIX program sees it.
class Client {
  public:
    explicit Client(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd_ < 0) return;
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
    ~Client() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    void send(const std::string& bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Up to `count` bytes, or fewer when `wait` passes first.
    std::string receive(std::size_t count, std::chrono::milliseconds wait = kReplyWait) {
        std::string got;
        const auto deadline = Clock::now() + wait;
        while (got.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd p{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            if (!(p.revents & POLLIN)) break;
            char buffer[64];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    // True when the line hangs up within `wait`, and a read then delivers nothing.
    bool hungUp(std::chrono::milliseconds wait = kReplyWait) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) <= 0) return false;
        if (!(p.revents & (POLLHUP | POLLERR))) return false;
        char byte;
        return ::read(fd_, &byte, 1) <= 0;
    }

  private:
    int fd_ = -1;
};

std::string tempDir() {
    std::string pattern = ::testing::TempDir() + "palmota-sim-XXXXXX";
    return ::mkdtemp(pattern.data()) ? pattern : std::string{};
}

// Where the link leads, every link followed; empty when it leads nowhere.
std::string linkTarget(const std::string& link) {
    char target[PATH_MAX] = {};
    return ::realpath(link.c_str(), target) ? std::string(target) : std::string{};
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds wait = kReplyWait) {
    const auto deadline = Clock::now() + wait;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(PtyReader, AnswersARawClientAndLogsBothWays) {
    PtyReader reader;
    std::mutex linesMutex;
    std::vector<std::string> lines;
    reader.setLogger([&](const std::string& line) {
        std::lock_guard lock(linesMutex);
        lines.push_back(line);
    });
    std::string error;
    ASSERT_TRUE(reader.start(&error)) << error;
    EXPECT_EQ(reader.devicePath(), reader.ptyPath());

    Client client(reader.devicePath());
    ASSERT_TRUE(client.isOpen());
    client.send(std::string(1, '\0'));
    EXPECT_EQ(client.receive(1), std::string(1, '\0'));
    client.send("\x06");
    EXPECT_EQ(client.receive(4), std::string("\x00\x02\x05\xDC", 4));

    EXPECT_EQ(reader.received(), std::string("\x00\x06", 2));
    EXPECT_EQ(reader.sent(), std::string("\x00\x00\x02\x05\xDC", 5));
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(linesMutex);
        return lines.size() >= 4;
    }));
    std::lock_guard lock(linesMutex);
    EXPECT_EQ(lines, (std::vector<std::string>{"<- 00", "-> 00", "<- 06", "-> 00 02 05 DC"}));
}

TEST(PtyReader, HostMayCloseAndReopenTheLine) {
    PtyReader reader;
    ASSERT_TRUE(reader.start());
    { Client first(reader.devicePath()); }
    Client again(reader.devicePath());
    ASSERT_TRUE(again.isOpen());
    again.send(std::string(1, '\0'));
    EXPECT_EQ(again.receive(1), std::string(1, '\0'));
}

TEST(PtyReader, IdlesWithoutSpinningWhileNoHostHasTheLineOpen) {
    PtyReader reader;
    ASSERT_TRUE(reader.start());
    { Client opensAndCloses(reader.devicePath()); }
    const std::clock_t cpuBefore = std::clock();
    std::this_thread::sleep_for(50ms);
    const auto cpuSpent = std::chrono::duration<double>(
        static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC);
    EXPECT_LT(cpuSpent, 10ms);
}

TEST(PtyReader, ReplyDelayHoldsTheReplyBack) {
    ReaderFaults faults;
    faults.replyDelay = 60ms;
    PtyReader reader(VirtualBadge::sample(), faults);
    ASSERT_TRUE(reader.start());
    Client client(reader.devicePath());
    const auto sentAt = Clock::now();
    client.send(std::string(1, '\0'));
    EXPECT_EQ(client.receive(1), std::string(1, '\0'));
    EXPECT_GE(Clock::now() - sentAt, 60ms);
}

TEST(PtyReader, UnplugHangsUpTheHostAndReplugMovesTheLink) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/reader";
    {
        PtyReader reader;
        ASSERT_TRUE(reader.setLinkPath(link));
        ASSERT_TRUE(reader.start());
        const std::string firstPty = reader.ptyPath();
        EXPECT_EQ(reader.devicePath(), link);
        EXPECT_EQ(linkTarget(link), firstPty);

        Client client(link);
        ASSERT_TRUE(client.isOpen());
        reader.unplug();
        EXPECT_FALSE(reader.plugged());
        EXPECT_TRUE(client.hungUp());
        EXPECT_FALSE(exists(link));  // gone like the node of a pulled-out adapter

        std::string error;
        ASSERT_TRUE(reader.replug(&error)) << error;
        EXPECT_TRUE(reader.plugged());
        EXPECT_NE(reader.ptyPath(), firstPty);
        EXPECT_EQ(linkTarget(link), reader.ptyPath());
        Client second(link);
        ASSERT_TRUE(second.isOpen());
        second.send("\x06");
        EXPECT_EQ(second.receive(4), std::string("\x00\x02\x05\xDC", 4));
    }
    EXPECT_FALSE(exists(link));
    ::rmdir(dir.c_str());
}

int openFileHandles() {
    int count = 0;
    for (int fd = 0; fd < 1024; ++fd) count += ::fcntl(fd, F_GETFD) != -1;
    return count;
}

TEST(PtyReader, ReleasesEveryFileHandleAcrossUnplugsAndStop) {
    const int before = openFileHandles();
    {
        PtyReader reader;
        ASSERT_TRUE(reader.start());
        for (int i = 0; i < 3; ++i) {
            reader.unplug();
            ASSERT_TRUE(reader.replug());
        }
        reader.stop();
        EXPECT_EQ(openFileHandles(), before + 1);  // the wake-up eventfd lives on
    }
    EXPECT_EQ(openFileHandles(), before);
}

TEST(PtyReader, UnplugsItselfAfterTheSetNumberOfBytes) {
    ReaderFaults faults;
    faults.unplugAfterBytes = 2;
    PtyReader reader(VirtualBadge::sample(), faults);
    ASSERT_TRUE(reader.start());
    Client client(reader.devicePath());
    client.send("\x06");
    EXPECT_EQ(client.receive(4), std::string("\x00\x02\x05\xDC", 4));
    EXPECT_TRUE(reader.plugged());
    client.send(std::string(1, '\0'));
    EXPECT_TRUE(client.hungUp());
    EXPECT_EQ(reader.received(), std::string("\x06\x00", 2));
    EXPECT_FALSE(reader.plugged());
    EXPECT_EQ(reader.faults().unplugAfterBytes, -1);  // fired once; a replug stays plugged
}

TEST(PtyReader, NoiseInjectedBeforeTheHostOpensWaitsOnTheLine) {
    PtyReader reader;
    ASSERT_TRUE(reader.start());
    const std::string noise("\xAA\x00\x55", 3);
    reader.injectNoise(noise);
    ASSERT_TRUE(eventually([&] { return reader.sent() == noise; }));
    Client client(reader.devicePath());
    EXPECT_EQ(client.receive(3), noise);
}

TEST(PtyReader, FloodFollowsTheReadyReplyAndPrecedesLaterReplies) {
    ReaderFaults faults;
    faults.floodBytes = 100'000;
    PtyReader reader(VirtualBadge::sample(), faults);
    ASSERT_TRUE(reader.start());
    Client client(reader.devicePath());
    client.send(std::string(1, '\0') + "\x06");
    const std::string got = client.receive(1 + faults.floodBytes + 4);
    EXPECT_EQ(got, std::string(1, '\0') + std::string(faults.floodBytes, '\x55') +
                       std::string("\x00\x02\x05\xDC", 4));
}

TEST(PtyReader, StopsPromptlyWhileTheHostIgnoresAFlood) {
    ReaderFaults faults;
    faults.floodBytes = std::size_t{1} << 30;
    PtyReader reader(VirtualBadge::sample(), faults);
    ASSERT_TRUE(reader.start());
    Client client(reader.devicePath());
    client.send(std::string(1, '\0'));
    EXPECT_EQ(client.receive(8), std::string(1, '\0') + std::string(7, '\x55'));
    std::this_thread::sleep_for(30ms);  // long enough for the pty to fill up

    const auto before = Clock::now();
    reader.stop();
    EXPECT_LT(Clock::now() - before, 100ms);
    EXPECT_EQ(reader.sent(), std::string(1, '\0'));  // the flood is not kept in the log
    EXPECT_FALSE(reader.plugged());
}

// A link that leads to a descriptor of a process that has ended, as a killed emulator
// leaves behind.
std::string deadProcessDescriptor() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return "/proc/" + std::to_string(child) + "/fd/5";
}

// The first line of a regular file; nothing for anything else (a pty would block).
std::string fileText(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

struct LinkCase {
    const char* name;
    std::function<void(const std::string& path)> make;  // what is at the path before
    bool replaced;
};

void PrintTo(const LinkCase& row, std::ostream* out) {
    *out << row.name;
}

class PtyReaderLink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(PtyReaderLink, ReplacesOnlyTheLeftoverOfAnEmulatorThatEnded) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/reader";
    GetParam().make(link);
    std::string before;
    {
        struct stat info {};
        if (::lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
            char text[PATH_MAX] = {};
            ::readlink(link.c_str(), text, sizeof text - 1);
            before = text;
        }
    }
    EXPECT_EQ(PtyReader::linkRefusal(link).empty(), GetParam().replaced);
    {
        // Judged again where the link is put in place, whatever was said before.
        PtyReader reader;
        ASSERT_TRUE(reader.setLinkPath(link));
        std::string error;
        EXPECT_EQ(reader.start(&error), GetParam().replaced) << error;
        if (GetParam().replaced) {
            EXPECT_EQ(linkTarget(link), reader.ptyPath());
        } else {
            EXPECT_NE(error.find(link), std::string::npos) << error;
        }
    }
    if (!GetParam().replaced) {
        // What was there is there still, untouched, and no temporary name is left over.
        char text[PATH_MAX] = {};
        if (!before.empty()) {
            ASSERT_GT(::readlink(link.c_str(), text, sizeof text - 1), 0);
            EXPECT_EQ(std::string(text), before);
        }
        EXPECT_TRUE(exists(link));
    } else {
        EXPECT_FALSE(exists(link));
    }
    ASSERT_EQ(std::system(("test $(ls -A " + dir + " | wc -l) -le 1").c_str()), 0);
    std::system(("rm -rf " + dir).c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Leftovers, PtyReaderLink,
    ::testing::Values(
        LinkCase{"nothing", [](const std::string&) {}, true},
        LinkCase{
            "killed_emulators_link",
            [](const std::string& p) { ::symlink(deadProcessDescriptor().c_str(), p.c_str()); },
            true},
        LinkCase{"users_own_link_to_a_pty",
                 [](const std::string& p) { ::symlink("/dev/pts/4095", p.c_str()); }, false},
        LinkCase{"regular_file", [](const std::string& p) { std::ofstream(p) << "keep me\n"; },
                 false},
        LinkCase{"directory", [](const std::string& p) { ::mkdir(p.c_str(), 0700); }, false},
        LinkCase{"escape_from_the_pty_directory",
                 [](const std::string& p) { ::symlink("/dev/pts/../../etc/passwd", p.c_str()); },
                 false},
        LinkCase{"link_to_a_file",
                 [](const std::string& p) { ::symlink("/etc/passwd", p.c_str()); }, false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(PtyReader, NeverTakesOverALinkALiveEmulatorServesNorRemovesIt) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/reader";
    PtyReader first;
    ASSERT_TRUE(first.setLinkPath(link));
    ASSERT_TRUE(first.start());
    EXPECT_NE(PtyReader::linkRefusal(link), "");
    {
        PtyReader second;
        ASSERT_TRUE(second.setLinkPath(link));
        std::string error;
        EXPECT_FALSE(second.start(&error));
        EXPECT_NE(error.find("running emulator"), std::string::npos) << error;
    }
    EXPECT_EQ(linkTarget(link), first.ptyPath());
    first.stop();
    EXPECT_FALSE(exists(link));
    ::rmdir(dir.c_str());
}

TEST(PtyReader, AFileMadeAfterTheLinkWasChosenIsNeverReplaced) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/reader";
    PtyReader reader;
    ASSERT_TRUE(reader.setLinkPath(link));
    std::ofstream(link) << "made in between\n";
    EXPECT_FALSE(reader.start());
    EXPECT_EQ(fileText(link), "made in between");
    std::system(("rm -rf " + dir).c_str());
}

TEST(PtyReader, ALinkLeftByAKilledEmulatorLeadsNowhere) {
    const std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/reader";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        PtyReader reader;
        const bool started = reader.setLinkPath(link) && reader.start();
        const char byte = started ? 1 : 0;
        [[maybe_unused]] auto n = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 1);
    ASSERT_NE(linkTarget(link), "");
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);

    // A terminal that the system may give the freed pty number to: the link does not lead
    // there, nor anywhere else.
    PtyReader otherProgramsTerminal;
    ASSERT_TRUE(otherProgramsTerminal.start());
    EXPECT_EQ(linkTarget(link), "");
    EXPECT_LT(::open(link.c_str(), O_RDWR | O_NOCTTY), 0);
    std::system(("rm -rf " + dir).c_str());
}

// A day of continuous reading is about 100,000 exchanges: the logs keep the latest
// traffic only, and the emulator's memory stays where it was.
TEST(PtyReader, MemoryStaysFlatOverAHundredThousandExchanges) {
    constexpr int kExchanges = 100'000;
    constexpr std::size_t kMostKeptPerLog = 128 * 1024;
    PtyReader reader;
    ASSERT_TRUE(reader.start());
    Client client(reader.devicePath());
    // A block read: ready check 00 -> 00, 04 -> 00, block 0 -> 17 bytes.
    const std::string exchange("\x00\x04\x00", 3);
    constexpr std::size_t kReplySize = 1 + 1 + 17;
    constexpr int kBatch = 50;
    std::string batch;
    for (int i = 0; i < kBatch; ++i) batch += exchange;

    const long residentBefore = testing::statusKb("VmRSS");
    for (int done = 0; done < kExchanges; done += kBatch) {
        client.send(batch);
        ASSERT_EQ(client.receive(kBatch * kReplySize).size(), kBatch * kReplySize) << done;
    }
    const long residentGrowthKb = testing::statusKb("VmRSS") - residentBefore;

    EXPECT_LE(reader.received().size(), kMostKeptPerLog);
    EXPECT_LE(reader.sent().size(), kMostKeptPerLog);
    // The latest traffic is what is kept.
    EXPECT_EQ(reader.received().substr(reader.received().size() - 3), exchange);
    // Unbounded, the logs alone would take 2.2 MB (300 kB received, 1.9 MB sent).
    if (testing::kResidentMemoryIsMeaningful) {
        EXPECT_LT(residentGrowthKb, 1024);
    }
    std::cout << "emulator resident growth over " << kExchanges
              << " exchanges: " << residentGrowthKb << " kB\n";
}

}  // namespace
}  // namespace palmota::sim

#include "sim/pty_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

std::string linkTarget(const std::string& link) {
    char target[PATH_MAX] = {};
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string{};
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

}  // namespace
}  // namespace palmota::sim

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "reader/palmota.h"
#include "reader/posix_serial_line.h"
#include "reader/protocol.h"
#include "reader/reader_link.h"
#include "sim/pty_reader.h"
#include "tests/support/hex.h"
#include "tests/support/root_pty_test.h"

using namespace palmota;
using namespace palmota::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct ReaderOnPty : ::testing::Test {
    sim::PtyReader reader;
    PosixSerialLine line;
    SteadyClock clock;
    std::string chooser;
    ReaderLink readerLink{line, clock, [this] { return chooser; }};
    Palmota link{readerLink};

    void SetUp() override {
        std::string error;
        ASSERT_TRUE(reader.start(&error)) << error;
        chooser = reader.devicePath();
    }
    void setFaults(const std::function<void(sim::ReaderFaults&)>& change) {
        sim::ReaderFaults f = reader.faults();
        change(f);
        reader.setFaults(f);
    }
    Seconds timed(const std::function<void()>& operation) {
        const Seconds start = clock.now();
        operation();
        return clock.now() - start;
    }
};

fs::path scratchPath(const std::string& name) {
    return fs::temp_directory_path() / ("palmota-test-" + std::to_string(::getpid()) + "-" + name);
}

}  // namespace

TEST_F(ReaderOnPty, LireBadgeReadsSerialThenCredit) {
    EXPECT_EQ(link.ReadSerialNumber(), "123456");
    EXPECT_EQ(link.ReadCredit(), "1500");
    EXPECT_EQ(hexOf(reader.received()), "00 04 00 00 06");
}

TEST_F(ReaderOnPty, AWrittenCreditReadsBack) {
    EXPECT_EQ(link.WriteCredit("4242"), "OK");
    EXPECT_EQ(hexOf(reader.received()), "00 07 10 92");
    EXPECT_EQ(reader.badge().credit(), 4242);
    EXPECT_EQ(link.ReadCredit(), "4242");
    EXPECT_EQ(link.WriteCredit("65535"), "OK");
    EXPECT_EQ(link.ReadCredit(), "65535");
}

TEST_F(ReaderOnPty, DumpReadsEachBlockWithEveryByteIntact) {
    const sim::VirtualBadge badge = reader.badge();
    std::string expectedOnLine;
    for (std::int32_t n = 0; n < 8; ++n) {
        const std::string reply = link.ReadBlock(n);
        ASSERT_EQ(reply.size(), 17u) << n;
        const auto& block = badge.blocks[static_cast<std::size_t>(n)];
        EXPECT_EQ(reply.substr(1), std::string(block.begin(), block.end())) << n;
        expectedOnLine += hex("00 04") + static_cast<char>(n);
    }
    EXPECT_EQ(reader.received(), expectedOnLine);
}

TEST_F(ReaderOnPty, NoiseOnTheLineBeforeTheOpeningIsDiscarded) {
    // Looks like a ready answer and a credit of 65535 if it were taken for a reply.
    reader.injectNoise(hex("00 00 02 FF FF"));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(link.ReadCredit(), "1500");
}

TEST_F(ReaderOnPty, RepliesSplitInTwoAreJoined) {
    setFaults([](sim::ReaderFaults& f) { f.splitGap = 200ms; });
    EXPECT_EQ(link.ReadSerialNumber(), "123456");
    EXPECT_EQ(link.ReadCredit(), "1500");
}

TEST_F(ReaderOnPty, SilentReaderFailsJustAfterTheReadyCheckLimit) {
    setFaults([](sim::ReaderFaults& f) { f.silent = true; });
    const Seconds took = timed([&] { EXPECT_EQ(link.ReadSerialNumber(), "ERREUR"); });
    EXPECT_GT(took, Seconds{1s});
    EXPECT_LT(took, Seconds{1s} + 100ms);
    EXPECT_TRUE(line.isOpen());
}

TEST_F(ReaderOnPty, AReaderPulledOutAndPluggedBackWorksWithoutARestart) {
    const fs::path link_ = scratchPath("reader");
    ASSERT_TRUE(reader.setLinkPath(link_.string()));
    chooser = link_.string();
    EXPECT_EQ(link.ReadCredit(), "1500");

    // Pulled out in the middle of a block read: after 00 and 04, before the block number.
    setFaults([](sim::ReaderFaults& f) { f.unplugAfterBytes = 2; });
    reader.clearLog();
    const Seconds took = timed([&] { EXPECT_EQ(link.ReadSerialNumber(), ""); });
    EXPECT_LT(took, Seconds{1s});
    EXPECT_EQ(link.ReadCredit(), "");  // not ready: the port is closed
    EXPECT_FALSE(line.isOpen());

    setFaults([](sim::ReaderFaults& f) { f.unplugAfterBytes = -1; });
    ASSERT_TRUE(reader.replug());
    EXPECT_EQ(link.ReadSerialNumber(), "123456");
    EXPECT_EQ(link.ReadCredit(), "1500");
}

TEST_F(ReaderOnPty, APortInUseByAnotherProgramIsReportedAsBusy) {
    PosixSerialLine other;
    ASSERT_TRUE(other.open(reader.devicePath()));
    EXPECT_EQ(link.ReadSerialNumber(), "ERREUR");
    const Outcome& busy = link.lastOutcome();
    EXPECT_EQ(busy.device, reader.devicePath());
    EXPECT_EQ(busy.openError.kind, OpenError::Kind::Busy) << busy.openError.reason;
    other.close();
    EXPECT_EQ(link.ReadSerialNumber(), "123456");
}

TEST_F(ReaderOnPty, WhatIsNotASerialDeviceIsRefusedUntouched) {
    const fs::path file = scratchPath("file");
    const std::string content = "keep me exactly as I am\n";
    std::ofstream(file) << content;
    const fs::path dir = scratchPath("dir");
    fs::create_directory(dir);

    for (const std::string& port : {file.string(), dir.string(), std::string("/dev/null"),
                                    std::string("/dev/zero"), scratchPath("missing").string()}) {
        chooser = port;
        std::vector<Outcome> errors;
        const Seconds took = timed([&] {
            EXPECT_EQ(link.ReadSerialNumber(), "ERREUR") << port;
            errors.push_back(link.lastOutcome());
            EXPECT_EQ(link.WriteCredit("12"), "ERREUR") << port;
            errors.push_back(link.lastOutcome());
            EXPECT_EQ(link.ReadCredit(), "") << port;
            errors.push_back(link.lastOutcome());
        });
        EXPECT_LT(took, Seconds{100ms}) << port;
        for (const Outcome& error : errors) {
            EXPECT_EQ(error.device, port);
            EXPECT_EQ(error.cause, Cause::PortUnavailable);
        }
    }
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
    fs::remove(file);
    fs::remove(dir);

    // And the next, correct choice works.
    chooser = reader.devicePath();
    EXPECT_EQ(link.ReadCredit(), "1500");
    EXPECT_EQ(reader.received(), hex("00 06"));
}

TEST_F(ReaderOnPty, AFloodingReaderKeepsTheReceiveBufferBounded) {
    setFaults([](sim::ReaderFaults& f) { f.floodBytes = std::size_t{64} << 20; });
    const Seconds took = timed([&] {
        const std::string serial = link.ReadSerialNumber();
        // Whatever the garbage decodes to, it is one of the texts a read can give.
        EXPECT_TRUE(serial.empty() || serial.find_first_not_of("-0123456789") == std::string::npos)
            << serial;
    });
    EXPECT_LT(took, Seconds{6s});
    EXPECT_LE(line.bytesWaiting(), protocol::kReceiveBufferSize);
    EXPECT_LE(line.readAll().size(), std::size_t{protocol::kReceiveBufferSize});
}

TEST_F(ReaderOnPty, PermissionDeniedNamesTheGroupThatOwnsTheDevice) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user";
    // A pty's host side is its owner's and its group's only: another user is refused.
    struct stat info {};
    ASSERT_EQ(::stat(reader.ptyPath().c_str(), &info), 0);
    const struct group* owner = ::getgrgid(info.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string group = owner->gr_name;
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (!becomeOtherUser()) ::_exit(3);
        PosixSerialLine other;
        const bool opened = other.open(reader.ptyPath());
        const OpenError error = other.openError();
        const std::string why = std::to_string(static_cast<int>(error.kind)) + ":" + error.group;
        (void)!::write(out[1], why.data(), why.size());
        ::_exit(opened ? 1 : 0);
    }
    ::close(out[1]);
    std::string why;
    char buf[256];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) why.append(buf, std::size_t(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << why;
    // The group is named only when it may read and write the device; a pty's group (tty)
    // may only write to it, so the device is its owner's alone.
    const bool groupMayUse = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    EXPECT_EQ(why, std::to_string(static_cast<int>(OpenError::Kind::PermissionDenied)) + ":" +
                       (groupMayUse ? group : std::string()));
}

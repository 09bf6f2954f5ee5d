// Why a port does not open, told as the system has it, and the devices never to be
// opened as a port: the real QSerialPort path against the emulated Reader on a pty.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "reader/palmota.h"
#include "reader/posix_device_checks.h"
#include "reader/posix_serial_line.h"
#include "reader/reader_link.h"
#include "sim/pty_reader.h"
#include "tests/support/hex.h"
#include "tests/support/root_pty_test.h"

using namespace palmota;
using namespace palmota::testing;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Runs `body` in a child process, as another user when `otherUser`, and returns what it
// said. Tests run as root in CI: dropping to an ordinary user is what makes permissions
// and exclusive holds count.
std::string inChild(const std::function<std::string()>& body, bool otherUser = true) {
    int out[2];
    if (::pipe(out) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (otherUser && !becomeOtherUser()) ::_exit(3);
        const std::string said = body();
        (void)!::write(out[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
    return said;
}

std::string kindName(OpenError::Kind kind) {
    switch (kind) {
        case OpenError::Kind::BadName:
            return "bad-name";
        case OpenError::Kind::NoSuchDevice:
            return "no-such-device";
        case OpenError::Kind::PermissionDenied:
            return "permission-denied";
        case OpenError::Kind::Busy:
            return "busy";
        case OpenError::Kind::NotASerialDevice:
            return "not-a-serial-device";
        case OpenError::Kind::Other:
            break;
    }
    return "other";
}

// "opened", or the kind, the group and the reason the line gives.
std::string openOutcome(const std::string& device) {
    PosixSerialLine line;
    if (line.open(device)) return "opened";
    const OpenError e = line.openError();
    return kindName(e.kind) + "|" + e.group + "|" + e.reason;
}

struct OpenErrors : RootPtyTest {
    fs::path scratch(const std::string& name) {
        return fs::temp_directory_path() /
               ("palmota-open-" + std::to_string(::getpid()) + "-" + name);
    }
};

struct ModeCase {
    const char* name;
    mode_t mode;
    bool groupNamed;  // the device's group is named as the one to join
};

void PrintTo(const ModeCase& row, std::ostream* out) {
    *out << row.name;
}

class DeviceModes : public OpenErrors, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(DeviceModes, PermissionIsToldAsPermissionNamingAGroupOnlyWhenItMayUseTheDevice) {
    ASSERT_EQ(::chmod(pty.c_str(), GetParam().mode), 0);
    struct stat info {};
    ASSERT_EQ(::stat(pty.c_str(), &info), 0);
    const struct group* owner = ::getgrgid(info.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string said = inChild([&] { return openOutcome(pty); });
    EXPECT_EQ(said.substr(0, said.rfind('|')),
              "permission-denied|" + (GetParam().groupNamed ? std::string(owner->gr_name) : ""))
        << said;
    ::chmod(pty.c_str(), 0620);
}

INSTANTIATE_TEST_SUITE_P(Modes, DeviceModes,
                         ::testing::Values(ModeCase{"private", 0600, false},
                                           ModeCase{"group_may_only_write", 0620, false},
                                           ModeCase{"group_may_use", 0660, true},
                                           ModeCase{"read_only_for_all", 0644, false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(OpenErrors, APortHeldByAnotherProgramIsBusy) {
    ASSERT_EQ(::chmod(pty.c_str(), 0666), 0);
    PosixSerialLine holder;
    ASSERT_TRUE(holder.open(pty));
    const std::string said = inChild([&] { return openOutcome(pty); });
    EXPECT_EQ(said.substr(0, said.find('|')), "busy") << said;
    holder.close();
    EXPECT_EQ(inChild([&] { return openOutcome(pty); }), "opened");
}

// Root passes a device's exclusive hold, and the serial library's lock file is named
// after the name typed: only a lock on the device itself keeps two names of one device
// from being used at once.
struct NameCase {
    const char* name;
    bool heldByLink;    // the holder opened it through a link
    bool openedByLink;  // the second opening goes through a link
};

void PrintTo(const NameCase& row, std::ostream* out) {
    *out << row.name;
}

class DeviceNames : public OpenErrors, public ::testing::WithParamInterface<NameCase> {};

TEST_P(DeviceNames, EveryNameOfAHeldDeviceIsBusyNamingTheHolder) {
    const fs::path link = scratch("link");
    ASSERT_EQ(::symlink(pty.c_str(), link.c_str()), 0);
    PosixSerialLine holder;
    ASSERT_TRUE(holder.open(GetParam().heldByLink ? link.string() : pty));
    const std::string second = GetParam().openedByLink ? link.string() : pty;
    const std::string said = inChild([&] { return openOutcome(second); }, false);
    holder.close();
    const std::string again = inChild([&] { return openOutcome(second); }, false);
    fs::remove(link);
    EXPECT_EQ(said.substr(0, said.find('|')), "busy") << said;
    // By its number and its program's name, from its lock file or from the system.
    EXPECT_NE(said.find("locked by process " + std::to_string(::getpid()) + " (" +
                        program_invocation_short_name),
              std::string::npos)
        << said;
    EXPECT_EQ(again, "opened");
}

INSTANTIATE_TEST_SUITE_P(Names, DeviceNames,
                         ::testing::Values(NameCase{"same_name", false, false},
                                           NameCase{"then_through_a_link", false, true},
                                           NameCase{"held_through_a_link", true, false}),
                         [](const auto& row) { return std::string(row.param.name); });

// The emulator's --link leads through /proc/PID/fd, which only its user and root may
// follow: to anyone else it is a permission matter, not a device of the wrong kind.
TEST_F(OpenErrors, ALinkIntoAnotherUsersProcessIsPermissionDenied) {
    const fs::path link = scratch("fd-link");
    const int fd = ::open(pty.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const std::string target = "/proc/" + std::to_string(::getpid()) + "/fd/" + std::to_string(fd);
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    const std::string said = inChild([&] { return openOutcome(link.string()); });
    fs::remove(link);
    ::close(fd);
    EXPECT_EQ(said, "permission-denied||Permission denied");
}

TEST_F(OpenErrors, ALockFileLeftByAProgramThatEndedIsNotBusy) {
    ASSERT_EQ(::chmod(pty.c_str(), 0666), 0);
    // A program holding the port, killed: its lock file stays, naming a process that is
    // gone.
    const pid_t killed = ::fork();
    if (killed == 0) {
        PosixSerialLine line;
        line.open(pty);
        ::pause();
        ::_exit(0);
    }
    std::string lockName = pty.substr(std::string("/dev/").size());
    std::replace(lockName.begin(), lockName.end(), '/', '_');
    const std::string lockFile = "/var/lock/LCK.." + lockName;
    for (int i = 0; i < 200 && ::access(lockFile.c_str(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(5ms);
    ::kill(killed, SIGKILL);
    ::waitpid(killed, nullptr, 0);
    ASSERT_EQ(::access(lockFile.c_str(), F_OK), 0) << lockFile;

    const std::string said = inChild([&] { return openOutcome(pty); });
    ::unlink(lockFile.c_str());
    EXPECT_EQ(said.substr(0, said.find('|')), "other") << said;
    EXPECT_NE(said.find(lockFile), std::string::npos) << said;
}

// A live process's lock file names it by its number, its program on the next line: the
// program is named as the file says, or as the system says when the file does not, and
// escaped, since any program may write one.
struct HolderCase {
    const char* name;
    std::string nameLine;  // the lock file's second line
    std::string told;      // the program as the message names it
};

void PrintTo(const HolderCase& row, std::ostream* out) {
    *out << row.name;
}

class LockFileHolder : public ::testing::TestWithParam<HolderCase> {};

TEST_P(LockFileHolder, NamesTheProcessAndItsProgram) {
    const std::string lockName = "LCK..palmota-holder-test-" + std::to_string(::getpid());
    const std::string file = "/var/lock/" + lockName;
    std::ofstream(file) << ::getpid() << '\n' << GetParam().nameLine << "\ndesk-1\n";
    const posix_device::LockProblem problem = posix_device::lockProblem(lockName);
    ::unlink(file.c_str());
    EXPECT_EQ(problem.kind, posix_device::LockProblem::Kind::HeldByProcess);
    EXPECT_EQ(problem.detail, "locked by process " + std::to_string(::getpid()) + " (" +
                                  GetParam().told + ", " + file + ")");
}

INSTANTIATE_TEST_SUITE_P(
    Names, LockFileHolder,
    ::testing::Values(HolderCase{"AsTheFileSays", "palmota-cli", "palmota-cli"},
                      HolderCase{"AsTheSystemSays", "", program_invocation_short_name},
                      HolderCase{"Escaped", "till\x1B[2J", "till\\x1B[2J"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(OpenErrors, LongAndNonUtf8PathsReachTheDeviceTheyName) {
    // 275 characters: the serial library's lock file name would pass the system's limit.
    const fs::path deep = scratch(std::string(150, 'd'));
    fs::create_directory(deep);
    const fs::path longLink = deep / std::string(275 - deep.string().size() - 1, 'l');
    // Bytes that are no UTF-8 text: the name is the bytes the user gave.
    const fs::path oddLink = scratch(std::string("\xff\xfe-reader"));
    ASSERT_EQ(longLink.string().size(), 275u);
    for (const fs::path& link : {longLink, oddLink}) {
        ASSERT_EQ(::symlink(pty.c_str(), link.c_str()), 0) << link;
        PosixSerialLine line;
        SteadyClock clock;
        ReaderLink reader(line, clock, [&] { return link.string(); });
        Palmota palmota(reader);
        EXPECT_EQ(palmota.ReadCredit(), "1500") << link << ": " << line.openError().reason;
        fs::remove(link);
    }
    fs::remove_all(deep);
}

TEST_F(OpenErrors, TheProgramsOwnTerminalIsRefusedUntouched) {
    termios before{};
    const int keeper = ::open(pty.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(keeper, 0);
    ASSERT_EQ(::tcgetattr(keeper, &before), 0);
    // A process whose controlling terminal is the pty, as a shell started on it would be.
    const std::string said = inChild(
        [&] {
            ::setsid();
            const int terminal = ::open(pty.c_str(), O_RDWR);
            if (terminal < 0 || ::ioctl(terminal, TIOCSCTTY, 0) != 0) return std::string("no tty");
            return openOutcome(pty) + "\n" + openOutcome("/dev/tty");
        },
        false);
    EXPECT_EQ(said,
              "not-a-serial-device||it is this program's own terminal\n"
              "not-a-serial-device||it is this program's own terminal");
    termios after{};
    ASSERT_EQ(::tcgetattr(keeper, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);  // not set raw
    ::close(keeper);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(reader.received(), "");  // nothing rung
}

}  // namespace

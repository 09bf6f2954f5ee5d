#include "reader/posix_device_checks.h"

#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "reader/byte_text.h"

namespace palmota::posix_device {

namespace {

std::string systemError(int error) {
    return std::generic_category().message(error);
}

// /proc/self/stat's seventh field is the controlling terminal's device number as the
// kernel encodes it: minor bits 0-7 and 20-31, major bits 8-19; 0 for none.
dev_t controllingTerminalDevice() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name (field 2) is in parentheses and may hold anything, spaces included.
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 1));
    std::string state;
    long parent = 0;
    long group = 0;
    long session = 0;
    long terminal = 0;
    if (!(fields >> state >> parent >> group >> session >> terminal)) return 0;
    const auto nr = static_cast<unsigned long>(terminal);
    return makedev((nr >> 8) & 0xfffU, (nr & 0xffU) | ((nr >> 12) & 0xfff00U));
}

// The directories the serial library looks in for lock files, in its order: the first
// readable one that holds the file, or where it may be made, is used.
constexpr std::array kLockDirectories = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                         "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                         "/var/lock/lockdev", "/run/lock"};

bool processAlive(long pid) {
    return pid > 0 && pid <= INT_MAX && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// The program a live process runs, as the system tells it: the first word of its command
// line (/proc/PID/cmdline, words ended by NUL bytes) without its folder. /proc/PID/comm
// would cut it at 15 characters. Empty when the system does not say.
std::string commandName(const std::string& pid) {
    std::ifstream cmdline("/proc/" + pid + "/cmdline", std::ios::binary);
    std::string first;
    std::getline(cmdline, first, '\0');
    return first.substr(first.rfind('/') + 1);
}

// "process 1234 (palmota-cli, /var/lock/LCK..ttyUSB0)": the holder by its number and its
// program's name, then where it says so, when known.
std::string holderText(const std::string& pid, std::string name, const std::string& where) {
    if (name.empty()) name = commandName(pid);
    // Any process may write a lock file: its name line is shown escaped.
    std::string said = printable(name);
    if (!where.empty()) said += (said.empty() ? "" : ", ") + where;
    return "locked by process " + pid + (said.empty() ? "" : " (" + said + ")");
}

}  // namespace

std::string characterDeviceProblem(const std::string& path, bool* missing, bool* denied) {
    if (missing) *missing = false;
    if (denied) *denied = false;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (missing) *missing = errno == ENOENT || errno == ENOTDIR;
        if (denied) *denied = errno == EACCES || errno == EPERM;
        return systemError(errno);
    }
    // Only a character device can be a serial port: anything else (a regular file typed
    // as the port, a directory) is refused before it is opened, so nothing is written to it.
    if (!S_ISCHR(info.st_mode)) return "not a serial device";
    return {};
}

bool isControllingTerminal(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) return false;
    // /dev/tty is whatever terminal the opener controls, even when that is none yet.
    if (info.st_rdev == makedev(5, 0)) return true;
    const dev_t own = controllingTerminalDevice();
    return own != 0 && info.st_rdev == own;
}

std::string accessGroup(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return "dialout";
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
    struct group entry {};
    struct group* owner = nullptr;
    std::vector<char> names(4096);
    if (::getgrgid_r(info.st_gid, &entry, names.data(), names.size(), &owner) == 0 && owner)
        return owner->gr_name;
    return std::to_string(info.st_gid);
}

std::string canonicalPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string result(resolved);
    std::free(resolved);
    return result;
}

LockProblem lockProblem(const std::string& lockName) {
    static_assert(kLongestFileName == NAME_MAX);
    if (lockName.size() > kLongestFileName)
        return {LockProblem::Kind::NameTooLong,
                "the device path is too long for its lock file name (" +
                    std::to_string(lockName.size()) + " characters, at most " +
                    std::to_string(kLongestFileName) + ")"};
    for (const char* directory : kLockDirectories) {
        if (::access(directory, R_OK) != 0) continue;
        const std::string file = std::string(directory) + '/' + lockName;
        const bool exists = ::access(file.c_str(), F_OK) == 0;
        if (!exists && ::access(directory, W_OK) != 0) continue;
        if (!exists) return {};
        // The serial library's lock file (a QLockFile) holds a line each: its holder's
        // process number, the holder's program name, its host, then ids of the machine.
        long pid = 0;
        std::string name;
        {
            std::ifstream lock(file);
            lock >> pid;
            std::getline(lock, name);  // the rest of the first line
            std::getline(lock, name);
        }
        if (processAlive(pid))
            return {LockProblem::Kind::HeldByProcess, holderText(std::to_string(pid), name, file)};
        return {LockProblem::Kind::StaleLockFile,
                "a lock file left by a program that ended: remove " + file};
    }
    return {};
}

bool lockDevice(int fd, std::string* holder) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    const int error = errno;
    if (holder) *holder = systemError(error);
    struct stat info {};
    if (error != EWOULDBLOCK || ::fstat(fd, &info) != 0) return false;
    // /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:18:6 0 EOF", the file named by the
    // major and minor numbers (hex) of its file system and its inode; "1: -> FLOCK ..."
    // is a process waiting for the lock, not holding it.
    std::ifstream locks("/proc/locks");
    char place[64];
    std::snprintf(place, sizeof place, "%02x:%02x:%llu", major(info.st_dev), minor(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string id, type, mode, access, pid, where;
        if (!(fields >> id >> type >> mode >> access >> pid >> where)) continue;
        if (type != "FLOCK" || where != place) continue;
        if (holder) *holder = holderText(pid, {}, {});
        break;
    }
    return false;
}

int openErrorNumber(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

}  // namespace palmota::posix_device

#pragma once

#include <cstddef>
#include <string>

// What the POSIX serial line checks before and after it opens a device: that the path is a
// character device and not the program's own terminal, who may use it, and who holds it.
// Nothing here writes to a device.
namespace palmota::posix_device {

// Why `path` cannot be a serial port as a character device, or empty when it can: the
// system's reason when it cannot be looked at, "not a serial device" for files and
// directories. `missing` is set when nothing exists there.
// `denied` is set when this user may not even look at it (a link into another user's
// process).
std::string characterDeviceProblem(const std::string& path, bool* missing = nullptr,
                                   bool* denied = nullptr);

// Whether `path` is this process's controlling terminal (/dev/tty, or the terminal the
// program was started from under any of its names).
bool isControllingTerminal(const std::string& path);

// The group whose members may read and write the device; empty when only its owner may.
std::string accessGroup(const std::string& path);

// The path the system resolves `path` to, with every link followed; empty when it cannot.
std::string canonicalPath(const std::string& path);

// The longest name a file may have in a directory (NAME_MAX).
inline constexpr std::size_t kLongestFileName = 255;

struct LockProblem {
    enum class Kind { None, HeldByProcess, StaleLockFile, NameTooLong };
    Kind kind = Kind::None;
    std::string detail;
};
// Why a device that this user may read and write still could not be opened, found
// without opening it: a lock file of another live process, one left by an ended process
// that cannot be removed, a device path too long for a lock file. `lockName` is the name
// the serial library gives the device's lock file (LCK..ttyUSB0). Empty when none of
// these explains it.
LockProblem lockProblem(const std::string& lockName);

// Takes the lock every opening of one device shares, whatever name it was opened by (a
// link, /dev/serial/by-id/..., /proc/PID/fd/N): an exclusive flock on the open device,
// released when the descriptor closes, even by a killed process. False when another
// opening holds it; `holder` then says who ("locked by process 1234 (palmota-cli)") when
// the system tells, else the system's reason.
bool lockDevice(int fd, std::string* holder);

// The error number an open for reading and writing gives, 0 when it succeeds (the
// descriptor is closed again at once). Only for a device that just refused to open.
int openErrorNumber(const std::string& path);

}  // namespace palmota::posix_device

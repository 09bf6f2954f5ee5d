#pragma once

#include <cstddef>
#include <string>

// What the programs need from the operating system beyond Qt: POSIX, as built and tested
// on Linux. Nothing here writes to a device.
namespace palmota::platform {

// Makes sure descriptors 0, 1 and 2 are open, on /dev/null where they were closed. A
// program started with them closed would otherwise get its serial port, or a lock file,
// as descriptor 1 or 2, and its messages would go onto the line. A closed standard output
// is reopened for reading only, so that writing to it still fails, as it would have.
// Call it first in main.
void ensureStandardStreams();

// Flushes standard output; false, with one line on standard error naming the program,
// when what was written there could not be (closed, a full disk, /dev/full).
bool standardOutputWritten(const char* program);

// The exit status for an output that could not be written, as a shell reports a death by
// SIGPIPE.
inline constexpr int kExitOutputFailed = 141;

// SIGINT, SIGTERM and SIGHUP set a flag (and wake terminationFd()) instead of ending the
// process, so that the program closes its port and ends on its own; SIGPIPE is ignored,
// so that a closed output shows as a failed write. Installed before any thread.
// Blocking calls the signal interrupts resume, unless `interruptBlockingCalls`: then they
// fail with EINTR, for a program that may be waiting on its input for ever (palmota-cli
// reading commands from standard input).
void installTerminationHandlers(bool interruptBlockingCalls = false);
bool terminationRequested();
// Readable once a termination signal came: for an event loop's socket notifier.
int terminationFd();

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
// opening holds it; `holder` then says who ("locked by process 1234") when the system
// tells, else the system's reason.
bool lockDevice(int fd, std::string* holder);

// The error number an open for reading and writing gives, 0 when it succeeds (the
// descriptor is closed again at once). Only for a device that just refused to open.
int openErrorNumber(const std::string& path);

}  // namespace palmota::platform

#pragma once

#include <cstddef>
#include <string>

// What the programs need from the operating system beyond Qt, one source file per system
// (POSIX on Linux, Win32 on Windows). Nothing here writes to a device.
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

// The exit status of a program whose output was closed or could not be written, as a
// shell reports a death by SIGPIPE.
inline constexpr int kExitOutputClosed = 141;

// SIGINT, SIGTERM and SIGHUP set a flag (and wake terminationFd()) instead of ending the
// process, so that the program closes its port and ends on its own; SIGPIPE is ignored,
// so that a closed output shows as a failed write. Installed before any thread.
// Blocking calls the signal interrupts resume, unless `interruptBlockingCalls`: then they
// fail with EINTR, for a program that may be waiting on its input for ever (palmota-cli
// reading commands from standard input).
void installTerminationHandlers(bool interruptBlockingCalls = false);
bool terminationRequested();
// Readable once a termination signal came: for an event loop's socket notifier (POSIX; -1
// where the system has none, Windows, whose programs use platform_win.h's event).
int terminationFd();

// The name of the account the program runs as, from the system (not from the environment,
// which anyone may set); empty when the system cannot tell.
std::string accountName();

// What tells the file at `path` from any other, even one made later under the same name
// (device and inode, or volume and file index); empty when nothing is there.
std::string fileIdentity(const std::string& path);

}  // namespace palmota::platform

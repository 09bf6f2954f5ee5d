#pragma once

#include "process/platform.h"
#include "reader/outcome.h"

namespace palmota::cli {

// palmota-cli's exit statuses. With several commands the run's status is that of the
// first command that failed. For a script that retries, they split in two: 1 to 4 say
// that the badge's credit is known to be unchanged by the command, so that trying again
// is safe; 5 says that it may have changed.
inline constexpr int kExitSuccess = 0;
// The Reader answered, but the operation failed: not ready, no badge, write refused, a
// short reply, a noisy line before any amount went out.
inline constexpr int kExitReaderFailed = 1;
// The command line cannot be used; nothing was sent.
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortUnavailable = 3;
// Nothing came within a limit, or the line went away, before any amount went out.
inline constexpr int kExitNoAnswer = 4;
// An amount went out and no verdict that can be trusted came back: not confirmed, a
// final byte neither 00 nor FF, a noisy line, or a read-back that failed or differs. The
// credit may have been stored: read it back before trying again.
inline constexpr int kExitNotConfirmed = 5;
// The journal asked for (--journal) could not take a write's row, and nothing was written;
// or it could not take the outcome of a write that went out, whose row stays without one.
inline constexpr int kExitJournal = 6;
// The run was stopped before its end: by a request from outside (a signal), or because
// standard output was closed, as a shell reports a death by SIGINT or SIGPIPE.
inline constexpr int kExitInterrupted = 130;
using platform::kExitOutputClosed;

// The status one operation's outcome gives on its own.
int exitStatus(const Outcome& outcome);

}  // namespace palmota::cli

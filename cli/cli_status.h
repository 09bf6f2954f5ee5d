#pragma once

#include <string>
#include <vector>

#include "process/platform.h"
#include "till/causes.h"

namespace palmota::cli {

// palmota-cli's exit statuses, each that of a family of causes (till/causes.h). With several
// commands the run's status is that of the first command that failed. For a script that
// retries, they split in two: 1 to 4 say that the badge's credit is known to be unchanged by
// the command, so that trying again is safe; 5 says that it may have changed.
inline constexpr int kExitSuccess = till::exitStatus(till::Family::Success);
inline constexpr int kExitReaderFailed = till::exitStatus(till::Family::ReaderFailed);
inline constexpr int kExitUsage = till::exitStatus(till::Family::Usage);
inline constexpr int kExitPortUnavailable = till::exitStatus(till::Family::Port);
inline constexpr int kExitNoAnswer = till::exitStatus(till::Family::NoAnswer);
inline constexpr int kExitNotConfirmed = till::exitStatus(till::Family::MayHaveChanged);
inline constexpr int kExitJournal = till::exitStatus(till::Family::Journal);
inline constexpr int kExitJournalAltered = till::exitStatus(till::Family::JournalAltered);
inline constexpr int kExitInterrupted = till::exitStatus(till::Family::Interrupted);
// Standard output was closed, as a shell reports a death by SIGPIPE.
using platform::kExitOutputClosed;

// What each exit status says, from the cause table: the family's meaning, then the causes
// that give it. --help, the manual page and the README give these texts.
struct StatusMeaning {
    int status;
    std::string text;
};
std::vector<StatusMeaning> exitStatusMeanings();

}  // namespace palmota::cli

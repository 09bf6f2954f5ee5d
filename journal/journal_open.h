#pragma once

#include <memory>
#include <string>

#include "journal/journal.h"

namespace palmota::journal {

// Whether this build can keep a journal: it cannot where Qt SQL is missing.
bool journalAvailable();

// The journal at `where` (a file path or a postgresql:// URI), not yet connected; null with
// `error` set when this build has no journal or `where` cannot name one.
std::unique_ptr<Journal> makeJournal(const std::string& where, Access access, std::string& error);

// Why --journal cannot be used in a build without a journal.
inline constexpr const char* kNotAvailable = "journal: not available in this build";

}  // namespace palmota::journal

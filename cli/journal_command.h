#pragma once

#include <ostream>

#include "cli/cli_options.h"
#include "till/ledger.h"
#include "till/till.h"

namespace palmota::cli {

// palmota-cli journal report: the writes per day and station, as text, CSV or JSON lines,
// and the writes that need a read of the badge. Never opens the port. The exit status:
// 0, or kExitJournal when the journal cannot be read.
int runJournalReport(till::Ledger& ledger, const JournalRequest& request, std::ostream& out,
                     std::ostream& err);

// palmota-cli journal check: reads the badge present and compares its credit with what
// the journal's last confirmed write to it left. A higher credit was loaded behind the
// journal's back: status kExitReaderFailed. A badge the journal does not know is said as
// such and is no failure.
// journal list: each write of the period, one line a write (or one JSON object a write).
int runJournalList(till::Ledger& ledger, const JournalRequest& request, std::ostream& out,
                   std::ostream& err);

// journal verify: every station's chain recomputed; 0 when each holds, 7 naming the first
// record that breaks one, 6 when the journal could not be read.
int runJournalVerify(till::Ledger& ledger, bool json, std::ostream& out, std::ostream& err);

int runJournalCheck(till::Till& till, bool json, std::ostream& out, std::ostream& err);

}  // namespace palmota::cli

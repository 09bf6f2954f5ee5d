#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "journal/journal.h"
#include "till/ledger.h"
#include "till/till.h"

namespace palmota::cli {

// palmota-cli journal report: the writes per local day and station, and per operator, as
// text, CSV or JSON lines (or the text on A4 pages with --pdf), and the writes that need a
// read of the badge. Never opens the port. The exit status: 0, or kExitJournal when the
// journal cannot be read.
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

// journal close: this station's open period closed and the closure printed (text, JSON, or
// A4 PDF with --pdf); status 1 when nothing was written since its last closure, 6 when the
// journal could not be written. journal closure N: closure N of the station as it was made,
// read back from its record; status 1 when there is none.
int runJournalClose(till::Ledger& ledger, const JournalRequest& request, bool json,
                    std::ostream& out, std::ostream& err);
int runJournalClosure(till::Ledger& ledger, const JournalRequest& request, bool json,
                      std::ostream& out, std::ostream& err);

int runJournalCheck(till::Till& till, bool json, std::ostream& out, std::ostream& err);

// journal resolve [ROW]: reads the badge present and settles its writes in doubt (or the one
// ROW names) by the credit it holds, one line a write; status 0 when every one was settled,
// 1 when there was none or one could not be, 6 when the journal could not be written, and a
// read's own status when the badge could not be read.
int runJournalResolve(till::Till& till, const JournalRequest& request, bool json, std::ostream& out,
                      std::ostream& err);

}  // namespace palmota::cli

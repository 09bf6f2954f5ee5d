#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "journal/journal.h"
#include "till/ledger.h"
#include "till/till.h"

namespace palmota::cli {

// The report of `rows` as `request` asks it: the stations' local days from its `from` to its
// `to`, as text, CSV or JSON lines.
std::string journalReport(const JournalRequest& request,
                          const std::vector<journal::WriteRow>& rows);

// palmota-cli journal report: the writes per local day and station, and per operator, as
// text, CSV or JSON lines, and the writes that need a read of the badge. Never opens the
// port. `ledger` is the journal at `where`, opened for reading. The exit status: 0, or
// kExitJournal when the journal cannot be read.
int runJournalReport(till::Ledger& ledger, const std::string& where, const JournalRequest& request,
                     std::ostream& out, std::ostream& err);

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

}  // namespace palmota::cli

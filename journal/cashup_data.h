#pragma once

#include <vector>

#include "journal/cashup.h"
#include "journal/journal.h"

namespace palmota::journal {

// How the cash-up counts a write from its row: confirmed, refused (known unchanged), or
// doubtful (no outcome, or one that leaves the credit unknown).
WriteStanding standing(const WriteRow& row);

// The writes of a period as `journal list` shows them, in the order of the rows.
std::vector<ListedWrite> listedWrites(const std::vector<WriteRow>& rows);

// A closure's figures from the writes of its period (their outcomes as recorded before the
// closure): the counts, the credit loaded and topped up, a line per operator, the doubtful
// writes still open, the period's first and last times, and the grand total carried on from
// `previousGrandTotal`. Its other fields are left as they are.
void closureFigures(const std::vector<WriteRow>& rows, long long previousGrandTotal,
                    Closure& closure);

// What a closure's record stores of it, hashed with the record: its number, who made it and
// its figures as compact JSON with its keys in order, so that one closure has one text.
std::string closureDetail(const Closure& closure);
// The stored text read back into `closure`'s number, user and figures; false when it is no
// closure's.
bool closureFromDetail(const std::string& detail, Closure& closure);

}  // namespace palmota::journal

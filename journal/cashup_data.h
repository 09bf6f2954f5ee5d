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

}  // namespace palmota::journal

#pragma once

#include <QJsonObject>
#include <vector>

#include "journal/cashup.h"
#include "journal/journal.h"

namespace palmota::journal {

// How the cash-up counts a write from its row: confirmed, refused (known unchanged), or
// doubtful (no outcome, or one that leaves the credit unknown).
WriteStanding standing(const WriteRow& row);

// The writes of a period as `journal list` shows them, in the order of the rows.
std::vector<ListedWrite> listedWrites(const std::vector<WriteRow>& rows);

// A closure's figures from the writes of its period (their outcomes and settlements as
// recorded before the closure): the counts, the credit loaded and topped up, a line per
// operator, the doubtful writes still open, the period's first and last times, and the grand
// total carried on from `previousGrandTotal`. `settledLater`: writes of earlier periods,
// closed while in doubt, settled within this one: their settlement, and what it loaded, count
// here, where it was learnt, and the closed periods keep their figures. Its other fields are
// left as they are.
void closureFigures(const std::vector<WriteRow>& rows, const std::vector<WriteRow>& settledLater,
                    long long previousGrandTotal, Closure& closure);

// A closure's counts, credits, grand total and operator lines as JSON, the same in its
// record and in what scripts read of it.
QJsonObject closureFiguresJson(const Closure& closure);

// What a closure's record stores of it, hashed with the record: its number, who made it and
// its figures as compact JSON with its keys in order, so that one closure has one text.
std::string closureDetail(const Closure& closure);
// The stored text read back into `closure`'s number, user and figures; false when it is no
// closure's.
bool closureFromDetail(const std::string& detail, Closure& closure);

// What a settlement's record stores beside the credit and the badge: who read it, where,
// and from which reading, as compact JSON with its keys in order.
std::string settlementDetail(const Settlement& settlement);
// Read back into `settlement`'s user, station and readBefore; false when it is no
// settlement's.
bool settlementFromDetail(const std::string& detail, Settlement& settlement);

}  // namespace palmota::journal

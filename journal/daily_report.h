#pragma once

#include <QJsonObject>
#include <string>
#include <vector>

#include "journal/journal.h"

namespace palmota::journal {

// One station's writes on one UTC day.
struct DayTotals {
    std::string day;  // YYYY-MM-DD
    std::string station;
    int writes = 0;
    int confirmed = 0;  // the badge is known to hold what was written
    int refused = 0;    // the credit is known unchanged: refused, or never sent
    int uncertain = 0;  // an outcome that leaves the credit unknown
    int noOutcome = 0;  // no outcome recorded: the program ended or lost the journal mid-write
    // The credit loaded: the sum of (after - before) over the writes where both are known.
    long long loaded = 0;
    long long topups = 0;  // the amounts of the confirmed top-ups
};

// Per day and station, in order of day, then station.
std::vector<DayTotals> dailyTotals(const std::vector<WriteRow>& rows);

// A write after which only a read of the badge tells its credit: no outcome, or one that
// neither confirmed nor ruled out the write.
bool needsRead(const WriteRow& row);

// The report as a table for people, with the writes that need a read of the badge listed
// after it.
std::string reportText(const std::vector<DayTotals>& totals, const std::vector<WriteRow>& rows);
// A header line, then one line per day and station.
std::string reportCsv(const std::vector<DayTotals>& totals);
// One object per day and station; `needsRead` lists that day's writes that need a read.
std::vector<QJsonObject> reportJson(const std::vector<DayTotals>& totals,
                                    const std::vector<WriteRow>& rows);

}  // namespace palmota::journal

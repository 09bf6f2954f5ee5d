#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimeZone>
#include <optional>
#include <string>
#include <vector>

#include "journal/cashup.h"
#include "journal/journal.h"

namespace palmota::journal {

// One station's writes on one of its local days.
struct DayTotals {
    std::string day;  // YYYY-MM-DD, the station's local day
    std::string station;
    int writes = 0;
    // A write in doubt settled since by a reading of the badge counts as what it was found
    // to be: confirmed when the badge held the amount, refused when it held the credit before.
    int confirmed = 0;  // the badge is known to hold what was written
    int refused = 0;    // the credit is known unchanged: refused, or never sent
    int uncertain = 0;  // an outcome that leaves the credit unknown
    int noOutcome = 0;  // no outcome recorded: the program ended or lost the journal mid-write
    // The credit loaded: the sum of (after - before) over the writes where both are known.
    long long loaded = 0;
    long long topups = 0;  // the amounts of the confirmed top-ups
    // The same, per operator (the account that made the write), in order of name.
    std::vector<OperatorLine> operators;
};

// A station's local day as instants: from its first midnight (included) to the next one
// (excluded), in UTC. A day on which the clocks go forward has 23 hours, one on which they go
// back 25. A midnight that the zone skips starts the day at the first instant after it.
struct UtcRange {
    QDateTime start;
    QDateTime end;
};
UtcRange localDayRange(const QDate& day, const QTimeZone& zone);

// A day as --from and --to take it: YYYY-MM-DD, or "today" and "yesterday" in `zone` at
// `now` (the day before on the calendar, not 24 hours back). None for anything else.
std::optional<QDate> reportDay(const std::string& text, const QDateTime& now,
                               const QTimeZone& zone);

// The station's offset when a write started: recorded on the row, or for a row that did not
// record it, the offset this machine's zone has at that instant.
int offsetOf(const WriteRow& row);
// The station's local day of a write: YYYY-MM-DD.
std::string localDayOf(const WriteRow& row);
// A UTC time (ISO 8601) as the station read its clock: "2026-12-09 00:30:21 +01:00".
std::string localTimeText(const std::string& utc, int offsetMinutes);
// The same in ISO 8601 with its offset, for scripts: "2026-12-09T00:30:21.000+01:00".
std::string localTimeIso(const std::string& utc, int offsetMinutes);

// The rows to ask the journal for, to hold every write of the local days `from` to `to`
// (YYYY-MM-DD, empty for no bound) of any station, wherever its zone: the journal chooses by
// UTC days, and a local day lies within the UTC day before it and the one after it (offsets
// run from -12 to +14 hours). `localDaysOnly` then keeps the rows of those local days.
RowFilter coveringFilter(const std::string& from, const std::string& to,
                         const std::string& station);
std::vector<WriteRow> localDaysOnly(const std::vector<WriteRow>& rows, const std::string& from,
                                    const std::string& to);

// Per local day and station, in order of day, then station.
std::vector<DayTotals> dailyTotals(const std::vector<WriteRow>& rows);
// Per operator, in order of name. `settledLater`: writes made before these rows' period and
// settled within it, which add their settlement (and what it loaded) but no write.
std::vector<OperatorLine> operatorLines(const std::vector<WriteRow>& rows,
                                        const std::vector<WriteRow>& settledLater = {});

// A write after which only a read of the badge tells its credit: no outcome, or one that
// neither confirmed nor ruled out the write.
bool needsRead(const WriteRow& row);

// The report as tables for people, one a station, within 80 columns whatever the names,
// its operators under each day, with the writes that need a read of the badge listed after
// it. The texts are in the language of the translator installed.
std::string reportText(const std::vector<DayTotals>& totals, const std::vector<WriteRow>& rows);
// A header line, then one line per day and station, each followed by a line per operator of
// that day (the same columns, the operator's name in the last: empty on the station's line).
std::string reportCsv(const std::vector<DayTotals>& totals);
// One object per day and station; `needsRead` lists that day's writes that need a read,
// `operators` its lines per operator.
std::vector<QJsonObject> reportJson(const std::vector<DayTotals>& totals,
                                    const std::vector<WriteRow>& rows);

// The counts of operator lines as rows of a table within 80 columns, each name in the first
// cell (a name too long for it stands on a line of its own above its figures), preceded by
// the table's header when `header` is set. Shared by the report and the closure.
std::string operatorTable(const std::vector<OperatorLine>& lines, bool header);
QJsonArray operatorsJson(const std::vector<OperatorLine>& lines);

}  // namespace palmota::journal

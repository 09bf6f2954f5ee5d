#include "journal/cashup_data.h"

#include "journal/daily_report.h"

namespace palmota::journal {

WriteStanding standing(const WriteRow& row) {
    if (needsRead(row)) return WriteStanding::Doubtful;
    return row.end->confirmed ? WriteStanding::Confirmed : WriteStanding::Refused;
}

std::vector<ListedWrite> listedWrites(const std::vector<WriteRow>& rows) {
    std::vector<ListedWrite> listed;
    listed.reserve(rows.size());
    for (const WriteRow& row : rows) {
        ListedWrite w;
        w.id = row.id;
        // Rows before the chain kept no offset: their times read as UTC.
        w.started = {row.started, row.offsetMinutes.value_or(0)};
        w.station = row.start.station;
        w.user = row.start.user;
        w.serial = row.badge();
        w.before = row.start.before;
        w.after = creditAfter(row);
        w.amount = row.start.amount;
        w.topup = row.start.topup;
        w.standing = standing(row);
        w.cause = row.end ? row.end->cause : std::string();
        listed.push_back(std::move(w));
    }
    return listed;
}

}  // namespace palmota::journal

// The journal of a build with Qt SQL.
#include "journal/journal_location.h"
#include "journal/journal_open.h"
#include "journal/sql_journal.h"

namespace palmota::journal {

bool journalAvailable() {
    return true;
}

std::unique_ptr<Journal> makeJournal(const std::string& where, Access access, std::string& error) {
    auto location = parseJournalLocation(where, error);
    if (!location) return nullptr;
    return std::make_unique<SqlJournal>(shownLocation(where), *location, access);
}

}  // namespace palmota::journal

// A build without Qt SQL keeps no journal.
#include "journal/journal_open.h"

namespace palmota::journal {

bool journalAvailable() {
    return false;
}

std::unique_ptr<Journal> makeJournal(const std::string&, Access, std::string& error) {
    error = kNotAvailable;
    return nullptr;
}

}  // namespace palmota::journal

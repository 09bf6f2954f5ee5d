#include "journal/journal_platform.h"

namespace palmota::journal {

std::string journalFileProblem(const std::string&) {
    // A network file system mounted here looks like any other folder: the README warns
    // against keeping an SQLite journal on one.
    return {};
}

std::string_view passwordFileHelp() {
    return "~/.pgpass or the file PGPASSFILE names";
}

std::string_view rootCertificateHelp() {
    return "~/.postgresql/root.crt";
}

}  // namespace palmota::journal

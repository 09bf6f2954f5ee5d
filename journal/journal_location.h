#pragma once

#include <optional>
#include <string>

namespace palmota::journal {

// Where a journal lives, as named after --journal: a file path (an SQLite journal), or a
// postgresql:// URI (a PostgreSQL journal several stations share).
struct JournalLocation {
    enum class Kind { File, Postgres };
    Kind kind = Kind::File;
    std::string path;  // File
    // Postgres: the URI's parts; a host starting with '/' is the folder of a Unix socket.
    std::string host;
    int port = -1;
    std::string database;
    std::string user;
    // libpq's connection keywords from the URI's query, as key='value' separated by ';',
    // with a connect_timeout unless the URI sets one.
    std::string options;
};

// No value, with `error` set, for an empty text, a URI of another kind (mysql://...), a
// file this system cannot keep a journal in, or a postgresql:// URI that cannot be used. A
// password in the URI is refused: a command line is visible to every user of the machine,
// and libpq reads passwords from its password file (passwordFileHelp()).
std::optional<JournalLocation> parseJournalLocation(const std::string& where, std::string& error);

// `where` as messages show it: in a URI of any scheme, in any case, the password of its user
// information replaced by ***, and all that follows a password keyword of its query.
std::string shownLocation(const std::string& where);

}  // namespace palmota::journal

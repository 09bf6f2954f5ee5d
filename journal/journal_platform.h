#pragma once

#include <string>
#include <string_view>

// What a journal depends on the system for; one source file per system.
namespace palmota::journal {

// Why `path` cannot hold an SQLite journal on this system, or the empty text when it can.
std::string journalFileProblem(const std::string& path);

// Readies the place of the SQLite journal at `path` before SQLite opens it, to record its
// writes (`record`) or to read it: the reason it cannot be used there, or the empty text.
// To record, a journal not there yet is made here, empty, with the mode a journal has
// (SQLite would make it with the umask's, readable by every user).
std::string readyJournalFile(const std::string& path, bool record);

// Where libpq reads a password from, for messages and help texts.
std::string_view passwordFileHelp();

// Where libpq looks for the root certificate that verify-ca and verify-full check the
// server's against, when the URI names none (sslrootcert), for help texts.
std::string_view rootCertificateHelp();

}  // namespace palmota::journal

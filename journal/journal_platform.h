#pragma once

#include <string>
#include <string_view>

// What a journal depends on the system for; one source file per system.
namespace palmota::journal {

// Why `path` cannot hold an SQLite journal on this system, or the empty text when it can.
std::string journalFileProblem(const std::string& path);

// Whether this build's PostgreSQL client can encrypt a connection (sslmode=require).
bool tlsAvailable();

// Where libpq reads a password from, for messages and help texts.
std::string_view passwordFileHelp();

}  // namespace palmota::journal

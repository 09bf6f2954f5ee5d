#pragma once

#include <QString>
#include <string>

class QSqlError;

namespace palmota::journal {

// A database's message as one line for a person. libpq explains over several lines, and
// some of them quote the statement or the row it was given ("LINE 1: EXECUTE ... ('<id>',
// 'desk-1', ...)", "DETAIL: Key (id)=(...) already exists."): those, and every line after
// the first of them, are left out, so that no row's values reach a message.
std::string serverMessage(const QString& said);

// The message of a failed statement or connection: the database's own text, else the
// driver's, through serverMessage().
std::string errorText(const QSqlError& error);

}  // namespace palmota::journal

#include "journal/server_message.h"

#include <QSqlError>
#include <QStringList>

namespace palmota::journal {

namespace {

// libpq's lines that quote what the server was given: the statement at the error's
// position (followed by a caret line), the values of a key, the statement inside a
// function, the statement as logged.
constexpr const char* kQuotingLines[] = {"LINE ", "DETAIL:", "CONTEXT:", "QUERY:", "STATEMENT:"};

bool quotes(const QString& line) {
    for (const char* prefix : kQuotingLines)
        if (line.startsWith(QLatin1String(prefix))) return true;
    return false;
}

}  // namespace

std::string serverMessage(const QString& said) {
    QStringList kept;
    for (const QString& line : said.split(QLatin1Char('\n'))) {
        if (quotes(line.trimmed())) break;
        kept << line;
    }
    return kept.join(QLatin1Char(' ')).simplified().toStdString();
}

std::string errorText(const QSqlError& error) {
    QString said = error.databaseText().trimmed();
    if (said.isEmpty()) said = error.driverText().trimmed();
    if (said.isEmpty()) said = error.text().trimmed();
    return serverMessage(said);
}

}  // namespace palmota::journal

#include "journal/journal_location.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <string_view>
#include <utility>

#include "journal/journal_platform.h"

namespace palmota::journal {

namespace {

constexpr std::string_view kSchemes[] = {"postgresql://", "postgres://"};
// A server that cannot be reached must not hold a write up for long: libpq waits this many
// seconds for a connection unless told otherwise.
constexpr const char* kConnectTimeoutSeconds = "5";

bool isPostgres(const std::string& where) {
    for (const std::string_view scheme : kSchemes)
        if (where.rfind(scheme, 0) == 0) return true;
    return false;
}

// A scheme (RFC 3986: a letter, then letters, digits, "+", "-" or ".") followed by "://".
// A drive letter ("C:\...") is no scheme: its colon is not followed by two slashes.
bool hasScheme(const std::string& where) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(QString::fromStdString(where)).hasMatch();
}

// Where the password of USER:PASSWORD@HOST lies in `where`, a URI: [first, second). One
// typed with '/', '?', '#' or '@' in it ends the host part early for a URI parser, so it is
// taken to run from the first ':' after "://" to the last '@'; a ':' after the last '@' is
// the port's. A '@' in a query value makes it take in more than a password: never less.
std::optional<std::pair<std::size_t, std::size_t>> userPassword(const std::string& where) {
    const std::size_t authority = where.find("://");
    if (authority == std::string::npos) return std::nullopt;
    const std::size_t at = where.rfind('@');
    const std::size_t colon = where.find(':', authority + 3);
    if (at == std::string::npos || at < authority + 3 || colon >= at) return std::nullopt;
    return std::pair{colon + 1, at};
}

// One of ours in another case (POSTGRESQL://, Postgres://), which this program does not take.
bool isPostgresInAnotherCase(const std::string& where) {
    const QString text = QString::fromStdString(where);
    for (const std::string_view scheme : kSchemes)
        if (text.startsWith(QLatin1String(scheme.data(), static_cast<qsizetype>(scheme.size())),
                            Qt::CaseInsensitive))
            return true;
    return false;
}

bool keywordChar(QChar c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// libpq's conninfo quoting: the value in single quotes, with ' and \ escaped.
QString quoted(QString value) {
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    value.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

}  // namespace

std::optional<JournalLocation> parseJournalLocation(const std::string& where, std::string& error) {
    JournalLocation location;
    if (where.empty()) {
        error = "no journal named: give a file path or a postgresql:// URI";
        return std::nullopt;
    }
    if (!isPostgres(where)) {
        if (hasScheme(where)) {
            error = "a file path or a postgresql:// URI, not another kind of URI";
            if (isPostgresInAnotherCase(where)) error += " (write its scheme in lower case)";
            return std::nullopt;
        }
        if (std::string problem = journalFileProblem(where); !problem.empty()) {
            error = problem;
            return std::nullopt;
        }
        location.path = where;
        return location;
    }
    location.kind = JournalLocation::Kind::Postgres;
    const QUrl url(QString::fromStdString(where), QUrl::StrictMode);
    if (!url.isValid() && userPassword(where)) {
        // A password that holds a character the URI gives a meaning to ('/', '#', '?'): Qt's
        // reason would blame the port or the host.
        error = "no password in the URI: put it in " + std::string(passwordFileHelp());
        return std::nullopt;
    }
    if (!url.isValid()) {
        // Qt's reason quotes the URI whole, password included: only its first clause is told.
        const QString reason = url.errorString().section(QLatin1Char(';'), 0, 0).trimmed();
        error = "not a usable URI: " + reason.toStdString();
        return std::nullopt;
    }
    if (!url.password().isEmpty()) {
        error =
            "no password in the URI: every user of this machine can read a command line; "
            "put it in " +
            std::string(passwordFileHelp());
        return std::nullopt;
    }
    location.host = url.host(QUrl::FullyDecoded).toStdString();
    location.port = url.port();
    location.user = url.userName(QUrl::FullyDecoded).toStdString();
    QString database = url.path(QUrl::FullyDecoded);
    if (database.startsWith(QLatin1Char('/'))) database.remove(0, 1);
    location.database = database.toStdString();

    QStringList options;
    bool timeoutGiven = false;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key.isEmpty() || !std::all_of(key.begin(), key.end(), keywordChar)) {
            error = "\"" + key.toStdString() + "\" is not a connection keyword";
            return std::nullopt;
        }
        if (key == QLatin1String("password")) {
            error = "no password in the URI: put it in " + std::string(passwordFileHelp());
            return std::nullopt;
        }
        // The driver separates its options with ';': a value holding one would be cut.
        if (value.contains(QLatin1Char(';'))) {
            error = "the value of " + key.toStdString() + " holds a ';'";
            return std::nullopt;
        }
        timeoutGiven = timeoutGiven || key == QLatin1String("connect_timeout");
        options.append(key + QLatin1Char('=') + quoted(value));
    }
    if (!timeoutGiven)
        options.append(QStringLiteral("connect_timeout=") + QLatin1String(kConnectTimeoutSeconds));
    location.options = options.join(QLatin1Char(';')).toStdString();
    return location;
}

std::string shownLocation(const std::string& where) {
    // Only a URI, of any scheme and in any case, can hold a password; a path is shown as typed.
    if (!hasScheme(where)) return where;
    const std::size_t authority = where.find("://") + 3;
    std::string shown = where;
    if (const auto password = userPassword(where))
        shown.replace(password->first, password->second - password->first, "***");
    // A password keyword in the query, whatever case or escapes spell it (pass%77ord): all
    // that follows it is hidden, since a password may hold an unescaped '&' or '#'.
    const std::size_t query = shown.find('?', authority);
    if (query == std::string::npos) return shown;
    for (std::size_t item = query + 1; item <= shown.size();) {
        const std::size_t end = std::min(shown.find('&', item), shown.size());
        const std::size_t equals = shown.find('=', item);
        const std::size_t keyEnd = std::min(equals, end);
        const QByteArray key = QByteArray::fromPercentEncoding(
            QByteArray::fromStdString(shown.substr(item, keyEnd - item)));
        if (QString::fromUtf8(key).trimmed().compare(QLatin1String("password"),
                                                     Qt::CaseInsensitive) == 0)
            return shown.substr(0, keyEnd) + "=***";
        item = end + 1;
    }
    return shown;
}

}  // namespace palmota::journal

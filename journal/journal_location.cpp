#include "journal/journal_location.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <string_view>

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
bool hasOtherScheme(const std::string& where) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return scheme.match(QString::fromStdString(where)).hasMatch();
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
        if (hasOtherScheme(where)) {
            error = "a file path or a postgresql:// URI, not another kind of URI";
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
    if (!isPostgres(where)) return where;
    // The password, where one was given, is never shown: as user information
    // (user:password@host) or as a query keyword (password=...).
    static const QRegularExpression userPassword(QStringLiteral("^([a-z]+://[^/?#@:]*):[^/?#@]*@"));
    static const QRegularExpression queryPassword(QStringLiteral("([?&]password=)[^&#]*"),
                                                  QRegularExpression::CaseInsensitiveOption);
    QString shown = QString::fromStdString(where);
    shown.replace(userPassword, QStringLiteral("\\1:***@"));
    shown.replace(queryPassword, QStringLiteral("\\1***"));
    return shown.toStdString();
}

}  // namespace palmota::journal

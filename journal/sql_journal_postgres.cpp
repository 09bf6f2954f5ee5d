// What the journal does on a PostgreSQL connection only: the session's time-outs, the
// privileges its role needs, and the client's own deadline on every answer.
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include "journal/server_message.h"
#include "journal/sql_journal.h"
#include "journal/sql_schema.h"

namespace palmota::journal {

namespace {

// What the program does with a table, as a GRANT names it and as a message says it.
struct Privilege {
    const char* grant;
    const char* verb;
};
constexpr Privilege kRead{"SELECT", "read"};
constexpr Privilege kInsert{"INSERT", "insert into"};

// "read", "insert into or update", "read, insert into or update".
QString verbs(const std::vector<Privilege>& missing) {
    QString text;
    for (std::size_t i = 0; i < missing.size(); ++i) {
        if (i > 0) text += i + 1 == missing.size() ? QStringLiteral(" or ") : QStringLiteral(", ");
        text += QLatin1String(missing[i].verb);
    }
    return text;
}

QString grants(const std::vector<Privilege>& missing) {
    QStringList names;
    for (const Privilege& p : missing) names << QLatin1String(p.grant);
    return names.join(QStringLiteral(", "));
}

}  // namespace

void SqlJournal::setAnswerDeadline(std::chrono::milliseconds deadline) {
    if (watch_) watch_->setDeadline(deadline);
}

void SqlJournal::setStopCheck(std::function<bool()> stopRequested) {
    if (watch_) watch_->setStopCheck(std::move(stopRequested));
}

SqlJournal::Watched SqlJournal::watched(const std::function<bool()>& step, std::string& error) {
    if (!watch_) return {step(), false};
    AnswerWatch::Step watching = watch_->step();
    const bool done = step();
    const AnswerWatch::End end = watching.finish();
    if (end == AnswerWatch::End::Answered) return {done, false};
    // A cut connection answers nothing more: the next statement makes a new one.
    if (!done) error = watch_->reason(end);
    disconnect();
    return {done, true};
}

bool SqlJournal::startPostgresSession(std::string& error) {
    QSqlDatabase db = database();
    watch_->attach(db.driver()->handle());
    // A lock another station holds is waited for as long as SQLite waits, not for ever; a
    // statement that runs on past the client's own deadline is stopped by the server too.
    const std::pair<const char*, long long> settings[] = {
        {"lock_timeout", kLockWaitMs},
        {"statement_timeout", static_cast<long long>(watch_->deadline().count())},
    };
    for (const auto& entry : settings) {
        const char* setting = entry.first;
        const long long value = entry.second;
        QSqlError failed;
        const Watched set = watched(
            [&] {
                QSqlQuery q(db);
                if (q.exec(QStringLiteral("SET %1 = %2").arg(QLatin1String(setting)).arg(value)))
                    return true;
                failed = q.lastError();
                return false;
            },
            error);
        if (set.done) continue;
        if (!set.cut) error = errorText(failed);
        return false;
    }
    bool allowed = false;
    const Watched checked = watched([&] { return allowed = mayUseJournal(error); }, error);
    return checked.done && allowed;
}

bool SqlJournal::mayUseJournal(std::string& error) {
    QSqlQuery q(database());
    // The tables as the search path finds them (NULL where there is none), and what the
    // connection's role may do with them.
    if (!q.exec(
            QStringLiteral(
                "SELECT current_user, quote_ident(current_user), current_setting('search_path'), "
                "current_schema(), has_schema_privilege(current_schema(), 'CREATE'), "
                "j IS NOT NULL, w IS NOT NULL, has_table_privilege(j, 'SELECT'), "
                "has_table_privilege(w, 'SELECT'), has_table_privilege(w, 'INSERT'), "
                "r IS NOT NULL, "
                "(SELECT quote_ident(n.nspname) FROM pg_class c JOIN pg_namespace n "
                "ON n.oid = c.relnamespace WHERE c.oid = w), "
                "(SELECT pg_has_role(relowner, 'USAGE') FROM pg_class WHERE oid = w), "
                "(SELECT pg_get_userbyid(relowner) FROM pg_class WHERE oid = w), "
                "has_table_privilege(r, 'SELECT'), has_table_privilege(r, 'INSERT') "
                "FROM (SELECT to_regclass('%1') AS j, to_regclass('%2') AS w, "
                "to_regclass('%3') AS r) AS found")
                .arg(schema::versionTable(), schema::writesTable(), schema::recordsTable())) ||
        !q.next()) {
        error = errorText(q.lastError());
        return false;
    }
    const QString role = q.value(0).toString();
    const QString roleIdent = q.value(1).toString();
    const QString searchPath = q.value(2).toString();
    const QString schema = q.value(3).toString();
    const bool mayCreate = q.value(4).toBool();
    const bool versionTable = q.value(5).toBool();
    const bool rowsTable = q.value(6).toBool();
    const bool owner = q.value(12).toBool();
    const QString ownerName = q.value(13).toString();
    const std::string said = "role " + role.toStdString() + " may not ";

    if (!versionTable && !rowsTable) {
        // Nothing there yet: a report finds no journal; a write makes it, where it may.
        if (access_ == Access::Read) return true;
        if (schema.isEmpty()) {
            error = said + "make the journal: no schema of its search path (" +
                    searchPath.toStdString() + ") is there for it: GRANT USAGE ON SCHEMA name TO " +
                    roleIdent.toStdString();
            return false;
        }
        if (!mayCreate) {
            error = said + "make the journal's tables in schema " + schema.toStdString() +
                    ": GRANT CREATE ON SCHEMA " + schema.toStdString() + " TO " +
                    roleIdent.toStdString() +
                    ", or start it once as the role that owns the database";
            return false;
        }
        return true;
    }
    // Half a journal: the schema's own check says what is wrong with it.
    if (!versionTable || !rowsTable) return true;

    const QString qualifier = q.value(11).toString() + u'.';
    std::vector<Privilege> onVersion;
    if (!q.value(7).toBool()) onVersion.push_back(kRead);
    // A station only ever reads and appends: no record is updated or deleted once written.
    std::vector<Privilege> onRows;
    if (!q.value(8).toBool()) onRows.push_back(kRead);
    if (access_ == Access::Record && !q.value(9).toBool()) onRows.push_back(kInsert);
    // A journal before the chain has no records table yet: its upgrade is the owner's.
    const bool recordsTable = q.value(10).toBool();
    std::vector<Privilege> onRecords;
    if (recordsTable && !q.value(14).toBool()) onRecords.push_back(kRead);
    if (recordsTable && access_ == Access::Record && !q.value(15).toBool())
        onRecords.push_back(kInsert);
    q.finish();
    if (!onVersion.empty() || !onRows.empty() || !onRecords.empty()) {
        QStringList denied;
        QStringList statements;
        for (const auto& [table, missing] : {std::pair{schema::versionTable(), onVersion},
                                             std::pair{schema::writesTable(), onRows},
                                             std::pair{schema::recordsTable(), onRecords}}) {
            if (missing.empty()) continue;
            denied << verbs(missing) + u' ' + table;
            statements << QStringLiteral("GRANT %1 ON %2%3 TO %4")
                              .arg(grants(missing), qualifier, table, roleIdent);
        }
        error = said + denied.join(QStringLiteral(", nor ")).toStdString() + ": " +
                statements.join(QStringLiteral("; ")).toStdString();
        return false;
    }
    // Only the owner of the tables may add a column to them.
    if (access_ == Access::Record && !owner) {
        if (!q.exec(schema::readVersion())) {
            error = errorText(q.lastError());
            return false;
        }
        const int version = q.next() ? q.value(0).toInt() : kSchemaVersion;
        if (version >= 1 && version < kSchemaVersion) {
            error = said + "upgrade the journal's schema from version " + std::to_string(version) +
                    " to " + std::to_string(kSchemaVersion) + ": only the owner of its tables, " +
                    ownerName.toStdString() + ", may; start it once as " + ownerName.toStdString();
            return false;
        }
    }
    return true;
}

}  // namespace palmota::journal

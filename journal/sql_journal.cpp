#include "journal/sql_journal.h"

#include <QDate>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <atomic>

namespace palmota::journal {

namespace {

// Concurrent writers of one SQLite file wait for each other this long before giving up.
constexpr int kBusyTimeoutMs = 5000;

// Types both databases know alike: TEXT, INTEGER (32 bits in PostgreSQL, enough for a
// credit). Times are UTC in ISO 8601 with milliseconds, so that they sort as text.
// The id is made by the station (a UUID), so that no sequence differs between the two.
const char* const kCreateSchema[] = {
    "CREATE TABLE palmota_journal (schema_version INTEGER NOT NULL)",
    "CREATE TABLE credit_writes ("
    " id TEXT PRIMARY KEY,"
    " station TEXT NOT NULL,"
    " user_name TEXT NOT NULL,"
    " program TEXT NOT NULL,"
    " port TEXT NOT NULL,"
    " serial TEXT,"
    " serial_source TEXT,"
    " credit_before INTEGER,"
    " amount INTEGER NOT NULL,"
    " topup INTEGER,"
    " started TEXT NOT NULL,"
    " ended TEXT,"
    " cause TEXT,"
    " confirmed INTEGER,"
    " unchanged INTEGER,"
    " credit_after INTEGER)",
    "CREATE INDEX credit_writes_started ON credit_writes (started)",
    "CREATE INDEX credit_writes_serial ON credit_writes (serial, started)",
};

// Upgrades from version N to N + 1 go here, in order, each run in one transaction with the
// version's update.

const char* const kColumns =
    "id, station, user_name, program, port, serial, serial_source, credit_before, amount, "
    "topup, started, ended, cause, confirmed, unchanged, credit_after";

QString connectionName() {
    static std::atomic<int> count{0};
    return QStringLiteral("palmota-journal-%1").arg(++count);
}

QString now() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

std::string text(const QSqlError& error) {
    QString said = error.databaseText().trimmed();
    if (said.isEmpty()) said = error.driverText().trimmed();
    if (said.isEmpty()) said = error.text().trimmed();
    // libpq explains over several lines; a message here is one line.
    return said.simplified().toStdString();
}

QVariant nullable(const std::optional<int>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<int>());
}

QVariant nullable(const std::optional<std::string>& value) {
    return value ? QVariant(QString::fromStdString(*value))
                 : QVariant(QMetaType::fromType<QString>());
}

std::optional<int> optionalInt(const QVariant& value) {
    if (value.isNull()) return std::nullopt;
    return value.toInt();
}

WriteRow rowFrom(const QSqlQuery& q) {
    WriteRow row;
    row.id = q.value(0).toString().toStdString();
    row.start.station = q.value(1).toString().toStdString();
    row.start.user = q.value(2).toString().toStdString();
    row.start.program = q.value(3).toString().toStdString();
    row.start.port = q.value(4).toString().toStdString();
    if (!q.value(5).isNull()) row.start.serial = q.value(5).toString().toStdString();
    row.start.serialSource = serialSourceFromName(q.value(6).toString().toStdString());
    row.start.before = optionalInt(q.value(7));
    row.start.amount = q.value(8).toInt();
    row.start.topup = optionalInt(q.value(9));
    row.started = q.value(10).toString().toStdString();
    if (!q.value(11).isNull()) {
        row.ended = q.value(11).toString().toStdString();
        WriteEnd end;
        end.cause = q.value(12).toString().toStdString();
        end.confirmed = q.value(13).toInt() != 0;
        end.unchanged = q.value(14).toInt() != 0;
        end.after = optionalInt(q.value(15));
        row.end = end;
    }
    return row;
}

// The day after `day` (YYYY-MM-DD), or the empty text when `day` is no date.
std::string nextDay(const std::string& day) {
    const QDate date = QDate::fromString(QString::fromStdString(day), Qt::ISODate);
    if (!date.isValid()) return {};
    return date.addDays(1).toString(Qt::ISODate).toStdString();
}

}  // namespace

SqlJournal::SqlJournal(std::string where, JournalLocation location)
    : where_(std::move(where)), location_(std::move(location)), connection_(connectionName()) {
    const bool sqlite = location_.kind == JournalLocation::Kind::File;
    QSqlDatabase db = QSqlDatabase::addDatabase(
        sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), connection_);
    if (sqlite) {
        db.setDatabaseName(QString::fromStdString(location_.path));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    } else {
        if (!location_.host.empty()) db.setHostName(QString::fromStdString(location_.host));
        if (location_.port >= 0) db.setPort(location_.port);
        if (!location_.database.empty())
            db.setDatabaseName(QString::fromStdString(location_.database));
        if (!location_.user.empty()) db.setUserName(QString::fromStdString(location_.user));
        db.setConnectOptions(QString::fromStdString(location_.options));
    }
}

SqlJournal::~SqlJournal() {
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        if (db.isOpen()) db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

void SqlJournal::disconnect() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    db.close();
    connected_ = false;
}

bool SqlJournal::connect(std::string& error) {
    if (connected_) return true;
    if (!open(error) || !prepareSchema(error)) {
        disconnect();
        return false;
    }
    connected_ = true;
    return true;
}

bool SqlJournal::open(std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.isValid()) {
        error = "the Qt SQL driver for it is not installed";
        return false;
    }
    if (!db.open()) {
        error = text(db.lastError());
        return false;
    }
    if (location_.kind != JournalLocation::Kind::File) return true;
    // Every commit reaches the disk before the write it records starts. Write-ahead logging
    // lets readers in while another program on the station writes.
    QSqlQuery q(db);
    for (const char* pragma : {"PRAGMA synchronous = FULL", "PRAGMA journal_mode = WAL"}) {
        if (!q.exec(QString::fromLatin1(pragma))) {
            error = "not a journal: " + text(q.lastError());
            return false;
        }
    }
    return true;
}

bool SqlJournal::prepareSchema(std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    // Two stations may make the schema at once: the second then finds the first's.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (q.exec(QStringLiteral("SELECT schema_version FROM palmota_journal")) && q.next()) {
            const int version = q.value(0).toInt();
            if (version > kSchemaVersion) {
                error = "its schema is version " + std::to_string(version) + ", newer than the " +
                        std::to_string(kSchemaVersion) + " this program knows: use a newer palmota";
                return false;
            }
            if (version < 1) {
                error = "not a journal: schema version " + std::to_string(version);
                return false;
            }
            return true;
        }
        if (attempt == 2) break;
        // No journal yet: made whole or not at all.
        if (!db.transaction()) {
            error = text(db.lastError());
            return false;
        }
        bool made = true;
        for (const char* statement : kCreateSchema)
            made = made && q.exec(QString::fromLatin1(statement));
        made = made &&
               q.prepare(QStringLiteral("INSERT INTO palmota_journal (schema_version) VALUES (?)"));
        if (made) {
            q.addBindValue(kSchemaVersion);
            made = q.exec();
        }
        if (made && db.commit()) continue;
        error = "not a journal: " + text(q.lastError().isValid() ? q.lastError() : db.lastError());
        db.rollback();
    }
    return false;
}

std::optional<std::string> SqlJournal::begin(const WriteStart& start, std::string& error) {
    const std::string id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    // A connection found broken is made again once: a server restarted since the last write
    // takes the row as well as ever.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!connect(error)) return std::nullopt;
        QSqlQuery q(QSqlDatabase::database(connection_, false));
        q.prepare(
            QStringLiteral("INSERT INTO credit_writes (id, station, user_name, program, "
                           "port, serial, serial_source, credit_before, amount, topup, "
                           "started) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        q.addBindValue(QString::fromStdString(id));
        q.addBindValue(QString::fromStdString(start.station));
        q.addBindValue(QString::fromStdString(start.user));
        q.addBindValue(QString::fromStdString(start.program));
        q.addBindValue(QString::fromStdString(start.port));
        q.addBindValue(nullable(start.serial));
        q.addBindValue(nullable(start.serialSource == SerialSource::None
                                    ? std::nullopt
                                    : std::optional(serialSourceName(start.serialSource))));
        q.addBindValue(nullable(start.before));
        q.addBindValue(start.amount);
        q.addBindValue(nullable(start.topup));
        q.addBindValue(now());
        if (q.exec()) return id;
        error = text(q.lastError());
        disconnect();
    }
    return std::nullopt;
}

bool SqlJournal::complete(const std::string& id, const WriteEnd& end, std::string& error) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!connect(error)) return false;
        QSqlQuery q(QSqlDatabase::database(connection_, false));
        q.prepare(
            QStringLiteral("UPDATE credit_writes SET ended = ?, cause = ?, confirmed = ?, "
                           "unchanged = ?, credit_after = ? WHERE id = ?"));
        q.addBindValue(now());
        q.addBindValue(QString::fromStdString(end.cause));
        q.addBindValue(end.confirmed ? 1 : 0);
        q.addBindValue(end.unchanged ? 1 : 0);
        q.addBindValue(nullable(end.after));
        q.addBindValue(QString::fromStdString(id));
        if (q.exec()) {
            if (q.numRowsAffected() == 1) return true;
            error = "no row " + id;
            return false;
        }
        error = text(q.lastError());
        disconnect();
    }
    return false;
}

std::optional<std::vector<WriteRow>> SqlJournal::rows(const RowFilter& filter, std::string& error) {
    if (!connect(error)) return std::nullopt;
    // Times are ISO 8601 text: a day's rows are those from "YYYY-MM-DD" up to the next day.
    // "~" sorts after every digit, so that an open end takes every row.
    const std::string to = filter.to.empty() ? "~" : nextDay(filter.to);
    QString statement = QStringLiteral(
                            "SELECT %1 FROM credit_writes WHERE started >= ? AND "
                            "started < ?")
                            .arg(QLatin1String(kColumns));
    if (!filter.station.empty()) statement += QStringLiteral(" AND station = ?");
    statement += QStringLiteral(" ORDER BY started, id");
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    q.prepare(statement);
    q.addBindValue(QString::fromStdString(filter.from));
    q.addBindValue(QString::fromStdString(to));
    if (!filter.station.empty()) q.addBindValue(QString::fromStdString(filter.station));
    if (!q.exec()) {
        error = text(q.lastError());
        return std::nullopt;
    }
    std::vector<WriteRow> found;
    while (q.next()) found.push_back(rowFrom(q));
    return found;
}

bool SqlJournal::lastConfirmed(const std::string& serial, std::optional<WriteRow>& row,
                               std::string& error) {
    row.reset();
    if (!connect(error)) return false;
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM credit_writes WHERE serial = ? AND confirmed = 1 "
                             "ORDER BY started DESC, id DESC LIMIT 1")
                  .arg(QLatin1String(kColumns)));
    q.addBindValue(QString::fromStdString(serial));
    if (!q.exec()) {
        error = text(q.lastError());
        return false;
    }
    if (q.next()) row = rowFrom(q);
    return true;
}

}  // namespace palmota::journal

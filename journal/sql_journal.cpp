#include "journal/sql_journal.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <atomic>

#include "journal/journal_platform.h"
#include "journal/server_message.h"
#include "journal/sql_schema.h"
#include "process/platform.h"

namespace palmota::journal {

namespace {

// Who writes a column: begin() when the row is committed before the write, complete() when
// its outcome is recorded.
enum class WrittenBy { Begin, Complete };

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

std::optional<std::string> optionalText(const QVariant& value) {
    if (value.isNull()) return std::nullopt;
    return value.toString().toStdString();
}

std::string text(const QVariant& value) {
    return value.toString().toStdString();
}

// The journal's table, column by column: the schema, the INSERT, the UPDATE, the SELECT and
// the row reader all go by this list. Types both databases know alike: TEXT, INTEGER (32
// bits in PostgreSQL, enough for a credit). Times are UTC in ISO 8601 with milliseconds;
// they are compared as times by comparing their bytes, which PostgreSQL does only under
// the C collation (a French or ICU collation sorts "~" or "-" apart from the digits).
// The id is made by the station (a UUID), so that no sequence differs between the two.
struct Column {
    const char* name;
    const char* type;
    bool time;
    WrittenBy writtenBy;
    int since;  // the schema version that added it
    QVariant (*value)(const WriteRow&);
    void (*read)(WriteRow&, const QVariant&);
};

// The row being read has an end to fill; it is dropped when the row has no end time.
WriteEnd& end(WriteRow& row) {
    return *row.end;
}
const WriteEnd& end(const WriteRow& row) {
    return *row.end;
}

const Column kColumns[] = {
    {"id", "TEXT PRIMARY KEY", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return QVariant(QString::fromStdString(r.id)); },
     [](WriteRow& r, const QVariant& v) { r.id = text(v); }},
    {"station", "TEXT NOT NULL", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return QVariant(QString::fromStdString(r.start.station)); },
     [](WriteRow& r, const QVariant& v) { r.start.station = text(v); }},
    {"user_name", "TEXT NOT NULL", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return QVariant(QString::fromStdString(r.start.user)); },
     [](WriteRow& r, const QVariant& v) { r.start.user = text(v); }},
    {"program", "TEXT NOT NULL", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return QVariant(QString::fromStdString(r.start.program)); },
     [](WriteRow& r, const QVariant& v) { r.start.program = text(v); }},
    {"port", "TEXT NOT NULL", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return QVariant(QString::fromStdString(r.start.port)); },
     [](WriteRow& r, const QVariant& v) { r.start.port = text(v); }},
    {"serial", "TEXT", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return nullable(r.start.serial); },
     [](WriteRow& r, const QVariant& v) { r.start.serial = optionalText(v); }},
    {"serial_source", "TEXT", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) {
         return nullable(r.start.serialSource == SerialSource::None
                             ? std::nullopt
                             : std::optional(serialSourceName(r.start.serialSource)));
     },
     [](WriteRow& r, const QVariant& v) { r.start.serialSource = serialSourceFromName(text(v)); }},
    {"credit_before", "INTEGER", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return nullable(r.start.before); },
     [](WriteRow& r, const QVariant& v) { r.start.before = optionalInt(v); }},
    {"amount", "INTEGER NOT NULL", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return QVariant(r.start.amount); },
     [](WriteRow& r, const QVariant& v) { r.start.amount = v.toInt(); }},
    {"topup", "INTEGER", false, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return nullable(r.start.topup); },
     [](WriteRow& r, const QVariant& v) { r.start.topup = optionalInt(v); }},
    {"started", "TEXT NOT NULL", true, WrittenBy::Begin, 1,
     [](const WriteRow& r) { return QVariant(QString::fromStdString(r.started)); },
     [](WriteRow& r, const QVariant& v) { r.started = text(v); }},
    {"ended", "TEXT", true, WrittenBy::Complete, 1,
     [](const WriteRow& r) { return nullable(r.ended); },
     [](WriteRow& r, const QVariant& v) { r.ended = optionalText(v); }},
    {"cause", "TEXT", false, WrittenBy::Complete, 1,
     [](const WriteRow& r) { return QVariant(QString::fromStdString(end(r).cause)); },
     [](WriteRow& r, const QVariant& v) { end(r).cause = text(v); }},
    {"confirmed", "INTEGER", false, WrittenBy::Complete, 1,
     [](const WriteRow& r) { return QVariant(end(r).confirmed ? 1 : 0); },
     [](WriteRow& r, const QVariant& v) { end(r).confirmed = v.toInt() != 0; }},
    {"unchanged", "INTEGER", false, WrittenBy::Complete, 1,
     [](const WriteRow& r) { return QVariant(end(r).unchanged ? 1 : 0); },
     [](WriteRow& r, const QVariant& v) { end(r).unchanged = v.toInt() != 0; }},
    {"credit_after", "INTEGER", false, WrittenBy::Complete, 1,
     [](const WriteRow& r) { return nullable(end(r).after); },
     [](WriteRow& r, const QVariant& v) { end(r).after = optionalInt(v); }},
    {"serial_after", "TEXT", false, WrittenBy::Complete, 2,
     [](const WriteRow& r) { return nullable(end(r).serialAfter); },
     [](WriteRow& r, const QVariant& v) { end(r).serialAfter = optionalText(v); }},
};

QString name(const Column& c) {
    return QString::fromLatin1(c.name);
}

QString table() {
    return schema::writesTable();
}

// Whether a journal of `version` has the column `columnName`: it came with the version its
// `since` names.
bool hasColumn(int version, const char* columnName) {
    for (const Column& c : kColumns)
        if (std::string_view(c.name) == columnName) return c.since <= version;
    return false;
}

// A column's type as the database is told it: time columns compare byte by byte.
QString columnType(const Column& c, bool sqlite) {
    QString type = QString::fromLatin1(c.type);
    // SQLite compares text byte by byte unless told otherwise.
    if (c.time && !sqlite) type += QStringLiteral(" COLLATE \"C\"");
    return type;
}

QStringList createSchema(bool sqlite) {
    QStringList columns;
    for (const Column& c : kColumns) columns << name(c) + u' ' + columnType(c, sqlite);
    return {
        QStringLiteral("CREATE TABLE %1 (schema_version INTEGER NOT NULL)")
            .arg(schema::versionTable()),
        QStringLiteral("CREATE TABLE %1 (%2)").arg(table(), columns.join(QStringLiteral(", "))),
        QStringLiteral("CREATE INDEX %1_started ON %1 (started)").arg(table()),
        QStringLiteral("CREATE INDEX %1_serial ON %1 (serial, started)").arg(table()),
    };
}

// The statements that take a journal of version `from` to `from + 1`.
QStringList upgradeStatements(int from, bool sqlite) {
    QStringList statements;
    for (const Column& c : kColumns) {
        if (c.since == from + 1)
            statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                              .arg(table(), name(c), columnType(c, sqlite));
    }
    // Version 1 compared its times under the database's own collation.
    if (from == 1 && !sqlite) {
        for (const Column& c : kColumns)
            if (c.time)
                statements << QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 TYPE %3")
                                  .arg(table(), name(c), QStringLiteral("TEXT COLLATE \"C\""));
    }
    return statements;
}

// The SELECT list for a journal of `version`: columns it does not have yet read as NULL.
QString selectList(int version) {
    QStringList list;
    for (const Column& c : kColumns)
        list << (c.since <= version ? name(c) : QStringLiteral("NULL AS ") + name(c));
    return list.join(QStringLiteral(", "));
}

WriteRow rowFrom(const QSqlQuery& q) {
    WriteRow row;
    row.end.emplace();
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i)
        kColumns[i].read(row, q.value(i));
    // No end time: the outcome was never recorded, whatever else the row holds.
    if (!row.ended) row.end.reset();
    return row;
}

QString connectionName() {
    static std::atomic<int> count{0};
    return QStringLiteral("palmota-journal-%1").arg(++count);
}

QString now() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

std::string text(const QSqlError& error) {
    return errorText(error);
}

// What a write that waited for a lock in vain says, on either database.
std::string lockedMessage() {
    return "the journal is locked by another program: gave up after " +
           secondsText(std::chrono::milliseconds{SqlJournal::kLockWaitMs});
}

// The day after `day` (YYYY-MM-DD), or the empty text when there is none to write: `day`
// is no date, or the last day a four-digit year holds.
std::string nextDay(const std::string& day) {
    const QDate date = QDate::fromString(QString::fromStdString(day), Qt::ISODate);
    const QDate next = date.isValid() ? date.addDays(1) : QDate();
    if (!next.isValid() || next.year() > 9999) return {};
    return next.toString(Qt::ISODate).toStdString();
}

// Qt's database drivers tell some failures through the message handler ("Unable to free
// statement: connection pointer is NULL", once for each statement of a lost connection):
// while the journal works, they go to its sink, a wire trace, and never to standard error.
class DriverMessages {
  public:
    explicit DriverMessages(const std::function<void(const std::string&)>& sink)
        : sink_(&sink), outer_(current), previous_(qInstallMessageHandler(&DriverMessages::take)) {
        current = this;
    }
    ~DriverMessages() {
        current = outer_;
        qInstallMessageHandler(previous_);
    }
    DriverMessages(const DriverMessages&) = delete;
    DriverMessages& operator=(const DriverMessages&) = delete;

  private:
    static void take(QtMsgType, const QMessageLogContext&, const QString& message) {
        if (current && *current->sink_) (*current->sink_)(message.simplified().toStdString());
    }

    static inline DriverMessages* current = nullptr;
    const std::function<void(const std::string&)>* sink_;
    DriverMessages* outer_;
    QtMessageHandler previous_;
};

}  // namespace

SqlJournal::SqlJournal(std::string where, JournalLocation location, Access access)
    : where_(std::move(where)),
      location_(std::move(location)),
      access_(access),
      connection_(connectionName()) {
    QSqlDatabase db = QSqlDatabase::addDatabase(
        sqlite() ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"), connection_);
    if (sqlite()) {
        db.setDatabaseName(QString::fromStdString(location_.path));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kLockWaitMs));
    } else {
        if (!location_.host.empty()) db.setHostName(QString::fromStdString(location_.host));
        if (location_.port >= 0) db.setPort(location_.port);
        if (!location_.database.empty())
            db.setDatabaseName(QString::fromStdString(location_.database));
        if (!location_.user.empty()) db.setUserName(QString::fromStdString(location_.user));
        db.setConnectOptions(QString::fromStdString(location_.options));
        watch_ = std::make_unique<AnswerWatch>(kAnswerDeadline, platform::terminationRequested);
    }
}

SqlJournal::~SqlJournal() {
    const DriverMessages quiet(driverMessages_);
    {
        QSqlDatabase db = database();
        if (db.isOpen()) db.close();
    }
    if (watch_) watch_->detach();
    QSqlDatabase::removeDatabase(connection_);
}

void SqlJournal::setDriverMessages(std::function<void(const std::string&)> sink) {
    driverMessages_ = std::move(sink);
}

QSqlDatabase SqlJournal::database() const {
    return QSqlDatabase::database(connection_, false);
}

void SqlJournal::disconnect() {
    database().close();
    if (watch_) watch_->detach();
    connected_ = false;
}

bool SqlJournal::exists(std::string& error) {
    const DriverMessages quiet(driverMessages_);
    // A file the user may not read is a journal that cannot be read, not the lack of one.
    if (sqlite()) {
        error = readyJournalFile(location_.path, false);
        if (!error.empty()) return false;
    }
    // Opening an SQLite file that is not there would make it.
    if (sqlite() && !QFileInfo::exists(QString::fromStdString(location_.path))) return false;
    if (!open(error)) {
        disconnect();
        // A file that is no database holds no journal; a server that cannot be reached
        // cannot tell.
        if (!sqlite()) return false;
        error.clear();
        return false;
    }
    const bool found = watched(
                           [this] {
                               QSqlQuery q(database());
                               return q.exec(schema::readVersion()) && q.next();
                           },
                           error)
                           .done;
    if (!found) disconnect();
    return found;
}

bool SqlJournal::connect(std::string& error) {
    if (!lost_.empty()) {
        error = lost_;
        return false;
    }
    if (connected_) return true;
    const DriverMessages quiet(driverMessages_);
    if (!open(error) || !watched([&] { return prepareSchema(error); }, error).done) {
        disconnect();
        return false;
    }
    if (sqlite()) fileIdentity_ = platform::fileIdentity(location_.path);
    connected_ = true;
    return true;
}

bool SqlJournal::open(std::string& error) {
    QSqlDatabase db = database();
    if (!db.isValid()) {
        error = "the Qt SQL driver for it is not installed";
        return false;
    }
    if (db.isOpen()) return true;
    if (sqlite()) {
        error = readyJournalFile(location_.path, access_ == Access::Record);
        if (!error.empty()) return false;
    }
    if (!db.open()) {
        error = text(db.lastError());
        return false;
    }
    if (!sqlite()) return startPostgresSession(error);
    QSqlQuery q(db);
    // Every commit reaches the disk before the write it records starts.
    if (!q.exec(QStringLiteral("PRAGMA synchronous = FULL"))) {
        error = fileError(q.lastError());
        return false;
    }
    return access_ == Access::Read || ownFile(error);
}

std::string SqlJournal::fileError(const QSqlError& error) {
    // SQLITE_READONLY (8), and its extended codes (8 + 256 n): a file the user may not write,
    // or on a file system mounted read-only; it may well be a journal.
    bool number = false;
    const int code = error.nativeErrorCode().toInt(&number);
    if (number && (code & 0xFF) == 8) return "the journal is read-only: " + text(error);
    return "not a journal: " + text(error);
}

bool SqlJournal::ownFile(std::string& error) {
    QSqlQuery q(database());
    // Reading the table list changes nothing; a file that is no database fails here.
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                               "ORDER BY name"))) {
        error = fileError(q.lastError());
        return false;
    }
    QStringList tables;
    while (q.next()) tables << q.value(0).toString();
    q.finish();
    if (!tables.isEmpty() && !tables.contains(schema::versionTable())) {
        error = "not a journal: an SQLite database of another program (its tables: " +
                tables.join(QStringLiteral(", ")).toStdString() + "), left as it is";
        return false;
    }
    // A rollback journal, not write-ahead logging: a commit ends with its rows in the journal
    // file itself (the rollback file beside it holds the pages as they were, and goes), so
    // the file alone, copied or moved between two writes, holds every row. With a
    // write-ahead log the rows stay in journal.db-wal until a checkpoint, which another
    // program reading at that moment holds back: a backup of journal.db alone would lose
    // them, and a checkpoint after each commit could not promise otherwise. What it costs: a
    // report reading the journal holds a write off for the moment it reads (the busy
    // time-out waits for it), and each commit syncs the rollback file, then the journal,
    // where a write-ahead log synced one file (cli-bench gives the time a write takes).
    // Readers need no shared-memory file either, so a user who may only read the journal
    // reads it. It is the file's own setting, made only on a file that is a journal or is to
    // be one.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode")) || !q.next()) {
        error = fileError(q.lastError());
        return false;
    }
    const bool rollback = q.value(0).toString() == QLatin1String("delete");
    q.finish();
    if (rollback) return true;
    if (!q.exec(QStringLiteral("PRAGMA journal_mode = DELETE")) || !q.next()) {
        const QSqlError why = q.lastError();
        // A journal an earlier version left in write-ahead mode changes mode only when no
        // other program has it open.
        error = lockTimeout(why) ? "the journal is in write-ahead mode and another program (of "
                                   "an earlier version) has it open: " +
                                       text(why) + "; stop that program, then try again"
                                 : fileError(why);
        return false;
    }
    const QString mode = q.value(0).toString();
    q.finish();
    if (mode != QLatin1String("delete")) {
        error = "the journal stays in " + mode.toStdString() + " mode: another program has it open";
        return false;
    }
    return true;
}

bool SqlJournal::readVersion(int& version, std::string& error) {
    QSqlQuery q(database());
    // Whether the journal's table is there, asked without an error: PostgreSQL gives up a
    // transaction at its first failed statement.
    const QString there = sqlite()
                              ? QStringLiteral(
                                    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                    "name = '%1'")
                                    .arg(schema::versionTable())
                              : QStringLiteral(
                                    "SELECT count(*) FROM (SELECT to_regclass('%1') AS t) AS f "
                                    "WHERE t IS NOT NULL")
                                    .arg(schema::versionTable());
    if (!q.exec(there) || !q.next()) {
        error = "not a journal: " + text(q.lastError());
        return false;
    }
    version = 0;
    if (q.value(0).toInt() == 0) return true;
    q.finish();
    if (!q.exec(schema::readVersion()) || !q.next()) {
        error = "not a journal: " + text(q.lastError());
        return false;
    }
    version = q.value(0).toInt();
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

bool SqlJournal::makeSchema(std::string& error) {
    // Within prepareSchema's transaction, under its lock: made whole or not at all.
    QSqlQuery q(database());
    bool done = true;
    for (const QString& statement : createSchema(sqlite())) done = done && q.exec(statement);
    done = done && q.prepare(QStringLiteral("INSERT INTO %1 (schema_version) VALUES (?)")
                                 .arg(schema::versionTable()));
    if (done) {
        q.addBindValue(kSchemaVersion);
        done = q.exec();
    }
    if (!done) error = "not a journal: " + text(q.lastError());
    return done;
}

bool SqlJournal::prepareSchema(std::string& error) {
    QSqlDatabase db = database();
    QSqlQuery q(db);
    const bool record = access_ == Access::Record;
    // A journal of this version is only read. To make or upgrade one, the version is read
    // again and the schema changed under one lock: two programs starting at once (two
    // stations, or the window and a script) would otherwise both find version 1 and both add
    // its columns, or deadlock on SQLite. The second waits for the first (SQLite's busy
    // time-out, PostgreSQL's lock_timeout), then finds the schema done. SQLite's BEGIN
    // IMMEDIATE takes the write lock at once, to the commit. PostgreSQL's advisory lock
    // needs no table to exist yet, nor any privilege; it is the session's, taken before the
    // transaction begins, so that the transaction sees what the other program committed
    // (within a transaction, a name looked up before the wait could stay unknown), and let
    // go after it, or with the connection. Its key is "palmota" in ASCII.
    const QString key = QStringLiteral("31632315711976545");
    for (const bool locked : {false, true}) {
        bool advisory = false;
        const auto release = [&] {
            if (advisory) q.exec(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(key));
            advisory = false;
        };
        if (locked) {
            advisory = !sqlite();
            const bool taken =
                sqlite() ? q.exec(QStringLiteral("BEGIN IMMEDIATE"))
                         : q.exec(QStringLiteral("SELECT pg_advisory_lock(%1)").arg(key)) &&
                               q.exec(QStringLiteral("BEGIN"));
            if (!taken) {
                const QSqlError why = q.lastError();
                error = sqlite() && !lockTimeout(why) ? fileError(why) : text(why);
                q.exec(QStringLiteral("ROLLBACK"));
                release();
                return false;
            }
        }
        const auto failed = [&](const std::string& why) {
            error = why;
            q.finish();
            if (locked) q.exec(QStringLiteral("ROLLBACK"));
            release();
            return false;
        };
        int version = 0;
        std::string why;
        if (!readVersion(version, why)) return failed(why);
        if (!record && version == 0) return failed("no journal there");
        if (!record || version == kSchemaVersion) {
            // Made or upgraded meanwhile by another program: its work is used as it is.
            if (locked) q.exec(QStringLiteral("ROLLBACK"));
            release();
            return true;
        }
        if (!locked) continue;
        if (!(version == 0 ? makeSchema(why) : upgrade(version, why))) return failed(why);
        if (!q.exec(QStringLiteral("COMMIT"))) return failed(text(q.lastError()));
        release();
        return true;
    }
    return false;
}

bool SqlJournal::upgrade(int from, std::string& error) {
    // Within prepareSchema's transaction, under its lock.
    QSqlQuery q(database());
    for (int version = from; version < kSchemaVersion; ++version) {
        bool done = true;
        for (const QString& statement : upgradeStatements(version, sqlite()))
            done = done && q.exec(statement);
        done = done && q.prepare(schema::setVersion());
        if (done) {
            q.addBindValue(version + 1);
            q.addBindValue(version);
            done = q.exec();
        }
        if (done) continue;
        error = "upgrading its schema from version " + std::to_string(version) + " to " +
                std::to_string(version + 1) + ": " + text(q.lastError());
        return false;
    }
    return true;
}

bool SqlJournal::stillThere(std::string& error) {
    if (!sqlite()) return true;
    const std::string now = platform::fileIdentity(location_.path);
    if (now == fileIdentity_) return true;
    disconnect();
    // Its rows went with it (to an archive, a backup, or nowhere): a file made anew, or
    // another put in its place, would begin the day with none of them, and two files would
    // each hold a part of it. Writes stop here until the program starts again, on the
    // journal it is then given.
    lost_ = now.empty() ? "the journal file was moved or removed since it was opened"
                        : "another file took the journal's place since it was opened";
    lost_ += "; no more writes until the program is started again";
    error = lost_;
    return false;
}

bool SqlJournal::lockTimeout(const QSqlError& error) const {
    const QString code = error.nativeErrorCode();
    // SQLite: SQLITE_BUSY (5) and SQLITE_LOCKED (6) once the busy time-out passed.
    // PostgreSQL: lock_not_available (55P03), once lock_timeout passed.
    if (sqlite()) return code == QLatin1String("5") || code == QLatin1String("6");
    return code == QLatin1String("55P03");
}

int SqlJournal::storedVersion() {
    QSqlQuery q(database());
    if (q.exec(schema::readVersion()) && q.next()) return q.value(0).toInt();
    return kSchemaVersion;
}

template <typename Run>
bool SqlJournal::withConnection(Run run, std::string& error) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!connect(error) || !stillThere(error)) return false;
        QSqlError failed;
        // The query lives within the watched step: freeing its prepared statement is a
        // statement too.
        const Watched ran = watched(
            [&] {
                QSqlQuery q(database());
                if (run(q, error)) return true;
                failed = q.lastError();
                return false;
            },
            error);
        // A server that did not answer in time is not asked again: that would double the
        // wait.
        if (ran.done || ran.cut) return ran.done;
        if (!failed.isValid()) return false;  // `run` said why
        if (lockTimeout(failed)) {
            error = lockedMessage();
            return false;
        }
        error = text(failed);
        // PostgreSQL's statement time-out: the server gave up as the client's deadline does.
        if (!sqlite() && failed.nativeErrorCode() == QLatin1String("57014")) return false;
        // A statement refused on a live connection fails again; a connection the server
        // dropped (it restarted) is made anew once.
        std::string unused;
        const Watched probed = watched(
            [this] {
                QSqlQuery probe(database());
                return probe.exec(QStringLiteral("SELECT 1"));
            },
            unused);
        if (probed.done || probed.cut) return false;
        disconnect();
    }
    return false;
}

std::optional<std::string> SqlJournal::begin(const WriteStart& start, std::string& error) {
    const DriverMessages quiet(driverMessages_);
    WriteRow row;
    row.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    row.start = start;
    row.started = now().toStdString();
    QStringList names;
    QStringList marks;
    for (const Column& c : kColumns) {
        if (c.writtenBy != WrittenBy::Begin) continue;
        names << name(c);
        marks << QStringLiteral("?");
    }
    const QString statement =
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(table(), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    const bool done = withConnection(
        [&](QSqlQuery& q, std::string&) {
            if (!q.prepare(statement)) return false;
            for (const Column& c : kColumns)
                if (c.writtenBy == WrittenBy::Begin) q.addBindValue(c.value(row));
            return q.exec();
        },
        error);
    if (!done) return std::nullopt;
    return row.id;
}

bool SqlJournal::complete(const std::string& id, const WriteEnd& end, std::string& error) {
    const DriverMessages quiet(driverMessages_);
    WriteRow row;
    row.ended = now().toStdString();
    row.end = end;
    QStringList assignments;
    for (const Column& c : kColumns)
        if (c.writtenBy == WrittenBy::Complete) assignments << name(c) + QStringLiteral(" = ?");
    const QString statement = QStringLiteral("UPDATE %1 SET %2 WHERE id = ?")
                                  .arg(table(), assignments.join(QStringLiteral(", ")));
    return withConnection(
        [&](QSqlQuery& q, std::string& why) {
            if (!q.prepare(statement)) return false;
            for (const Column& c : kColumns)
                if (c.writtenBy == WrittenBy::Complete) q.addBindValue(c.value(row));
            q.addBindValue(QString::fromStdString(id));
            if (!q.exec()) return false;
            if (q.numRowsAffected() == 1) return true;
            why = "no row " + id;
            return false;
        },
        error);
}

std::optional<std::vector<WriteRow>> SqlJournal::rows(const RowFilter& filter, std::string& error) {
    const DriverMessages quiet(driverMessages_);
    if (!connect(error)) return std::nullopt;
    // A day's rows are those from "YYYY-MM-DD" up to the next day, the times compared byte
    // by byte.
    QStringList conditions;
    QVariantList values;
    if (!filter.from.empty()) {
        conditions << QStringLiteral("started >= ?");
        values << QString::fromStdString(filter.from);
    }
    if (const std::string end = filter.to.empty() ? std::string() : nextDay(filter.to);
        !end.empty()) {
        conditions << QStringLiteral("started < ?");
        values << QString::fromStdString(end);
    }
    if (!filter.station.empty()) {
        conditions << QStringLiteral("station = ?");
        values << QString::fromStdString(filter.station);
    }
    std::vector<WriteRow> found;
    const bool done = withConnection(
        [&](QSqlQuery& q, std::string&) {
            QString statement =
                QStringLiteral("SELECT %1 FROM %2").arg(selectList(storedVersion()), table());
            if (!conditions.isEmpty())
                statement += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
            statement += QStringLiteral(" ORDER BY started, id");
            q.setForwardOnly(true);
            if (!q.prepare(statement)) return false;
            for (const QVariant& value : values) q.addBindValue(value);
            if (!q.exec()) return false;
            found.clear();
            while (q.next()) found.push_back(rowFrom(q));
            return true;
        },
        error);
    if (!done) return std::nullopt;
    return found;
}

bool SqlJournal::lastConfirmed(const std::string& serial, std::optional<WriteRow>& row,
                               std::string& error) {
    const DriverMessages quiet(driverMessages_);
    row.reset();
    return withConnection(
        [&](QSqlQuery& q, std::string&) {
            const int version = storedVersion();
            // The badge a write went to is the one read back after it, when that was read.
            const bool readBack = hasColumn(version, "serial_after");
            const QString badge =
                readBack
                    ? QStringLiteral("(serial_after = ? OR (serial_after IS NULL AND serial = ?))")
                    : QStringLiteral("serial = ?");
            q.setForwardOnly(true);
            if (!q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE %3 AND confirmed = 1 "
                                          "ORDER BY started DESC, id DESC LIMIT 1")
                               .arg(selectList(version), table(), badge)))
                return false;
            const QString s = QString::fromStdString(serial);
            q.addBindValue(s);
            if (readBack) q.addBindValue(s);
            if (!q.exec()) return false;
            if (q.next()) row = rowFrom(q);
            return true;
        },
        error);
}

}  // namespace palmota::journal

#include "journal/sql_journal.h"

#include <QCoreApplication>
#include <QCryptographicHash>
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
#include <algorithm>
#include <atomic>
#include <map>

#include "journal/cashup_data.h"
#include "journal/daily_report.h"
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
    {"offset_minutes", "INTEGER", false, WrittenBy::Begin, 3,
     [](const WriteRow& r) { return nullable(r.offsetMinutes); },
     [](WriteRow& r, const QVariant& v) { r.offsetMinutes = optionalInt(v); }},
};

// From version 3 every record is a link of its station's chain: its place (1, 2, ... per
// station), the hash of the record before it (empty for the first), and its own hash over
// its kind, its fields in their fixed order and that previous hash. A write's row is
// written once, by begin(), with its link; its outcome is a record of its own in
// journal_records, naming it.
constexpr int kChainSince = 3;
const char* const kLinkColumns[] = {"seq INTEGER", "prev_hash TEXT", "hash TEXT"};

// journal_records: outcomes and events. An outcome fills the columns of a write's end; an
// event its program and detail.
QString recordsColumns(bool sqlite) {
    const QString time =
        sqlite ? QStringLiteral("TEXT NOT NULL") : QStringLiteral("TEXT COLLATE \"C\" NOT NULL");
    return QStringLiteral(
               "id TEXT PRIMARY KEY, station TEXT NOT NULL, seq INTEGER NOT NULL, "
               "kind TEXT NOT NULL, at %1, offset_minutes INTEGER NOT NULL, "
               "write_id TEXT, cause TEXT, confirmed INTEGER, unchanged INTEGER, "
               "credit_after INTEGER, serial_after TEXT, program TEXT, detail TEXT, "
               "prev_hash TEXT NOT NULL, hash TEXT NOT NULL")
        .arg(time);
}

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

// A record's fields in the order they are stored and hashed, the link's own last.
constexpr const char* kRecordFields =
    "id, station, seq, kind, at, offset_minutes, write_id, cause, confirmed, unchanged, "
    "credit_after, serial_after, program, detail";

// The rows of a station before its chain, and the hash over them, each row's over the one
// before.
struct Sealed {
    QString station;
    long long rows = 0;
    QString hash;
};

// The canonical encoding of a record, hashed with SHA-256: its kind, then each field in its
// fixed order, each as a 4-byte big-endian length and its UTF-8 bytes (a number in decimal
// digits; NULL as the length FFFFFFFF with no bytes), then the previous hash the same way.
// Lengths before contents: no two lists of fields encode alike.
QString chainHash(const QString& kind, const QVariantList& fields, const QString& previous) {
    QCryptographicHash sha(QCryptographicHash::Sha256);
    const auto add = [&](const QVariant& value) {
        // A null text binds as NULL, and is read back as one.
        if (value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isNull())) {
            sha.addData(QByteArrayView("\xff\xff\xff\xff", 4));
            return;
        }
        const QByteArray bytes = value.toString().toUtf8();
        const quint32 n = static_cast<quint32>(bytes.size());
        const char length[4] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
        sha.addData(QByteArrayView(length, 4));
        sha.addData(bytes);
    };
    add(kind);
    for (const QVariant& field : fields) add(field);
    add(previous);
    return QString::fromLatin1(sha.result().toHex());
}

// A column's type as the database is told it: time columns compare byte by byte.
QString columnType(const Column& c, bool sqlite) {
    QString type = QString::fromLatin1(c.type);
    // SQLite compares text byte by byte unless told otherwise.
    if (c.time && !sqlite) type += QStringLiteral(" COLLATE \"C\"");
    return type;
}

// What version 3 adds beside the columns: the records table, and each chain's place unique.
QStringList chainTables(bool sqlite) {
    return {
        QStringLiteral("CREATE TABLE %1 (%2)").arg(schema::recordsTable(), recordsColumns(sqlite)),
        QStringLiteral("CREATE UNIQUE INDEX %1_link ON %1 (station, seq)")
            .arg(schema::recordsTable()),
        QStringLiteral("CREATE INDEX %1_write ON %1 (write_id)").arg(schema::recordsTable()),
        QStringLiteral("CREATE UNIQUE INDEX %1_link ON %1 (station, seq)").arg(table()),
    };
}

QStringList createSchema(bool sqlite) {
    QStringList columns;
    for (const Column& c : kColumns) columns << name(c) + u' ' + columnType(c, sqlite);
    for (const char* link : kLinkColumns) columns << QString::fromLatin1(link);
    return QStringList{
               QStringLiteral("CREATE TABLE %1 (schema_version INTEGER NOT NULL)")
                   .arg(schema::versionTable()),
               QStringLiteral("CREATE TABLE %1 (%2)")
                   .arg(table(), columns.join(QStringLiteral(", "))),
               QStringLiteral("CREATE INDEX %1_started ON %1 (started)").arg(table()),
               QStringLiteral("CREATE INDEX %1_serial ON %1 (serial, started)").arg(table()),
           } +
           chainTables(sqlite);
}

// The statements that take a journal of version `from` to `from + 1`.
QStringList upgradeStatements(int from, bool sqlite) {
    QStringList statements;
    for (const Column& c : kColumns) {
        if (c.since == from + 1)
            statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                              .arg(table(), name(c), columnType(c, sqlite));
    }
    if (from + 1 == kChainSince) {
        for (const char* link : kLinkColumns)
            statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                              .arg(table(), QString::fromLatin1(link));
        statements << chainTables(sqlite);
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

// Rows without a place in a chain were written before it.
QString sealedRowsStatement() {
    return QStringLiteral("SELECT %1 FROM %2 WHERE seq IS NULL ORDER BY station, started, id")
        .arg(selectList(kChainSince - 1), table());
}

std::vector<Sealed> sealedRows(QSqlQuery& q) {
    std::vector<Sealed> stations;
    const int stationColumn = 1;
    while (q.next()) {
        const QString station = q.value(stationColumn).toString();
        if (stations.empty() || stations.back().station != station)
            stations.push_back(Sealed{station, 0, {}});
        QVariantList values;
        for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) values << q.value(i);
        Sealed& s = stations.back();
        ++s.rows;
        s.hash = chainHash(QStringLiteral("row"), values, s.hash);
    }
    return stations;
}

// The writes as a table of whole rows: from version 3 a write's outcome is the record that
// names it, and rows of earlier versions hold theirs in their own columns.
// With `period`, each write also carries its place (seq), and its outcome only when that
// lies before a place bound first.
QString writesSource(int version, bool period = false) {
    if (version < kChainSince) return table();
    QStringList list;
    for (const Column& c : kColumns) {
        const QString n = name(c);
        if (c.writtenBy == WrittenBy::Begin)
            list << QStringLiteral("w.") + n;
        else
            list << QStringLiteral("COALESCE(o.%1, w.%2) AS %2")
                        .arg(n == QLatin1String("ended") ? QStringLiteral("at") : n, n);
    }
    if (period) list << QStringLiteral("w.seq AS seq");
    return QStringLiteral(
               "(SELECT %1 FROM %2 w LEFT JOIN %3 o ON o.kind = 'outcome' AND "
               "o.write_id = w.id%4) AS r")
        .arg(list.join(QStringLiteral(", ")), table(), schema::recordsTable(),
             period ? QStringLiteral(" AND o.seq < ?") : QString());
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

// The program and version that write a record.
QString programName() {
    return QCoreApplication::applicationName() + QStringLiteral(" ") +
           QStringLiteral(PALMOTA_VERSION);
}

// The station's offset from UTC now, in minutes east.
int offsetNow() {
    return QDateTime::currentDateTime().offsetFromUtc() / 60;
}

// The fields every record begins with: a new id, its place in the station's chain, its kind
// and its time.
QVariantList recordHead(const QString& station, const QVariant& seq, const QString& kind,
                        const QString& at, int offset) {
    return {QUuid::createUuid().toString(QUuid::WithoutBraces), station, seq, kind, at, offset};
}

// An event's record (a seal, a closure, the clock going back): it names no write and holds
// no outcome; the program that made it and what it says close it.
QVariantList eventRecord(const QString& station, const QVariant& seq, const QString& kind,
                         const QString& at, int offset, const QString& detail) {
    return recordHead(station, seq, kind, at, offset) +
           QVariantList{
               QVariant(QMetaType::fromType<QString>()),
               QVariant(QMetaType::fromType<QString>()),
               QVariant(QMetaType::fromType<int>()),
               QVariant(QMetaType::fromType<int>()),
               QVariant(QMetaType::fromType<int>()),
               QVariant(QMetaType::fromType<QString>()),
               programName(),
               detail,
           };
}

// A record that names a write: its outcome, or its settlement (which adds the program that
// made it and what it says). A cause left empty is stored as NULL.
QVariantList writeRecord(const QString& station, long long seq, const QString& kind,
                         const QString& at, int offset, const QString& writeId, const WriteEnd& end,
                         const QVariant& program, const QVariant& detail) {
    return recordHead(station, seq, kind, at, offset) +
           QVariantList{
               writeId,
               end.cause.empty() ? QVariant(QMetaType::fromType<QString>())
                                 : QVariant(QString::fromStdString(end.cause)),
               end.confirmed ? 1 : 0,
               end.unchanged ? 1 : 0,
               nullable(end.after),
               nullable(end.serialAfter),
               program,
               detail,
           };
}

// The station of the write `id`, whose chain a record naming it goes on: false when it
// cannot be read, `station` null when there is no such write.
bool stationOfWrite(QSqlQuery& q, const QString& id, QString& station) {
    station = QString();
    if (!q.prepare(QStringLiteral("SELECT station FROM %1 WHERE id = ?").arg(table())))
        return false;
    q.addBindValue(id);
    if (!q.exec()) return false;
    if (q.next()) station = q.value(0).toString();
    q.finish();
    return true;
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
      connection_(connectionName()),
      account_(platform::accountName()) {
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
        if (done && version + 1 == kChainSince) {
            std::string why;
            if (!seal(why)) {
                error = "upgrading its schema from version " + std::to_string(version) + " to " +
                        std::to_string(version + 1) + ": " + why;
                return false;
            }
        }
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

bool SqlJournal::seal(std::string& error) {
    // Within prepareSchema's transaction, under its lock. The rows are hashed as they stand,
    // in the order a report reads them, each over the one before: the event's hash then
    // says whether any of them changed since.
    QSqlQuery q(database());
    q.setForwardOnly(true);
    if (!q.exec(sealedRowsStatement())) {
        error = text(q.lastError());
        return false;
    }
    const std::vector<Sealed> stations = sealedRows(q);
    q.finish();
    for (const Sealed& s : stations) {
        const QVariantList values =
            eventRecord(s.station, 1, QStringLiteral("sealed"), now(), offsetNow(),
                        QStringLiteral("rows %1 sha256 %2").arg(s.rows).arg(s.hash));
        if (!insertRecord(q, values, QStringLiteral(""))) {
            error = text(q.lastError());
            return false;
        }
    }
    return true;
}

namespace {

// A station's closures as stored, in the order of its chain.
struct StoredClosure {
    long long seq;
    Closure closure;
};

bool storedClosures(QSqlQuery& q, const QString& station, std::vector<StoredClosure>& found,
                    std::string& why) {
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT seq, at, offset_minutes, program, detail, hash FROM %1 "
                                  "WHERE station = ? AND kind = 'closure' ORDER BY seq")
                       .arg(schema::recordsTable())))
        return false;
    q.addBindValue(station);
    if (!q.exec()) return false;
    found.clear();
    while (q.next()) {
        StoredClosure s{q.value(0).toLongLong(), {}};
        s.closure.station = station.toStdString();
        s.closure.made = {text(q.value(1)), q.value(2).toInt()};
        s.closure.program = text(q.value(3));
        s.closure.chainHead = text(q.value(5));
        if (!closureFromDetail(text(q.value(4)), s.closure)) {
            why = "the closure at place " + std::to_string(s.seq) + " of station " +
                  station.toStdString() + " cannot be read";
            return false;
        }
        found.push_back(std::move(s));
    }
    q.finish();
    return true;
}

// The settlements of a journal of the chain, by the write each settles: of one station's
// chain before place `before` (0: no bound), or of every station (an empty station). A write
// is settled once; a second settlement, were one made, would count for nothing.
bool storedResolutions(QSqlQuery& q, const QString& station, long long before,
                       std::map<std::string, Resolution>& found) {
    QString statement = QStringLiteral(
                            "SELECT id, write_id, seq, at, offset_minutes, credit_after, "
                            "serial_after, detail FROM %1 WHERE kind = 'resolution'")
                            .arg(schema::recordsTable());
    if (!station.isEmpty()) statement += QStringLiteral(" AND station = ?");
    if (before > 0) statement += QStringLiteral(" AND seq < ?");
    statement += QStringLiteral(" ORDER BY station, seq");
    q.setForwardOnly(true);
    if (!q.prepare(statement)) return false;
    if (!station.isEmpty()) q.addBindValue(station);
    if (before > 0) q.addBindValue(before);
    if (!q.exec()) return false;
    found.clear();
    while (q.next()) {
        Resolution r;
        r.id = text(q.value(0));
        r.seq = q.value(2).toLongLong();
        r.at = text(q.value(3));
        r.offsetMinutes = q.value(4).toInt();
        r.settled.credit = q.value(5).toInt();
        r.settled.serial = text(q.value(6));
        settlementFromDetail(text(q.value(7)), r.settled);
        found.emplace(text(q.value(1)), std::move(r));
    }
    q.finish();
    return true;
}

void attach(std::vector<WriteRow>& rows, const std::map<std::string, Resolution>& resolutions) {
    if (resolutions.empty()) return;
    for (WriteRow& row : rows)
        if (const auto r = resolutions.find(row.id); r != resolutions.end())
            row.resolution = r->second;
}

}  // namespace

void SqlJournal::sayVerifyFailed(const ChainBreak& b) {
    // Best effort: a role that may only read the journal, or a file that cannot be written,
    // leaves the break unsaid in the chain; the command says it all the same.
    const QString station = QString::fromStdString(b.station);
    const QString detail = QStringLiteral("record %1 (%2), %3")
                               .arg(b.seq)
                               .arg(QString::fromStdString(b.id), chainBreakName(b.kind));
    const QString at = now();
    std::string ignored;
    withConnection(
        [&](QSqlQuery& q, std::string&) {
            return appendLinked(
                q, station, at, [&](QSqlQuery& in, long long seq, const QString& prev) {
                    return insertRecord(in,
                                        eventRecord(station, seq, QStringLiteral("verify-failed"),
                                                    at, offsetNow(), detail),
                                        prev);
                });
        },
        ignored);
}

bool SqlJournal::verify(ChainCheck& check, std::string& error) {
    const DriverMessages quiet(driverMessages_);
    check = {};
    if (!connect(error)) return false;
    // One record of a chain as stored, and its hash as recomputed from its fields.
    struct Entry {
        long long seq;
        QString id;
        QString previous;
        QString hash;
        QString recomputed;
        QString kind;
        QString detail;
    };
    std::map<QString, std::vector<Entry>> chains;
    std::vector<Sealed> sealed;
    const bool done = withConnection(
        [&](QSqlQuery& q, std::string& why) {
            if (storedVersion() < kChainSince) {
                why = "the journal holds no chain yet: its schema is version " +
                      std::to_string(storedVersion()) +
                      ", which a program recording writes "
                      "upgrades";
                return false;
            }
            chains.clear();
            q.setForwardOnly(true);
            QStringList names;
            int count = 0;
            for (const Column& c : kColumns)
                if (c.writtenBy == WrittenBy::Begin) {
                    names << name(c);
                    ++count;
                }
            if (!q.exec(QStringLiteral("SELECT %1, seq, prev_hash, hash FROM %2 WHERE seq IS NOT "
                                       "NULL")
                            .arg(names.join(QStringLiteral(", ")), table())))
                return false;
            while (q.next()) {
                QVariantList values;
                for (int i = 0; i < count; ++i) values << q.value(i);
                Entry e{q.value(count).toLongLong(),
                        q.value(0).toString(),
                        q.value(count + 1).toString(),
                        q.value(count + 2).toString(),
                        {},
                        QStringLiteral("write"),
                        {}};
                e.recomputed = writeHash(values, e.seq, e.previous);
                chains[q.value(1).toString()].push_back(e);
            }
            q.finish();
            if (!q.exec(QStringLiteral("SELECT %1, prev_hash, hash FROM %2")
                            .arg(QString::fromLatin1(kRecordFields), schema::recordsTable())))
                return false;
            const int fields = static_cast<int>(QString::fromLatin1(kRecordFields).count(u',')) + 1;
            while (q.next()) {
                QVariantList values;
                for (int i = 0; i < fields; ++i) values << q.value(i);
                Entry e{q.value(2).toLongLong(),
                        q.value(0).toString(),
                        q.value(fields).toString(),
                        q.value(fields + 1).toString(),
                        {},
                        q.value(3).toString(),
                        q.value(13).toString()};
                e.recomputed = recordHash(values, e.previous);
                chains[q.value(1).toString()].push_back(e);
            }
            q.finish();
            if (!q.exec(sealedRowsStatement())) return false;
            sealed = sealedRows(q);
            return true;
        },
        error);
    if (!done) return false;
    using Kind = ChainBreak::Kind;
    // The first break alone is told: what follows it may only be its consequence.
    ChainBreak ignored;
    const auto broken = [&](const QString& station, const Entry& e, Kind kind) {
        if (check.broken) return &ignored;
        check.broken = ChainBreak{station.toStdString(), e.seq, e.id.toStdString(), kind};
        return &*check.broken;
    };
    // Stations with rows before the chain and none in it lost their seal.
    for (const Sealed& s : sealed) chains[s.station];
    for (auto& chain : chains) {
        const QString& station = chain.first;
        auto& entries = chain.second;
        ++check.stations;
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.seq < b.seq; });
        long long expected = 1;
        QString previous = QStringLiteral("");
        for (const Entry& e : entries) {
            ++check.records;
            // Its place first: a second record at a place taken, or places skipped, tell an
            // insertion or a removal whatever the record holds.
            if (e.seq < expected) {
                broken(station, e, Kind::Inserted);
            } else if (e.seq > expected) {
                ChainBreak* b = broken(station, e, Kind::Removed);
                b->missingFrom = expected;
                b->missingTo = e.seq - 1;
            } else if (e.recomputed != e.hash) {
                broken(station, e, Kind::Altered);
            } else if (e.previous != previous) {
                broken(station, e, Kind::OutOfPlace);
            }
            previous = e.hash;
            expected = e.seq + 1;
        }
        // The seal, the first record, holds the count and the hash of the rows before it.
        const auto rows = std::find_if(sealed.begin(), sealed.end(),
                                       [&](const Sealed& s) { return s.station == station; });
        const auto seal = std::find_if(entries.begin(), entries.end(), [](const Entry& e) {
            return e.kind == QLatin1String("sealed");
        });
        const QString want =
            rows == sealed.end()
                ? QString()
                : QStringLiteral("rows %1 sha256 %2").arg(rows->rows).arg(rows->hash);
        if (rows != sealed.end()) check.sealed += rows->rows;
        if (seal == entries.end() && rows != sealed.end())
            broken(station, Entry{0, {}, {}, {}, {}, {}, {}}, Kind::Unsealed);
        else if (seal != entries.end() && seal->detail != want)
            broken(station, *seal, Kind::SealBroken);
    }
    // Every chain holds: each closure's figures are then recomputed from the records of its
    // period, so that a closure rewritten with its hash and every hash after it is still
    // told by the rows it counted.
    if (!check.broken &&
        !withConnection(

            [&](QSqlQuery& q, std::string& why) {
                for (const auto& [station, entries] : chains) {
                    std::vector<StoredClosure> stored;
                    if (!storedClosures(q, station, stored, why)) return false;
                    long long after = 0;
                    long long grandTotal = 0;
                    for (const StoredClosure& s : stored) {
                        std::vector<WriteRow> rows;
                        std::vector<WriteRow> settledLater;
                        if (!periodRows(q, station, after, s.seq, rows, settledLater)) return false;
                        Closure recomputed = s.closure;
                        closureFigures(rows, settledLater, grandTotal, recomputed);
                        if (closureDetail(recomputed) != closureDetail(s.closure)) {
                            const auto e =
                                std::find_if(entries.begin(), entries.end(),
                                             [&](const Entry& x) { return x.seq == s.seq; });
                            broken(station,
                                   e == entries.end() ? Entry{s.seq, {}, {}, {}, {}, {}, {}} : *e,
                                   Kind::ClosureFigures)
                                ->closure = s.closure.number;
                            return true;
                        }
                        after = s.seq;
                        grandTotal = s.closure.grandTotal;
                    }
                }
                return true;
            },
            error))
        return false;
    if (check.broken) sayVerifyFailed(*check.broken);
    return true;
}

bool SqlJournal::periodRows(QSqlQuery& q, const QString& station, long long after, long long before,
                            std::vector<WriteRow>& rows, std::vector<WriteRow>& settledLater) {
    const QString select = QStringLiteral("SELECT %1 FROM %2 WHERE ")
                               .arg(selectList(kSchemaVersion), writesSource(kSchemaVersion, true));
    q.setForwardOnly(true);
    if (!q.prepare(select + QStringLiteral("station = ? AND seq > ? AND seq < ? ORDER BY seq")))
        return false;
    q.addBindValue(before);
    q.addBindValue(station);
    q.addBindValue(after);
    q.addBindValue(before);
    if (!q.exec()) return false;
    rows.clear();
    while (q.next()) rows.push_back(rowFrom(q));
    q.finish();
    std::map<std::string, Resolution> resolutions;
    if (!storedResolutions(q, station, before, resolutions)) return false;
    attach(rows, resolutions);
    // Writes of an earlier period settled within this one.
    settledLater.clear();
    for (const auto& settled : resolutions) {
        const std::string& id = settled.first;
        const Resolution& resolution = settled.second;
        if (resolution.seq <= after) continue;
        if (std::any_of(rows.begin(), rows.end(), [&id](const WriteRow& r) { return r.id == id; }))
            continue;
        if (!q.prepare(select + QStringLiteral("id = ? AND station = ? AND seq <= ?")))
            return false;
        q.addBindValue(before);
        q.addBindValue(QString::fromStdString(id));
        q.addBindValue(station);
        q.addBindValue(after);
        if (!q.exec()) return false;
        if (q.next()) {
            settledLater.push_back(rowFrom(q));
            settledLater.back().resolution = resolution;
        }
        q.finish();
    }
    std::sort(settledLater.begin(), settledLater.end(), [](const WriteRow& a, const WriteRow& b) {
        return a.resolution->seq < b.resolution->seq;
    });
    return true;
}

bool SqlJournal::close(const std::string& station, const std::string& user, Closure& closure,
                       std::optional<int>& nothingSince, std::string& error) {
    const DriverMessages quiet(driverMessages_);
    nothingSince.reset();
    const QString name = QString::fromStdString(station);
    const QString at = now();
    const int offset = offsetNow();
    return withConnection(
        [&](QSqlQuery& q, std::string& why) {
            return appendLinked(
                q, name, at, [&](QSqlQuery& in, long long seq, const QString& prev) {
                    // Under the station's lock: the closures before it and the period since the
                    // last of them, as they stand now.
                    std::vector<StoredClosure> before;
                    if (!storedClosures(in, name, before, why)) return false;
                    const long long after = before.empty() ? 0 : before.back().seq;
                    const int previous = before.empty() ? 0 : before.back().closure.number;
                    std::vector<WriteRow> rows;
                    std::vector<WriteRow> settledLater;
                    if (!periodRows(in, name, after, seq, rows, settledLater)) return false;
                    if (rows.empty() && settledLater.empty()) {
                        nothingSince = previous;
                        why = previous == 0
                                  ? std::string("nothing to close: the station has no write")
                                  : "nothing to close since closure " + std::to_string(previous);
                        return false;
                    }
                    closure = Closure{};
                    closure.station = station;
                    closure.number = previous + 1;
                    closure.made = {at.toStdString(), offset};
                    closure.user = user;
                    closure.program = programName().toStdString();
                    closureFigures(rows, settledLater,
                                   before.empty() ? 0 : before.back().closure.grandTotal, closure);
                    const QVariantList values =
                        eventRecord(name, seq, QStringLiteral("closure"), at, offset,
                                    QString::fromStdString(closureDetail(closure)));
                    closure.chainHead = recordHash(values, prev).toStdString();
                    return insertRecord(in, values, prev);
                });
        },
        error);
}

bool SqlJournal::closure(const std::string& station, int number, std::optional<Closure>& found,
                         std::string& error) {
    const DriverMessages quiet(driverMessages_);
    found.reset();
    return withConnection(
        [&](QSqlQuery& q, std::string& why) {
            std::vector<StoredClosure> stored;
            if (!storedClosures(q, QString::fromStdString(station), stored, why)) return false;
            for (StoredClosure& s : stored)
                if (s.closure.number == number) found = std::move(s.closure);
            return true;
        },
        error);
}

bool SqlJournal::resolve(const std::string& id, const Settlement& settlement, std::string& refusal,
                         std::string& error) {
    const DriverMessages quiet(driverMessages_);
    refusal.clear();
    const QString at = now();
    const int offset = offsetNow();
    const QString writeId = QString::fromStdString(id);
    return withConnection(
        [&](QSqlQuery& q, std::string& why) {
            if (storedVersion() < kChainSince) {
                why = "the journal holds no chain yet";
                return false;
            }
            // The settlement goes on the chain of the write's station, as its outcome does.
            QString station;
            if (!stationOfWrite(q, writeId, station)) return false;
            if (station.isNull()) {
                refusal = why = "no write " + id + " in the journal";
                return false;
            }
            return appendLinked(
                q, station, at, [&](QSqlQuery& in, long long seq, const QString& prev) {
                    // Under the station's lock: the write as it stands now, outcome and
                    // settlement included.
                    in.setForwardOnly(true);
                    if (!in.prepare(
                            QStringLiteral("SELECT %1 FROM %2 WHERE id = ?")
                                .arg(selectList(kSchemaVersion), writesSource(kSchemaVersion))))
                        return false;
                    in.addBindValue(writeId);
                    if (!in.exec()) return false;
                    if (!in.next()) return false;
                    std::vector<WriteRow> row{rowFrom(in)};
                    in.finish();
                    std::map<std::string, Resolution> resolutions;
                    if (!storedResolutions(in, station, 0, resolutions)) return false;
                    attach(row, resolutions);
                    if (row[0].resolution) {
                        refusal = why =
                            "write " + id + " was settled already, at " + row[0].resolution->at;
                        return false;
                    }
                    if (!needsRead(row[0])) {
                        refusal = why =
                            "write " + id + " is not in doubt: its outcome is " + row[0].end->cause;
                        return false;
                    }
                    // The badge holds the amount, or the credit it had before: the write
                    // went on it, or left it unchanged.
                    const bool landed = settlement.credit == row[0].start.amount;
                    const QVariantList values = writeRecord(
                        station, seq, QStringLiteral("resolution"), at, offset, writeId,
                        WriteEnd{{}, landed, !landed, settlement.credit, settlement.serial},
                        programName(), QString::fromStdString(settlementDetail(settlement)));
                    return insertRecord(in, values, prev);
                });
        },
        error);
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

bool SqlJournal::appendLinked(QSqlQuery& q, const QString& station, const QString& at,
                              const Link& insert) {
    // The station's chain head and the record after it under one lock, so that two programs
    // of one station never take the same place. SQLite locks the whole file for a write
    // anyway; on PostgreSQL the lock is the station's own (a transaction's advisory lock on
    // the hash of its name, beside the schema's key "palmota"), so that two stations never
    // wait on one another.
    const auto rollback = [this] {
        QSqlQuery r(database());
        r.exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    if (sqlite() ? !q.exec(QStringLiteral("BEGIN IMMEDIATE")) : !q.exec(QStringLiteral("BEGIN")))
        return false;
    if (!sqlite()) {
        if (!q.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(1885433453, hashtext(?))")))
            return rollback();
        q.addBindValue(station);
        if (!q.exec()) return rollback();
    }
    if (!q.prepare(QStringLiteral("SELECT seq, hash, t FROM (SELECT seq, hash, started AS t FROM "
                                  "%1 WHERE station = ? AND seq IS NOT NULL UNION ALL SELECT seq, "
                                  "hash, at AS t FROM %2 WHERE station = ?) AS c ORDER BY seq "
                                  "DESC LIMIT 1")
                       .arg(table(), schema::recordsTable())))
        return rollback();
    q.addBindValue(station);
    q.addBindValue(station);
    if (!q.exec()) return rollback();
    long long seq = 1;
    QString previous = QStringLiteral("");  // the first record of a chain follows none
    QString last;
    if (q.next()) {
        seq = q.value(0).toLongLong() + 1;
        previous = q.value(1).toString();
        last = q.value(2).toString();
    }
    q.finish();
    // The events that come before the record, each chained as any record is.
    const auto event = [&](const QString& kind, const QString& detail) {
        const QVariantList values = eventRecord(station, seq, kind, at, offsetNow(), detail);
        if (!insertRecord(q, values, previous)) return false;
        previous = recordHash(values, previous);
        ++seq;
        return true;
    };
    // This program's first record on the station's chain says that it opened the journal,
    // and as whom.
    const bool opening = !openedOn_.contains(station);
    if (opening && !event(QStringLiteral("opened"),
                          QStringLiteral("by %1").arg(QString::fromStdString(account_))))
        return rollback();
    // Outcomes this program could not record, said once the journal takes records again.
    for (const QString& unrecorded : unrecorded_)
        if (!event(QStringLiteral("outcome-not-recorded"), unrecorded)) return rollback();
    // A station's clock set back behind its last record: said by an event of the chain
    // before the record it would otherwise pass unnoticed in (UTC times compare as bytes).
    if (!last.isEmpty() && at < last &&
        !event(QStringLiteral("clock-backwards"),
               QStringLiteral("the clock read %1, before the last record's %2").arg(at, last)))
        return rollback();
    if (!insert(q, seq, previous)) return rollback();
    if (!q.exec(QStringLiteral("COMMIT"))) return rollback();
    if (opening) openedOn_.insert(station);
    unrecorded_.clear();
    return true;
}

std::optional<std::string> SqlJournal::begin(const WriteStart& start, std::string& error) {
    const DriverMessages quiet(driverMessages_);
    WriteRow row;
    row.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    row.start = start;
    row.started = now().toStdString();
    row.offsetMinutes = offsetNow();
    QStringList names;
    QStringList marks;
    QVariantList values;
    for (const Column& c : kColumns) {
        if (c.writtenBy != WrittenBy::Begin) continue;
        names << name(c);
        marks << QStringLiteral("?");
        values << c.value(row);
    }
    const QString statement =
        QStringLiteral(
            "INSERT INTO %1 (%2, seq, prev_hash, hash) VALUES "
            "(%3, ?, ?, ?)")
            .arg(table(), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    const QString station = QString::fromStdString(start.station);
    const bool done = withConnection(
        [&](QSqlQuery& q, std::string&) {
            return appendLinked(q, station, QString::fromStdString(row.started),
                                [&](QSqlQuery& in, long long seq, const QString& prev) {
                                    if (!in.prepare(statement)) return false;
                                    for (const QVariant& v : values) in.addBindValue(v);
                                    in.addBindValue(seq);
                                    in.addBindValue(prev);
                                    in.addBindValue(writeHash(values, seq, prev));
                                    return in.exec();
                                });
        },
        error);
    if (!done) return std::nullopt;
    return row.id;
}

QString SqlJournal::writeHash(const QVariantList& beginValues, long long seq,
                              const QString& previous) {
    QVariantList fields{QVariant(seq)};
    fields << beginValues;
    return chainHash(QStringLiteral("write"), fields, previous);
}

QString SqlJournal::recordHash(const QVariantList& recordValues, const QString& previous) {
    return chainHash(recordValues.value(3).toString(), recordValues, previous);
}

bool SqlJournal::complete(const std::string& id, const WriteEnd& end, std::string& error) {
    const DriverMessages quiet(driverMessages_);
    const QString ended = now();
    const int offset = offsetNow();
    const QString writeId = QString::fromStdString(id);
    if (recordOutcome(id, end, ended, offset, error)) return true;
    unrecorded_ << QStringLiteral("write %1: %2 at %3")
                       .arg(writeId, QString::fromStdString(end.cause), ended);
    return false;
}

bool SqlJournal::recordOutcome(const std::string& id, const WriteEnd& end, const QString& ended,
                               int offset, std::string& error) {
    const QString writeId = QString::fromStdString(id);
    return withConnection(
        [&](QSqlQuery& q, std::string& why) {
            // The outcome goes on the chain of the write's station.
            QString station;
            if (!stationOfWrite(q, writeId, station)) return false;
            if (station.isNull()) {
                why = "no row " + id;
                return false;
            }
            return appendLinked(
                q, station, ended, [&](QSqlQuery& in, long long seq, const QString& prev) {
                    const QVariant none(QMetaType::fromType<QString>());
                    return insertRecord(in,
                                        writeRecord(station, seq, QStringLiteral("outcome"), ended,
                                                    offset, writeId, end, none, none),
                                        prev);
                });
        },
        error);
}

bool SqlJournal::insertRecord(QSqlQuery& q, const QVariantList& values, const QString& previous) {
    if (!q.prepare(QStringLiteral("INSERT INTO %1 (%2, prev_hash, hash) VALUES (%3?, ?)")
                       .arg(schema::recordsTable(), QString::fromLatin1(kRecordFields),
                            QStringLiteral("?, ").repeated(int(values.size())))))
        return false;
    for (const QVariant& v : values) q.addBindValue(v);
    q.addBindValue(previous);
    q.addBindValue(recordHash(values, previous));
    return q.exec();
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
    const QString station = QString::fromStdString(filter.station);
    if (!filter.station.empty()) {
        conditions << QStringLiteral("station = ?");
        values << station;
    }
    std::vector<WriteRow> found;
    const bool done = withConnection(
        [&](QSqlQuery& q, std::string&) {
            const int version = storedVersion();
            QString statement =
                QStringLiteral("SELECT %1 FROM %2").arg(selectList(version), writesSource(version));
            if (!conditions.isEmpty())
                statement += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
            statement += QStringLiteral(" ORDER BY started, id");
            q.setForwardOnly(true);
            if (!q.prepare(statement)) return false;
            for (const QVariant& value : values) q.addBindValue(value);
            if (!q.exec()) return false;
            found.clear();
            while (q.next()) found.push_back(rowFrom(q));
            q.finish();
            if (version < kChainSince) return true;
            std::map<std::string, Resolution> resolutions;
            if (!storedResolutions(q, filter.station.empty() ? QString() : station, 0, resolutions))
                return false;
            attach(found, resolutions);
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
                               .arg(selectList(version), writesSource(version), badge)))
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

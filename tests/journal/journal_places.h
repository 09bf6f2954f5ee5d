#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <atomic>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "journal/journal_location.h"
#include "journal/sql_journal.h"
#include "tests/support/postgres_server.h"

namespace palmota::testing {

// The two kinds of journal the tests run on alike.
enum class Backend { SQLite, PostgreSQL };

// A top-up of `topup` on badge 123456 at `station`, read with `before` just ahead of it.
inline journal::WriteStart aTopup(const std::string& station, int before, int topup) {
    journal::WriteStart start;
    start.program = "palmota-cli";
    start.port = "/dev/ttyUSB0";
    start.user = "desk";
    start.station = station;
    start.serial = "123456";
    start.serialSource = journal::SerialSource::ReadNow;
    start.before = before;
    start.amount = before + topup;
    start.topup = topup;
    return start;
}

inline void PrintTo(Backend backend, std::ostream* os) {
    *os << (backend == Backend::SQLite ? "SQLite" : "PostgreSQL");
}

inline std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

// The test program's PostgreSQL server, started at its first use and stopped at its end.
inline PostgresServer& postgres() {
    static PostgresServer server(PALMOTA_PG_TEMPLATE);
    std::string error;
    if (!server.running()) {
        EXPECT_TRUE(server.start(&error)) << error;
    }
    return server;
}

// A new, empty journal of `backend`: a file not yet made, or a new schema.
inline std::string newJournal(Backend backend, const std::string& folder) {
    static std::atomic<int> count{0};
    const std::string name = "journal_" + std::to_string(QCoreApplication::applicationPid()) + "_" +
                             std::to_string(++count);
    if (backend == Backend::SQLite) return folder + "/" + name + ".db";
    std::string error;
    EXPECT_TRUE(postgres().createSchema(name, &error)) << error;
    return postgres().uri(name);
}

inline std::unique_ptr<journal::SqlJournal> openJournal(
    const std::string& where, journal::Access access = journal::Access::Record) {
    std::string error;
    auto location = journal::parseJournalLocation(where, error);
    EXPECT_TRUE(location) << error;
    return std::make_unique<journal::SqlJournal>(where, *location, access);
}

// A connection of the test's own to the journal at `where`, as another program would make.
inline QSqlDatabase rawConnection(const std::string& where, const QString& name) {
    std::string error;
    const auto location = journal::parseJournalLocation(where, error);
    const bool sqlite = location->kind == journal::JournalLocation::Kind::File;
    QSqlDatabase db = QSqlDatabase::addDatabase(sqlite ? "QSQLITE" : "QPSQL", name);
    if (sqlite) {
        db.setDatabaseName(QString::fromStdString(location->path));
    } else {
        db.setHostName(QString::fromStdString(location->host));
        db.setDatabaseName(QString::fromStdString(location->database));
        db.setConnectOptions(QString::fromStdString(location->options));
    }
    EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
    return db;
}

// The rows a query behind the program's back gives, each field as text.
inline std::vector<QStringList> rawRows(const std::string& where, const QString& statement) {
    std::vector<QStringList> rows;
    {
        QSqlDatabase db = rawConnection(where, "rows");
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(statement)) << q.lastError().text().toStdString();
        while (q.next()) {
            QStringList fields;
            for (int i = 0; i < q.record().count(); ++i) fields << q.value(i).toString();
            rows.push_back(fields);
        }
    }
    QSqlDatabase::removeDatabase("rows");
    return rows;
}

// One statement run on the journal behind the program's back, on a connection of its own.
inline bool execRaw(const std::string& where, const std::string& statement) {
    bool ok = false;
    {
        QSqlDatabase db = rawConnection(where, "raw");
        if (db.isOpen()) {
            QSqlQuery q(db);
            ok = q.exec(QString::fromStdString(statement));
            EXPECT_TRUE(ok) << q.lastError().text().toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("raw");
    return ok;
}

// What the server said refusing a statement run on a connection of its own; empty when it
// was run.
inline std::string refusal(const std::string& where, const std::string& statement) {
    std::string said = "no connection";
    {
        QSqlDatabase db = rawConnection(where, "raw");
        if (db.isOpen()) {
            QSqlQuery q(db);
            said = q.exec(QString::fromStdString(statement)) ? std::string()
                                                             : q.lastError().text().toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("raw");
    return said;
}

// The journal as the first version of the program made it (schema 1, no serial number read
// back, PostgreSQL's times under the server's collation), with one confirmed row.
inline bool makeVersionOneJournal(const std::string& where) {
    for (const char* statement :
         {"CREATE TABLE palmota_journal (schema_version INTEGER NOT NULL)",
          "INSERT INTO palmota_journal (schema_version) VALUES (1)",
          "CREATE TABLE credit_writes (id TEXT PRIMARY KEY, station TEXT NOT NULL, user_name "
          "TEXT NOT NULL, program TEXT NOT NULL, port TEXT NOT NULL, serial TEXT, serial_source "
          "TEXT, credit_before INTEGER, amount INTEGER NOT NULL, topup INTEGER, started TEXT NOT "
          "NULL, ended TEXT, cause TEXT, confirmed INTEGER, unchanged INTEGER, credit_after "
          "INTEGER)",
          "INSERT INTO credit_writes VALUES ('old', 'desk-1', 'u', 'palmota-cli', '1', '42', "
          "'last-read', 100, 150, 50, '2026-03-01T10:00:00.000Z', '2026-03-01T10:00:01.000Z', "
          "'ok', 1, 0, 150)"}) {
        if (!execRaw(where, statement)) return false;
    }
    return true;
}

// Another program's transaction holding the journal's table, until this goes: on SQLite a
// write under way (its RESERVED lock: other writers wait, readers go on; the EXCLUSIVE lock
// of a rollback journal is held only for the moment of a commit).
class HeldLock {
  public:
    explicit HeldLock(const std::string& where) {
        QSqlDatabase db = rawConnection(where, kName);
        QSqlQuery q(db);
        const bool sqlite = db.driverName() == QLatin1String("QSQLITE");
        for (const char* statement :
             sqlite ? std::vector<const char*>{"BEGIN IMMEDIATE"}
                    : std::vector<const char*>{"BEGIN",
                                               "LOCK TABLE credit_writes IN ACCESS EXCLUSIVE MODE"})
            EXPECT_TRUE(q.exec(statement)) << q.lastError().text().toStdString();
    }
    ~HeldLock() {
        {
            QSqlDatabase db = QSqlDatabase::database(kName, false);
            QSqlQuery(db).exec("ROLLBACK");
            db.close();
        }
        QSqlDatabase::removeDatabase(kName);
    }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

  private:
    static inline const QString kName = QStringLiteral("held");
};

// A temporary folder, removed with what it holds.
class TempFolder {
  public:
    TempFolder() : dir_(QDir::tempPath() + QStringLiteral("/palmota-journal-XXXXXX")) {
        if (dir_.isValid()) path_ = dir_.path().toStdString();
    }
    const std::string& path() const { return path_; }

  private:
    QTemporaryDir dir_;
    std::string path_;
};

}  // namespace palmota::testing

#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <chrono>
#include <functional>
#include <memory>

#include "journal/answer_watch.h"
#include "journal/journal.h"
#include "journal/journal_location.h"

class QSqlDatabase;
class QSqlError;
class QSqlQuery;

namespace palmota::journal {

// A journal in an SQL database through Qt SQL: an SQLite file (QSQLITE) or a PostgreSQL
// database (QPSQL), with one schema and the same statements for both, parameters always
// bound. Each instance has a connection of its own.
class SqlJournal final : public Journal {
  public:
    // The schema this program writes. A journal made by a newer program is refused.
    static constexpr int kSchemaVersion = 3;
    // A write waits this long for a lock another program holds before it gives up, on
    // either database: SQLite's busy time-out, PostgreSQL's lock time-out.
    static constexpr int kLockWaitMs = 5000;
    // PostgreSQL: the longest a statement waits for the server's answer, on the client's
    // own clock (AnswerWatch) and as the server's statement time-out. It ends past the lock
    // time-out, so that a lock waited for in vain is named as such by the server.
    static constexpr auto kAnswerDeadline = std::chrono::milliseconds{kLockWaitMs + 1000};

    SqlJournal(std::string where, JournalLocation location, Access access = Access::Record);
    ~SqlJournal() override;
    SqlJournal(const SqlJournal&) = delete;
    SqlJournal& operator=(const SqlJournal&) = delete;

    std::string where() const override { return where_; }
    bool exists(std::string& error) override;
    bool connect(std::string& error) override;
    std::optional<std::string> begin(const WriteStart& start, std::string& error) override;
    bool complete(const std::string& id, const WriteEnd& end, std::string& error) override;
    std::optional<std::vector<WriteRow>> rows(const RowFilter& filter, std::string& error) override;
    bool lastConfirmed(const std::string& serial, std::optional<WriteRow>& row,
                       std::string& error) override;
    bool verify(ChainCheck& check, std::string& error) override;
    bool close(const std::string& station, const std::string& user, Closure& closure,
               std::optional<int>& nothingSince, std::string& error) override;
    bool closure(const std::string& station, int number, std::optional<Closure>& found,
                 std::string& error) override;
    bool resolve(const std::string& id, const Settlement& settlement, std::string& refusal,
                 std::string& error) override;
    void setDriverMessages(std::function<void(const std::string&)> sink) override;

    // PostgreSQL: the client's deadline on each answer (kAnswerDeadline), and what tells it
    // that a stop was asked (platform::terminationRequested); tests give their own.
    void setAnswerDeadline(std::chrono::milliseconds deadline);
    void setStopCheck(std::function<bool()> stopRequested);

  private:
    bool sqlite() const { return location_.kind == JournalLocation::Kind::File; }
    QSqlDatabase database() const;
    bool open(std::string& error);
    // SQLite: whether the file holds nothing yet, or a journal; anything else is another
    // program's database and is left as it is.
    bool ownFile(std::string& error);
    // Makes or upgrades the schema under one lock, or only checks it (Access::Read).
    bool prepareSchema(std::string& error);
    // Its three steps: the stored version (0 when no journal is there yet, an error when it
    // is newer than this program's or no journal's), making a journal anew, and taking one
    // of an earlier version to this one.
    bool readVersion(int& version, std::string& error);
    bool makeSchema(std::string& error);
    bool upgrade(int from, std::string& error);
    // Version 2 to 3: each station's rows before the chain sealed by the first record of its
    // chain, an event holding their count and the hash over them.
    bool seal(std::string& error);

    // Appends a record to the station's chain: `insert` writes it at place `seq`, after the
    // record whose hash is `previous`, in one transaction with the chain head it read.
    using Link = std::function<bool(QSqlQuery&, long long seq, const QString& previous)>;
    // A record timed `at` before the chain's last is preceded by a clock-backwards event.
    bool appendLinked(QSqlQuery& q, const QString& station, const QString& at, const Link& insert);
    // A verify that found `b`, said by an event at the end of the broken chain.
    void sayVerifyFailed(const ChainBreak& b);
    // The outcome's record, on the chain of the write's station.
    bool recordOutcome(const std::string& id, const WriteEnd& end, const QString& ended, int offset,
                       std::string& error);
    // A journal_records row of kRecordFields's values, with its link.
    static bool insertRecord(QSqlQuery& q, const QVariantList& values, const QString& previous);
    // The hash of a write begun (the values of its begin columns) and of any other record.
    static QString writeHash(const QVariantList& beginValues, long long seq,
                             const QString& previous);
    static QString recordHash(const QVariantList& recordValues, const QString& previous);
    // The writes of `station`'s chain after place `after` and before place `before`, each
    // with its outcome and settlement only when recorded before `before`: a closure's period
    // as it stood when the closure was made. `settledLater`: the writes before `after` whose
    // settlement lies within the period.
    static bool periodRows(QSqlQuery& q, const QString& station, long long after, long long before,
                           std::vector<WriteRow>& rows, std::vector<WriteRow>& settledLater);
    // The version of the journal open: one read by this program may be older than it.
    int storedVersion();
    // Whether the SQLite file at the path is still the one opened (not moved, removed or
    // replaced); once it is not, the journal takes nothing more in this process.
    bool stillThere(std::string& error);
    // An SQLite failure on opening: a read-only file said so, anything else no journal.
    static std::string fileError(const QSqlError& error);
    // Runs `statement`, once more on a new connection when the first failed because the
    // connection broke (a server restarted), never when it waited for a lock in vain.
    template <typename Run>
    bool withConnection(Run run, std::string& error);
    void disconnect();
    // Whether an error is a lock that was not given within the time-out.
    bool lockTimeout(const QSqlError& error) const;

    // PostgreSQL (sql_journal_postgres.cpp): the session's settings once connected, and
    // whether the connection's role may do what the program does with the journal, said
    // with the GRANT that lets it.
    bool startPostgresSession(std::string& error);
    bool mayUseJournal(std::string& error);
    // Runs `step` under the client's deadline (PostgreSQL; SQLite waits on its own). A step
    // cut at the deadline or by a stop fails with the reason in `error`, unless it had done
    // its work; either way the connection is dropped.
    struct Watched {
        bool done;
        bool cut;
    };
    Watched watched(const std::function<bool()>& step, std::string& error);

    std::string where_;
    JournalLocation location_;
    Access access_;
    QString connection_;
    bool connected_ = false;
    std::string fileIdentity_;  // SQLite: the file opened
    std::string lost_;          // SQLite: why the file opened is gone, once it is
    std::function<void(const std::string&)> driverMessages_;
    std::unique_ptr<AnswerWatch> watch_;  // PostgreSQL only
    std::string account_;                 // who runs the program, for its events
    QSet<QString> openedOn_;              // the chains this program's records began on
    QStringList unrecorded_;              // outcomes not recorded, not yet said by an event
};

}  // namespace palmota::journal

// The journal's rows, its schema and its refusals, on an SQLite file and on PostgreSQL.
#include <gtest/gtest.h>

#include <QSqlQuery>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "journal/daily_report.h"
#include "journal/journal_location.h"
#include "journal/server_message.h"
#include "tests/journal/journal_places.h"
#include "tests/journal/location_cases.h"
#include "till/causes.h"

namespace palmota::journal {
namespace {

using testing::aTopup;
using testing::Backend;
using testing::TempFolder;

class JournalStoreTest : public ::testing::TestWithParam<Backend> {
  protected:
    TempFolder folder_;
    std::string where_ = testing::newJournal(GetParam(), folder_.path());
};

TEST_P(JournalStoreTest, KeepsEachRowAsBegunAndCompleted) {
    auto journal = testing::openJournal(where_);
    std::string error;
    const auto done = journal->begin(aTopup("desk-1", 1500, 250), error);
    ASSERT_TRUE(done) << error;
    const auto pending = journal->begin(aTopup("desk-2", 1750, 50), error);
    ASSERT_TRUE(pending) << error;
    ASSERT_TRUE(journal->complete(*done, {"ok", true, false, 1750, {}}, error)) << error;
    EXPECT_FALSE(journal->complete("no-such-row", {"ok", true, false, 1, {}}, error));

    // Read by another connection, as another station would.
    auto reader = testing::openJournal(where_);
    const auto rows = reader->rows({}, error);
    ASSERT_TRUE(rows) << error;
    ASSERT_EQ(rows->size(), 2u);
    const WriteRow& first = (*rows)[0].id == *done ? (*rows)[0] : (*rows)[1];
    const WriteRow& second = (*rows)[0].id == *done ? (*rows)[1] : (*rows)[0];
    EXPECT_EQ(first.start.serial, "123456");
    EXPECT_EQ(first.start.serialSource, SerialSource::ReadNow);
    EXPECT_EQ(first.start.before, 1500);
    EXPECT_EQ(first.start.amount, 1750);
    EXPECT_EQ(first.start.topup, 250);
    ASSERT_TRUE(first.end);
    EXPECT_EQ(first.end->after, 1750);
    EXPECT_TRUE(first.end->confirmed);
    EXPECT_TRUE(first.ended);
    EXPECT_FALSE(second.end);
    EXPECT_TRUE(needsRead(second));

    EXPECT_EQ(reader->rows({"", "", "desk-2"}, error)->size(), 1u);
    EXPECT_EQ(reader->rows({"2000-01-01", "2000-01-01", ""}, error)->size(), 0u);
    const std::string today = first.started.substr(0, 10);
    EXPECT_EQ(reader->rows({today, today, ""}, error)->size(), 2u);

    std::optional<WriteRow> last;
    ASSERT_TRUE(reader->lastConfirmed("123456", last, error)) << error;
    ASSERT_TRUE(last);
    EXPECT_EQ(last->id, *done);
    ASSERT_TRUE(reader->lastConfirmed("999", last, error));
    EXPECT_FALSE(last);
}

TEST_P(JournalStoreTest, RefusesASchemaNewerThanItKnows) {
    std::string error;
    ASSERT_TRUE(testing::openJournal(where_)->connect(error)) << error;
    ASSERT_TRUE(testing::execRaw(where_, "UPDATE palmota_journal SET schema_version = 4"));
    auto journal = testing::openJournal(where_);
    EXPECT_FALSE(journal->connect(error));
    EXPECT_EQ(error,
              "its schema is version 4, newer than the 3 this program knows: use a newer "
              "palmota");
    EXPECT_FALSE(journal->begin(aTopup("desk-1", 0, 1), error));
}

// Bounds compare as times: the PostgreSQL server collates in French, where a text bound
// such as "~" sorts before the digits and would hide every row.
TEST_P(JournalStoreTest, EveryDayUpToTheLastAWriterCanNameIsRead) {
    auto journal = testing::openJournal(where_);
    std::string error;
    const auto id = journal->begin(aTopup("desk-1", 0, 5), error);
    ASSERT_TRUE(id) << error;
    const auto all = journal->rows({}, error);
    ASSERT_TRUE(all) << error;
    ASSERT_EQ(all->size(), 1u);
    const std::string today = all->front().started.substr(0, 10);
    EXPECT_EQ(journal->rows({"", "9999-12-31", ""}, error)->size(), 1u);
    EXPECT_EQ(journal->rows({today, "9999-12-31", ""}, error)->size(), 1u);
    EXPECT_EQ(journal->rows({"0001-01-01", today, ""}, error)->size(), 1u);
}

// Held by another program past the wait a write may take: the write is refused, after the
// time SQLite's busy time-out and PostgreSQL's lock time-out both give, not twice it.
TEST_P(JournalStoreTest, ALockHeldElsewhereIsWaitedForFiveSecondsThenRefused) {
    auto journal = testing::openJournal(where_);
    std::string error;
    ASSERT_TRUE(journal->connect(error)) << error;
    const testing::HeldLock held(where_);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(journal->begin(aTopup("desk-1", 0, 5), error));
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds{4900});
    EXPECT_LT(waited, std::chrono::milliseconds{7500});
    // Named as what it is, and none of the row's values in it.
    EXPECT_EQ(error, "the journal is locked by another program: gave up after 5 s");
}

// A journal made by the first version of the program: its rows stay, it gains the
// serial number read back, and (PostgreSQL) its times compare byte by byte.
TEST_P(JournalStoreTest, AVersionOneJournalIsUpgradedWithItsRows) {
    ASSERT_TRUE(testing::makeVersionOneJournal(where_));
    // Read only, an old journal is read as it is.
    std::string error;
    auto reader = testing::openJournal(where_, journal::Access::Read);
    const auto old = reader->rows({"2026-03-01", "2026-03-01", ""}, error);
    ASSERT_TRUE(old) << error;
    ASSERT_EQ(old->size(), 1u);
    EXPECT_FALSE(old->front().end->serialAfter);

    auto journal = testing::openJournal(where_);
    ASSERT_TRUE(journal->connect(error)) << error;
    const auto id = journal->begin(aTopup("desk-1", 150, 5), error);
    ASSERT_TRUE(id) << error;
    ASSERT_TRUE(journal->complete(*id, {"ok", true, false, 155, "42"}, error)) << error;
    const auto rows = journal->rows({"2026-03-01", "", ""}, error);
    ASSERT_TRUE(rows) << error;
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ(rows->front().id, "old");
    EXPECT_EQ(rows->back().end->serialAfter, "42");
    std::optional<WriteRow> last;
    ASSERT_TRUE(journal->lastConfirmed("42", last, error)) << error;
    EXPECT_EQ(last->id, *id);
}

// A row whose end time was lost holds no outcome, whatever its other columns say: nothing
// is read from it.
TEST_P(JournalStoreTest, AConfirmedRowWithoutEndTimeHasNoCreditToTell) {
    auto journal = testing::openJournal(where_);
    std::string error;
    ASSERT_TRUE(journal->begin(aTopup("desk-1", 1500, 250), error)) << error;
    // An outcome in the row's own columns (as before the chain) with no end time beside it.
    ASSERT_TRUE(testing::execRaw(where_,
                                 "UPDATE credit_writes SET cause = 'ok', confirmed = 1, "
                                 "credit_after = 1750, serial_after = '123456'"));
    std::optional<WriteRow> last;
    ASSERT_TRUE(journal->lastConfirmed("123456", last, error)) << error;
    ASSERT_TRUE(last);
    EXPECT_FALSE(last->end);
    EXPECT_FALSE(creditAfter(*last));
}

// Every kind of outcome a write can end with, stored and read back by another connection
// field by field: confirmed, known unchanged or neither; with and without the credit and the
// serial number read back; under each cause a front end names. A flag stored from the wrong
// field would turn a refused write into one that needs a read, or a doubtful one into money.
TEST_P(JournalStoreTest, EveryKindOfOutcomeIsReadBackAsItWasRecorded) {
    struct Flags {
        bool confirmed;
        bool unchanged;
    };
    constexpr Flags kFlags[] = {{true, false}, {false, true}, {false, false}};
    std::vector<std::string> causes;
    for (const till::CauseRow& row : till::causeTable()) causes.emplace_back(row.name);
    struct Recorded {
        WriteStart start;
        WriteEnd end;
    };
    std::map<std::string, Recorded> recorded;
    auto journal = testing::openJournal(where_);
    std::string error;
    // 12 shapes of the flags and what was read back; the causes in turn over them, each at
    // least once.
    const std::size_t kinds = std::max<std::size_t>(std::size(kFlags) * 4, causes.size());
    for (std::size_t i = 0; i < kinds; ++i) {
        const Flags flags = kFlags[i % std::size(kFlags)];
        const bool after = (i / std::size(kFlags)) % 2 == 0;
        const bool serialAfter = (i / std::size(kFlags) / 2) % 2 == 0;
        WriteStart start = aTopup("desk-" + std::to_string(i % 3), 100 + static_cast<int>(i), 5);
        // Rows of other shapes at the start too: nothing read before, an absolute write.
        if (i % 4 == 1) {
            start.serial.reset();
            start.serialSource = SerialSource::None;
            start.before.reset();
            start.topup.reset();
        } else if (i % 4 == 2) {
            start.serialSource = SerialSource::LastRead;
            start.topup.reset();
        }
        WriteEnd end{
            causes[i % causes.size()], flags.confirmed, flags.unchanged,
            after ? std::optional<int>(200 + static_cast<int>(i)) : std::nullopt,
            serialAfter ? std::optional<std::string>(std::to_string(7000 + i)) : std::nullopt};
        const auto id = journal->begin(start, error);
        ASSERT_TRUE(id) << error;
        ASSERT_TRUE(journal->complete(*id, end, error)) << error;
        recorded[*id] = {start, end};
    }

    auto reader = testing::openJournal(where_, Access::Read);
    const auto rows = reader->rows({}, error);
    ASSERT_TRUE(rows) << error;
    ASSERT_EQ(rows->size(), recorded.size());
    for (const WriteRow& row : *rows) {
        ASSERT_TRUE(recorded.count(row.id)) << row.id;
        const Recorded& r = recorded[row.id];
        const std::string kind = r.end.cause + (r.end.confirmed ? " confirmed" : "") +
                                 (r.end.unchanged ? " unchanged" : "") +
                                 (r.end.after ? " after" : "") +
                                 (r.end.serialAfter ? " serial_after" : "");
        SCOPED_TRACE(kind);
        EXPECT_EQ(row.start.station, r.start.station);
        EXPECT_EQ(row.start.user, r.start.user);
        EXPECT_EQ(row.start.program, r.start.program);
        EXPECT_EQ(row.start.port, r.start.port);
        EXPECT_EQ(row.start.serial, r.start.serial);
        EXPECT_EQ(row.start.serialSource, r.start.serialSource);
        EXPECT_EQ(row.start.before, r.start.before);
        EXPECT_EQ(row.start.amount, r.start.amount);
        EXPECT_EQ(row.start.topup, r.start.topup);
        EXPECT_TRUE(row.ended);
        ASSERT_TRUE(row.end);
        EXPECT_EQ(row.end->cause, r.end.cause);
        EXPECT_EQ(row.end->confirmed, r.end.confirmed);
        EXPECT_EQ(row.end->unchanged, r.end.unchanged);
        EXPECT_EQ(row.end->after, r.end.after);
        EXPECT_EQ(row.end->serialAfter, r.end.serialAfter);
        EXPECT_EQ(needsRead(row), !r.end.confirmed && !r.end.unchanged);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, JournalStoreTest,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         testing::backendName);

// A station's own role on a shared server: what an administrator granted it decides what it
// may do, and what it lacks is named with the GRANT that gives it, before anything is
// written. {role} and {schema} stand for the station's role and the journal's schema.
struct RoleCase {
    const char* name;
    std::vector<const char*> administrator;  // run as the journal's owner
    Access access;
    const char* refusal;  // empty: it may
};

void PrintTo(const RoleCase& c, std::ostream* os) {
    *os << c.name;
}

// The README's grants for a station.
const char* const kStationRead = "GRANT SELECT ON palmota_journal TO {role}";
const char* const kStationRows = "GRANT SELECT, INSERT ON credit_writes, journal_records TO {role}";

class StationRoleTest : public ::testing::TestWithParam<RoleCase> {
  protected:
    static std::string filled(std::string text, const std::string& role,
                              const std::string& schema) {
        for (const auto& [mark, value] :
             {std::pair{std::string("{role}"), role}, std::pair{std::string("{schema}"), schema}})
            for (std::size_t at; (at = text.find(mark)) != std::string::npos;)
                text.replace(at, mark.size(), value);
        return text;
    }
    static inline int count = 0;
};

TEST_P(StationRoleTest, MayDoWhatItWasGrantedAndIsToldWhatItLacks) {
    const RoleCase& c = GetParam();
    const std::string owned = testing::newJournal(Backend::PostgreSQL, "");
    std::string error;
    ASSERT_TRUE(testing::openJournal(owned)->connect(error)) << error;
    const std::string schema = owned.substr(owned.rfind("%3D") + 3);
    const std::string role = "station_" + std::to_string(QCoreApplication::applicationPid()) + "_" +
                             std::to_string(++count);
    ASSERT_TRUE(testing::execRaw(owned, "CREATE ROLE " + role + " LOGIN"));
    // The journal lives in a schema of its own here: the station may look into it.
    ASSERT_TRUE(testing::execRaw(owned, "GRANT USAGE ON SCHEMA " + schema + " TO " + role));
    for (const char* statement : c.administrator)
        ASSERT_TRUE(testing::execRaw(owned, filled(statement, role, schema))) << statement;

    std::string station = owned;
    station.replace(station.find("&user=postgres"), 14, "&user=" + role);
    auto journal = testing::openJournal(station, c.access);
    const bool connected = journal->connect(error);
    EXPECT_EQ(error, filled(c.refusal, role, schema));
    if (*c.refusal != '\0') {
        EXPECT_FALSE(connected);
        EXPECT_FALSE(journal->begin(aTopup("desk-2", 0, 5), error));
        return;
    }
    ASSERT_TRUE(connected);
    if (c.access == Access::Record) {
        const auto id = journal->begin(aTopup("desk-2", 100, 5), error);
        ASSERT_TRUE(id) << error;
        ASSERT_TRUE(journal->complete(*id, {"ok", true, false, 105, "123456"}, error)) << error;
        // It reads and appends, and cannot rewrite a record even by hand.
        for (const char* rewrite :
             {"UPDATE credit_writes SET amount = 1", "DELETE FROM credit_writes",
              "UPDATE journal_records SET credit_after = 1", "DELETE FROM journal_records"})
            EXPECT_NE(testing::refusal(station, rewrite).find("permission denied"),
                      std::string::npos)
                << rewrite;
    }
    const auto rows = journal->rows({}, error);
    ASSERT_TRUE(rows) << error;
    std::optional<WriteRow> last;
    EXPECT_TRUE(journal->lastConfirmed("123456", last, error)) << error;
    EXPECT_EQ(last.has_value(), c.access == Access::Record);
}

INSTANTIATE_TEST_SUITE_P(
    Grants, StationRoleTest,
    ::testing::Values(
        RoleCase{"TheReadmesGrantsRecord", {kStationRead, kStationRows}, Access::Record, ""},
        RoleCase{"NoGrantIsToldEveryOne",
                 {},
                 Access::Record,
                 "role {role} may not read palmota_journal, nor read or insert into "
                 "credit_writes, nor read or insert into journal_records: GRANT SELECT ON "
                 "{schema}.palmota_journal TO {role}; GRANT SELECT, INSERT ON "
                 "{schema}.credit_writes TO {role}; GRANT SELECT, INSERT ON "
                 "{schema}.journal_records TO {role}"},
        // Refused before a row goes in: a row it could not complete would stay without outcome.
        RoleCase{"NoInsertOfOutcomes",
                 {kStationRead, "GRANT SELECT, INSERT ON credit_writes TO {role}",
                  "GRANT SELECT ON journal_records TO {role}"},
                 Access::Record,
                 "role {role} may not insert into journal_records: GRANT INSERT ON "
                 "{schema}.journal_records TO {role}"},
        RoleCase{"ReadingNeedsOnlySelect",
                 {kStationRead, "GRANT SELECT ON credit_writes, journal_records TO {role}"},
                 Access::Read,
                 ""},
        RoleCase{"ReadingWithoutGrant",
                 {},
                 Access::Read,
                 "role {role} may not read palmota_journal, nor read credit_writes, nor read "
                 "journal_records: GRANT SELECT ON {schema}.palmota_journal TO {role}; GRANT "
                 "SELECT ON {schema}.credit_writes TO {role}; GRANT SELECT ON "
                 "{schema}.journal_records TO {role}"},
        // Only the owner of the tables may add the columns of a newer schema.
        RoleCase{"AnUpgradeIsTheOwners",
                 {kStationRead, kStationRows, "ALTER TABLE credit_writes DROP COLUMN serial_after",
                  "UPDATE palmota_journal SET schema_version = 1"},
                 Access::Record,
                 "role {role} may not upgrade the journal's schema from version 1 to 3: only "
                 "the owner of its tables, postgres, may; start it once as postgres"},
        // A first station's role that may not make the tables in the journal's schema.
        RoleCase{"MakingTheTablesNeedsCreate",
                 {"DROP TABLE palmota_journal", "DROP TABLE credit_writes"},
                 Access::Record,
                 "role {role} may not make the journal's tables in schema {schema}: GRANT "
                 "CREATE ON SCHEMA {schema} TO {role}, or start it once as the role that owns "
                 "the database"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(SqliteJournal, AFileOfOtherBytesIsNotAJournalAndStaysUntouched) {
    TempFolder folder;
    const std::string path = folder.path() + "/noise.db";
    const std::string noise(4096, '\x5A');
    std::ofstream(path, std::ios::binary) << noise;
    auto journal = testing::openJournal(path);
    std::string error;
    EXPECT_FALSE(journal->connect(error));
    EXPECT_EQ(error, "not a journal: file is not a database");
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), noise);
}

// Another program's database given as the journal: refused before a single statement
// changes it, not even to write-ahead logging.
TEST(SqliteJournal, AnotherProgramsDatabaseIsRefusedAndLeftAsItIs) {
    TempFolder folder;
    const std::string path = folder.path() + "/accounts.db";
    ASSERT_TRUE(testing::execRaw(path, "CREATE TABLE accounts (name TEXT)"));
    ASSERT_TRUE(testing::execRaw(path, "INSERT INTO accounts VALUES ('kept')"));
    const auto bytes = [&path] {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = bytes();
    auto journal = testing::openJournal(path);
    std::string error;
    EXPECT_FALSE(journal->connect(error));
    EXPECT_EQ(error,
              "not a journal: an SQLite database of another program (its tables: accounts), "
              "left as it is");
    journal.reset();
    EXPECT_EQ(bytes(), before);
    EXPECT_FALSE(std::filesystem::exists(path + "-wal"));
}

// Between two writes, the journal file alone holds every row committed: a copy of it (a
// backup taken while a program has it open) or the file moved elsewhere reads them all,
// their outcomes included, with nothing beside it.
TEST(SqliteJournal, EveryCommittedRowIsInTheJournalFileItself) {
    TempFolder folder;
    TempFolder elsewhere;
    const std::string path = folder.path() + "/journal.db";
    auto journal = testing::openJournal(path);
    std::string error;
    std::vector<std::string> ids;
    for (int i = 0; i < 3; ++i) {
        const auto id = journal->begin(aTopup("desk-1", 5 * i, 5), error);
        ASSERT_TRUE(id) << error;
        ids.push_back(*id);
    }
    ASSERT_TRUE(journal->complete(ids[0], {"ok", true, false, 5, "123456"}, error)) << error;
    ASSERT_TRUE(journal->complete(ids[1], {"write-refused", false, true, 5, "123456"}, error));
    // The third is begun, its outcome still to come: the row is there all the same.
    const std::string copy = elsewhere.path() + "/copy.db";
    std::filesystem::copy_file(path, copy);
    const auto rows = testing::openJournal(copy, Access::Read)->rows({}, error);
    ASSERT_TRUE(rows) << error;
    ASSERT_EQ(rows->size(), 3u);
    int completed = 0;
    for (const WriteRow& row : *rows) completed += row.end ? 1 : 0;
    EXPECT_EQ(completed, 2);
    for (const char* beside : {"-wal", "-shm", "-journal"})
        EXPECT_FALSE(std::filesystem::exists(path + beside)) << beside;
}

// A journal an earlier version kept in write-ahead mode, its last rows still in its
// journal.db-wal (the program was killed): they are kept, and the file goes to rollback
// mode, but only once no other program has it open in write-ahead mode.
TEST(SqliteJournal, AJournalKeptInWriteAheadModeKeepsItsRowsAndChangesModeAlone) {
    TempFolder folder;
    TempFolder elsewhere;
    const std::string path = folder.path() + "/journal.db";
    std::string error;
    ASSERT_TRUE(testing::openJournal(path)->begin(aTopup("desk-1", 0, 5), error)) << error;
    const std::string left = elsewhere.path() + "/journal.db";
    {
        QSqlDatabase db = testing::rawConnection(path, "earlier");
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("PRAGMA journal_mode = WAL"));
        ASSERT_TRUE(
            q.exec("INSERT INTO credit_writes (id, station, user_name, program, port, "
                   "amount, started) VALUES ('in-the-log', 'desk-1', 'u', 'palmota', "
                   "'1', 5, '2026-03-01T10:00:00.000Z')"));
        // The two files as a killed program leaves them: the row only in the log.
        std::filesystem::copy_file(path, left);
        std::filesystem::copy_file(path + "-wal", left + "-wal");
        auto journal = testing::openJournal(path);
        EXPECT_FALSE(journal->connect(error));
        EXPECT_NE(error.find("the journal is in write-ahead mode and another program (of an "
                             "earlier version) has it open"),
                  std::string::npos)
            << error;
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("earlier");

    auto journal = testing::openJournal(left);
    ASSERT_TRUE(journal->begin(aTopup("desk-1", 5, 5), error)) << error;
    const auto rows = journal->rows({}, error);
    ASSERT_TRUE(rows) << error;
    EXPECT_EQ(rows->size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(left + "-wal"));
}

// What becomes of the file a program has open, behind its back.
struct LostFileCase {
    const char* name;
    // What happens to the file at `path`; `aside` is a free name in another folder.
    void (*change)(const std::string& path, const std::string& aside);
    const char* error;
    bool movedAside;  // the rows are to be found at `aside`
};

void PrintTo(const LostFileCase& c, std::ostream* os) {
    *os << c.name;
}

class LostJournalFileTest : public ::testing::TestWithParam<LostFileCase> {};

// The file moved, removed or replaced while a program keeps it open: its rows went with
// it, and a file made anew (or another put there) would begin the day with none. The
// program takes no more writes until it is started again, and makes nothing in its place.
// (Windows keeps a file a program holds open from being moved or removed: there the
// journal stays, and so do its writes.)
TEST_P(LostJournalFileTest, TakesNoMoreRowsAndMakesNoneInItsPlace) {
    const LostFileCase& c = GetParam();
    TempFolder folder;
    TempFolder elsewhere;
    const std::string path = folder.path() + "/journal.db";
    const std::string aside = elsewhere.path() + "/journal-archive.db";
    auto journal = testing::openJournal(path);
    std::string error;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(journal->begin(aTopup("desk-1", 5 * i, 5), error));
    c.change(path, aside);
    if (!std::filesystem::exists(aside) && std::filesystem::exists(path)) {
        EXPECT_TRUE(journal->begin(aTopup("desk-1", 15, 5), error)) << error;
        return;
    }
    const auto there = [&path] {
        return std::filesystem::exists(path) ? std::filesystem::file_size(path) : 0;
    };
    const auto sizeThere = there();
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(journal->begin(aTopup("desk-1", 15, 5), error)) << attempt;
        EXPECT_EQ(error, c.error) << attempt;
        EXPECT_FALSE(journal->connect(error)) << attempt;
    }
    EXPECT_EQ(there(), sizeThere);
    if (c.movedAside) {
        const auto rows = testing::openJournal(aside, Access::Read)->rows({}, error);
        ASSERT_TRUE(rows) << error;
        EXPECT_EQ(rows->size(), 3u);
    }
}

constexpr const char* kMovedOrRemoved =
    "the journal file was moved or removed since it was opened; no more writes until the "
    "program is started again";
constexpr const char* kReplaced =
    "another file took the journal's place since it was opened; no more writes until the "
    "program is started again";

INSTANTIATE_TEST_SUITE_P(
    Changes, LostJournalFileTest,
    ::testing::Values(LostFileCase{"Removed",
                                   [](const std::string& path, const std::string&) {
                                       std::error_code ignored;
                                       std::filesystem::remove(path, ignored);
                                   },
                                   kMovedOrRemoved, false},
                      LostFileCase{"MovedAside",
                                   [](const std::string& path, const std::string& aside) {
                                       std::error_code ignored;
                                       std::filesystem::rename(path, aside, ignored);
                                   },
                                   kMovedOrRemoved, true},
                      LostFileCase{"ReplacedByAnEmptyFile",
                                   [](const std::string& path, const std::string& aside) {
                                       std::error_code ignored;
                                       std::filesystem::rename(path, aside, ignored);
                                       if (!ignored) std::ofstream(path, std::ios::binary).flush();
                                   },
                                   kReplaced, true}),
    [](const auto& row) { return std::string(row.param.name); });

// A database's message as a line of ours: libpq's lines that quote the statement or the
// row given to it never reach it.
struct ServerMessageCase {
    const char* name;
    const char* said;
    const char* shown;
};

void PrintTo(const ServerMessageCase& c, std::ostream* os) {
    *os << c.name;
}

class ServerMessageTest : public ::testing::TestWithParam<ServerMessageCase> {};

TEST_P(ServerMessageTest, KeepsTheCauseAndLeavesTheRowOut) {
    EXPECT_EQ(serverMessage(QString::fromUtf8(GetParam().said)), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ServerMessageTest,
    ::testing::Values(
        ServerMessageCase{"StatementQuoted",
                          "ERROR:  syntax error at or near \"(\"\nLINE 1: EXECUTE  "
                          "('5f0c', 'vm', 'root', 'palmota-cli', '/dev/pts/3', '42')\n"
                          "                 ^\n(42601)",
                          "ERROR: syntax error at or near \"(\""},
        ServerMessageCase{"KeyValuesInDetail",
                          "ERROR:  duplicate key value violates unique constraint "
                          "\"credit_writes_pkey\"\nDETAIL:  Key (id)=(5f0c) already exists.\n"
                          "(23505)",
                          "ERROR: duplicate key value violates unique constraint "
                          "\"credit_writes_pkey\""},
        ServerMessageCase{"FunctionContext",
                          "ERROR:  value too long\nCONTEXT:  SQL statement \"INSERT ... "
                          "('desk-1')\"\n",
                          "ERROR: value too long"},
        // A connection's explanation quotes nothing: all of it is kept, on one line.
        ServerMessageCase{"ConnectionRefused",
                          "connection to server on socket \"/run/postgresql/.s.PGSQL.5432\" "
                          "failed: No such file or directory\n\tIs the server running "
                          "locally?\n",
                          "connection to server on socket \"/run/postgresql/.s.PGSQL.5432\" "
                          "failed: No such file or directory Is the server running locally?"}),
    [](const auto& row) { return std::string(row.param.name); });

// What the report counts from the rows it is given.
struct TotalsCase {
    const char* name;
    std::vector<WriteRow> rows;
    std::vector<std::string> csv;  // after the header
};

void PrintTo(const TotalsCase& c, std::ostream* os) {
    *os << c.name;
}

WriteRow row(const std::string& started, const std::string& station, std::optional<int> before,
             int amount, std::optional<int> topup, std::optional<WriteEnd> end) {
    WriteRow r;
    r.started = started;
    r.offsetMinutes = 0;  // the days of these rows are UTC days
    r.start.station = station;
    r.start.user = "cashier";
    r.start.before = before;
    r.start.amount = amount;
    r.start.topup = topup;
    r.end = end;
    return r;
}

const WriteEnd kConfirmed{"ok", true, false, std::nullopt, {}};
const WriteEnd kRefused{"write-refused", false, true, std::nullopt, {}};
const WriteEnd kUnknown{"not-confirmed", false, false, std::nullopt, {}};

class DailyTotalsTest : public ::testing::TestWithParam<TotalsCase> {};

TEST_P(DailyTotalsTest, CountsPerDayAndStation) {
    const TotalsCase& c = GetParam();
    std::string csv;
    for (const std::string& line : c.csv) csv += line + ",\n";
    // The station's lines, apart from the operator's line under each of them.
    std::string stations;
    std::istringstream lines(reportCsv(dailyTotals(c.rows)));
    for (std::string line; std::getline(lines, line);)
        if (line.size() < 8 || line.substr(line.size() - 8) != ",cashier") stations += line + '\n';
    EXPECT_EQ(
        stations,
        "day,station,writes,confirmed,refused,uncertain,no_outcome,loaded,topups,operator\n" + csv);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DailyTotalsTest,
    ::testing::Values(
        TotalsCase{"Nothing", {}, {}},
        // The loaded credit is after - before, also for an absolute write that lowered it.
        TotalsCase{"TopupAndAbsoluteWrite",
                   {row("2026-03-01T10:00:00.000Z", "desk-1", 1500, 1750, 250, kConfirmed),
                    row("2026-03-01T11:00:00.000Z", "desk-1", 1750, 1000, {},
                        WriteEnd{"ok", true, false, 1000, {}})},
                   {"2026-03-01,desk-1,2,2,0,0,0,-500,250"}},
        // Only what is known counts: no before, or no outcome, adds nothing to the credit.
        TotalsCase{"UnknownsAddNothing",
                   {row("2026-03-01T10:00:00.000Z", "desk-1", {}, 900, {}, kConfirmed),
                    row("2026-03-01T10:01:00.000Z", "desk-1", 100, 200, 100, kRefused),
                    row("2026-03-01T10:02:00.000Z", "desk-1", 100, 200, 100, kUnknown),
                    row("2026-03-01T10:03:00.000Z", "desk-1", 100, 200, 100, {})},
                   {"2026-03-01,desk-1,4,1,1,1,1,0,0"}},
        TotalsCase{"DaysAndStationsApart",
                   {row("2026-03-01T23:59:59.999Z", "desk-2", 0, 5, 5, kConfirmed),
                    row("2026-03-01T08:00:00.000Z", "desk-1", 0, 7, 7, kConfirmed),
                    row("2026-03-02T00:00:00.000Z", "desk-1", 7, 9, 2, kConfirmed)},
                   {"2026-03-01,desk-1,1,1,0,0,0,7,7", "2026-03-01,desk-2,1,1,0,0,0,5,5",
                    "2026-03-02,desk-1,1,1,0,0,0,2,2"}},
        TotalsCase{"StationNamesQuoted",
                   {row("2026-03-01T10:00:00.000Z", "desk \"A\", hall", 0, 1, 1, kConfirmed)},
                   {"2026-03-01,\"desk \"\"A\"\", hall\",1,1,0,0,0,1,1"}},
        // A spreadsheet runs a cell that begins with = + - @ (a tab or a carriage return
        // before one): such a name reaches the CSV as text, after a '.
        TotalsCase{"FormulasInNamesAreText",
                   {row("2026-03-01T10:00:00.000Z", "=1+2", 0, 1, 1, kConfirmed),
                    row("2026-03-01T10:00:00.000Z", "+1", 0, 1, 1, kConfirmed),
                    row("2026-03-01T10:00:00.000Z", "-2", 0, 1, 1, kConfirmed),
                    row("2026-03-01T10:00:00.000Z", "@SUM(A1)", 0, 1, 1, kConfirmed),
                    row("2026-03-01T10:00:00.000Z", "\t=cmd", 0, 1, 1, kConfirmed),
                    row("2026-03-01T10:00:00.000Z", "\r=cmd", 0, 1, 1, kConfirmed),
                    row("=cmd|' /C calc'!A0", "desk-1", 0, 1, 1, kConfirmed)},
                   {"2026-03-01,'\\x09=cmd,1,1,0,0,0,1,1", "2026-03-01,'\\x0D=cmd,1,1,0,0,0,1,1",
                    "2026-03-01,'+1,1,1,0,0,0,1,1", "2026-03-01,'-2,1,1,0,0,0,1,1",
                    "2026-03-01,'=1+2,1,1,0,0,0,1,1", "2026-03-01,'@SUM(A1),1,1,0,0,0,1,1",
                    "'=cmd|' /C ,desk-1,1,1,0,0,0,1,1"}},
        // No control byte reaches the CSV, C1 ones included: each is written \xNN, as in the
        // text report. A minus sign inside a name, or a letter beyond ASCII, is no formula.
        TotalsCase{
            "ControlBytesAreEscaped",
            {row("2026-03-01T10:00:00.000Z", "desk\x1B[31m", 0, 1, 1, kConfirmed),
             row("2026-03-01T10:00:00.000Z", "line\nend", 0, 1, 1, kConfirmed),
             row("2026-03-01T10:00:00.000Z", "c1\xC2\x9B", 0, 1, 1, kConfirmed),
             row("2026-03-01T10:00:00.000Z", "caisse-2 \xC3\xA9t\xC3\xA9", 0, 1, 1, kConfirmed)},
            {"2026-03-01,c1\\xC2\\x9B,1,1,0,0,0,1,1",
             "2026-03-01,caisse-2 \xC3\xA9t\xC3\xA9,1,1,0,0,0,1,1",
             "2026-03-01,desk\\x1B[31m,1,1,0,0,0,1,1", "2026-03-01,line\\x0Aend,1,1,0,0,0,1,1"}}),
    [](const auto& row) { return std::string(row.param.name); });

// A journal's place as this system takes it.
class SystemLocationTest : public ::testing::TestWithParam<testing::SystemLocation> {};

TEST_P(SystemLocationTest, IsTakenOrRefusedWithItsReason) {
    const testing::SystemLocation& c = GetParam();
    std::string error;
    const auto location = parseJournalLocation(c.where, error);
    EXPECT_EQ(location.has_value(), *c.refusal == '\0') << error;
    if (*c.refusal != '\0') {
        EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(ThisSystem, SystemLocationTest,
                         ::testing::ValuesIn(testing::systemLocations()),
                         [](const auto& row) { return std::string(row.param.name); });

// A line end in a station's name does not make a line of the text report: a forged day
// would pass for one in a reconciliation.
TEST(ReportText, ControlCharactersInNamesAreShownEscaped) {
    const std::vector<WriteRow> rows = {
        row("2026-03-01T10:00:00.000Z", "desk\n2026-03-01  forged", 0, 1, 1, kUnknown)};
    const std::string text = reportText(dailyTotals(rows), rows);
    EXPECT_NE(text.find("desk\\x0A2026-03-01  forged"), std::string::npos) << text;
    // The station, the header, one day, the operators' header and line, a blank line, the
    // heading of the writes to read, one of them on four lines.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11) << text;
}

// Where a journal lives, as --journal names it.
struct LocationCase {
    const char* name;
    std::string where;
    bool accepted;
    std::string host = {};
    std::string database = {};
    std::string options = {};
};

void PrintTo(const LocationCase& c, std::ostream* os) {
    *os << c.name << " (" << c.where << ")";
}

class JournalLocationTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(JournalLocationTest, NamesAFileOrAServer) {
    const LocationCase& c = GetParam();
    std::string error;
    const auto location = parseJournalLocation(c.where, error);
    ASSERT_EQ(location.has_value(), c.accepted) << error;
    // A password is never told back, neither in the refusal nor where the journal is named,
    // nor any part of one that a character typed in it would split ("S3" and "CRET" of
    // "S3/CRET"): the rows' passwords are "secret" and "S3CRET".
    const std::string told = "--journal " + shownLocation(c.where) + ": " + error;
    for (const char* part : {"secret", "S3", "CRET"})
        EXPECT_EQ(told.find(part), std::string::npos) << told;
    if (!location) return;
    EXPECT_EQ(location->host, c.host);
    EXPECT_EQ(location->database, c.database);
    EXPECT_EQ(location->options, c.options);
}

INSTANTIATE_TEST_SUITE_P(
    Names, JournalLocationTest,
    ::testing::Values(
        LocationCase{"File", "/var/lib/palmota/journal.db", true},
        LocationCase{"Server", "postgresql://desk@db.example/palmota", true, "db.example",
                     "palmota", "connect_timeout=5"},
        LocationCase{"UnixSocket", "postgresql:///palmota?host=/run/postgresql&sslmode=disable",
                     true, "", "palmota",
                     "host='/run/postgresql';sslmode='disable';connect_timeout=5"},
        LocationCase{"OwnTimeout", "postgres://h/p?connect_timeout=1", true, "h", "p",
                     "connect_timeout='1'"},
        // A password on a command line is there for every user of the machine to read.
        LocationCase{"PasswordInUserInfo", "postgresql://desk:secret@db/palmota", false},
        LocationCase{"PasswordInQuery", "postgresql://db/palmota?password=secret", false},
        LocationCase{"OddKeyword", "postgresql://db/palmota?host%20x=1", false},
        LocationCase{"SemicolonInValue", "postgresql://db/p?options=-c%20a=1;b", false},
        LocationCase{"Empty", "", false},
        // Another kind of URI is not a file of that name.
        LocationCase{"OtherScheme", "mysql://desk@db/palmota", false},
        LocationCase{"DriveLetterIsAPath", "C:\\Caisse\\journal.db", true},
        LocationCase{"PasswordInABadUri", "postgresql://desk:secret@db:99999/palmota", false},
        // A password typed with a character a URI gives a meaning to ends the host part
        // early, and the URI cannot be used; its parts are still nobody's to read.
        LocationCase{"PasswordWithASlash", "postgresql://u:S3/CRET@db/palmota", false},
        LocationCase{"PasswordWithAHash", "postgresql://u:S3#CRET@db/palmota", false},
        LocationCase{"PasswordWithAQuestionMark", "postgresql://u:S3?CRET@db/palmota", false},
        LocationCase{"PasswordWithAnAt", "postgresql://u:S3@CRET@db/palmota", false},
        LocationCase{"PasswordWithAColon", "postgresql://u:S3:CRET@db/palmota", false},
        LocationCase{"PasswordWithASpace", "postgresql://u:S3 CRET@db/palmota", false},
        LocationCase{"PasswordEscaped", "postgresql://u:S3%2FCRET@db/palmota", false},
        LocationCase{"PasswordAndABadHost", "postgresql://u:S3CRET@[::1/palmota", false},
        // Schemes this program does not take, written with a password all the same.
        LocationCase{"UpperCaseScheme", "POSTGRESQL://u:S3CRET@db/palmota", false},
        LocationCase{"MixedCaseScheme", "Postgres://u:S3CRET@db/palmota", false},
        LocationCase{"OtherSchemeWithAPassword", "pgsql://u:S3CRET@db/palmota", false},
        LocationCase{"OtherSchemeWithAPasswordKeyword", "pgsql://db/palmota?password=S3CRET",
                     false},
        // The keyword however it is written, and a password holding '&' or '#'.
        LocationCase{"EscapedPasswordKeyword", "postgresql://db/palmota?pass%77ord=S3CRET", false},
        LocationCase{"UpperCasePasswordKeyword", "postgresql://db/palmota?PASSWORD=S3CRET", false},
        LocationCase{"PasswordKeywordAfterAnother",
                     "postgresql://db/palmota?sslmode=disable&password=S3CRET", false},
        LocationCase{"PasswordKeywordWithAnAmpersand", "postgresql://db/palmota?password=S3&CRET",
                     false},
        LocationCase{"PasswordKeywordWithAHash", "postgresql://db/palmota?password=S3#CRET",
                     false}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace palmota::journal

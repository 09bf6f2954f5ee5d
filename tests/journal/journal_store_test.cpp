// The journal's rows, its schema and its refusals, on an SQLite file and on PostgreSQL.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

#include "journal/daily_report.h"
#include "journal/journal_location.h"
#include "journal/server_message.h"
#include "tests/journal/journal_places.h"
#include "tests/journal/location_cases.h"

namespace palmota::journal {
namespace {

using testing::Backend;
using testing::TempFolder;

class JournalStoreTest : public ::testing::TestWithParam<Backend> {
  protected:
    TempFolder folder_;
    std::string where_ = testing::newJournal(GetParam(), folder_.path());
};

WriteStart aTopup(const std::string& station, int before, int topup) {
    WriteStart start;
    start.program = "palmota-cli";
    start.port = "/dev/ttyUSB0";
    start.user = "desk";
    start.station = station;
    start.serial = "123456";
    start.serialSource = SerialSource::ReadNow;
    start.before = before;
    start.amount = before + topup;
    start.topup = topup;
    return start;
}

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
    ASSERT_TRUE(testing::execRaw(where_, "UPDATE palmota_journal SET schema_version = 3"));
    auto journal = testing::openJournal(where_);
    EXPECT_FALSE(journal->connect(error));
    EXPECT_EQ(error,
              "its schema is version 3, newer than the 2 this program knows: use a newer "
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
          "'ok', 1, 0, 150)"})
        ASSERT_TRUE(testing::execRaw(where_, statement)) << statement;
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
    const auto id = journal->begin(aTopup("desk-1", 1500, 250), error);
    ASSERT_TRUE(id && journal->complete(*id, {"ok", true, false, 1750, "123456"}, error)) << error;
    ASSERT_TRUE(testing::execRaw(where_, "UPDATE credit_writes SET ended = NULL"));
    std::optional<WriteRow> last;
    ASSERT_TRUE(journal->lastConfirmed("123456", last, error)) << error;
    ASSERT_TRUE(last);
    EXPECT_FALSE(last->end);
    EXPECT_FALSE(creditAfter(*last));
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
const char* const kStationRows = "GRANT SELECT, INSERT, UPDATE ON credit_writes TO {role}";

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
                 "role {role} may not read palmota_journal, nor read, insert into or update "
                 "credit_writes: GRANT SELECT ON {schema}.palmota_journal TO {role}; GRANT "
                 "SELECT, INSERT, UPDATE ON {schema}.credit_writes TO {role}"},
        // Refused before a row goes in: a row it could not complete would stay without outcome.
        RoleCase{"NoUpdate",
                 {kStationRead, "GRANT SELECT, INSERT ON credit_writes TO {role}"},
                 Access::Record,
                 "role {role} may not update credit_writes: GRANT UPDATE ON "
                 "{schema}.credit_writes TO {role}"},
        RoleCase{"ReadingNeedsOnlySelect",
                 {kStationRead, "GRANT SELECT ON credit_writes TO {role}"},
                 Access::Read,
                 ""},
        RoleCase{"ReadingWithoutGrant",
                 {},
                 Access::Read,
                 "role {role} may not read palmota_journal, nor read credit_writes: GRANT SELECT "
                 "ON {schema}.palmota_journal TO {role}; GRANT SELECT ON {schema}.credit_writes "
                 "TO {role}"},
        // Only the owner of the tables may add the columns of a newer schema.
        RoleCase{"AnUpgradeIsTheOwners",
                 {kStationRead, kStationRows, "ALTER TABLE credit_writes DROP COLUMN serial_after",
                  "UPDATE palmota_journal SET schema_version = 1"},
                 Access::Record,
                 "role {role} may not upgrade the journal's schema from version 1 to 2: only "
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

// The file removed while a program keeps it open: its rows would go on into a file nobody
// can read any more. (Windows keeps a file a program holds open from being removed: there
// the journal stays, and so do its writes.)
TEST(SqliteJournal, AFileRemovedSinceItWasOpenedTakesNoMoreRows) {
    TempFolder folder;
    const std::string path = folder.path() + "/journal.db";
    auto journal = testing::openJournal(path);
    std::string error;
    ASSERT_TRUE(journal->begin(aTopup("desk-1", 0, 5), error)) << error;
    std::error_code kept;
    std::filesystem::remove(path, kept);
    if (kept) {
        EXPECT_TRUE(journal->begin(aTopup("desk-1", 5, 5), error)) << error;
        return;
    }
    EXPECT_FALSE(journal->begin(aTopup("desk-1", 5, 5), error));
    EXPECT_EQ(error, "the journal file was removed since it was opened");
    EXPECT_FALSE(std::filesystem::exists(path));
}

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
    r.start.station = station;
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
    for (const std::string& line : c.csv) csv += line + "\n";
    EXPECT_EQ(reportCsv(dailyTotals(c.rows)),
              "day,station,writes,confirmed,refused,uncertain,no_outcome,loaded,topups\n" + csv);
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
                   {"2026-03-01,\"desk \"\"A\"\", hall\",1,1,0,0,0,1,1"}}),
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
    // The header, one day, a blank line, the heading of the writes to read, one of them.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5) << text;
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
    // A password is never told back, neither in the refusal nor where the journal is named.
    EXPECT_EQ(error.find("secret"), std::string::npos) << error;
    EXPECT_EQ(shownLocation(c.where).find("secret"), std::string::npos) << shownLocation(c.where);
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
        LocationCase{"PasswordInABadUri", "postgresql://desk:secret@db:99999/palmota", false}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace palmota::journal

// Each station's chain, and what `journal verify` finds when someone with the file or a role
// of the server rewrites history behind the program's back, on SQLite and on PostgreSQL.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include "tests/journal/journal_places.h"

namespace palmota::journal {
namespace {

using testing::Backend;
using testing::TempFolder;

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

// What was done behind the program's back, and the first record verify must name: its
// station and its place (0: none, the chain holds).
struct Tampering {
    const char* name;
    std::vector<const char*> statements;
    const char* station;
    long long seq;
    const char* what;  // how the explanation begins
};

void PrintTo(const Tampering& t, std::ostream* os) {
    *os << t.name;
}

// desk-1 makes three top-ups, desk-2 one: desk-1's chain holds write 1, its outcome (2),
// write 3, outcome 4, write 5, outcome 6; desk-2's write 1 and outcome 2.
const Tampering kTamperings[] = {
    {"Clean", {}, "", 0, ""},
    {"AnAmountChanged",
     {"UPDATE credit_writes SET amount = 9999 WHERE station = 'desk-1' AND seq = 3"},
     "desk-1",
     3,
     "altered"},
    {"AnOutcomesCreditChanged",
     {"UPDATE journal_records SET credit_after = 9999 WHERE station = 'desk-1' AND seq = 4"},
     "desk-1",
     4,
     "altered"},
    {"AnOutcomeDeleted",
     {"DELETE FROM journal_records WHERE station = 'desk-1' AND seq = 4"},
     "desk-1",
     5,
     "removed before it"},
    {"AWriteDeleted",
     {"DELETE FROM credit_writes WHERE station = 'desk-1' AND seq = 3"},
     "desk-1",
     4,
     "removed before it"},
    {"ARowInserted",
     {"DROP INDEX journal_records_link",
      "INSERT INTO journal_records SELECT 'forged', station, seq, kind, at, offset_minutes, "
      "write_id, cause, confirmed, unchanged, 9999, serial_after, program, detail, prev_hash, "
      "hash FROM journal_records WHERE station = 'desk-1' AND seq = 4"},
     "desk-1",
     4,
     "inserted"},
    {"TwoRowsSwapped",
     {"UPDATE journal_records SET seq = -1 WHERE station = 'desk-1' AND seq = 4",
      "UPDATE journal_records SET seq = 4 WHERE station = 'desk-1' AND seq = 6",
      "UPDATE journal_records SET seq = 6 WHERE station = 'desk-1' AND seq = -1"},
     "desk-1",
     4,
     "altered"},
    {"ARecordsLinkRewritten",
     {"UPDATE credit_writes SET prev_hash = '00' WHERE station = 'desk-2' AND seq = 1"},
     "desk-2",
     1,
     "altered"},
    // The last record of a chain, removed: nothing after it names it, so the chain alone
    // holds. Only a witness made after it (a closure's chain head, printed) shows it.
    {"TheLastRecordRemovedShowsNoBreakWithoutAWitness",
     {"DELETE FROM journal_records WHERE station = 'desk-1' AND seq = 6"},
     "",
     0,
     ""},
};

class ChainTest : public ::testing::TestWithParam<std::tuple<Backend, Tampering>> {
  protected:
    TempFolder folder_;
    std::string where_ = testing::newJournal(std::get<0>(GetParam()), folder_.path());
};

TEST_P(ChainTest, VerifyNamesTheFirstRecordRewritten) {
    const Tampering& t = std::get<1>(GetParam());
    std::string error;
    {
        auto journal = testing::openJournal(where_);
        for (int i = 0; i < 3; ++i) {
            const auto id = journal->begin(aTopup("desk-1", 100 * i, 10), error);
            ASSERT_TRUE(id) << error;
            ASSERT_TRUE(journal->complete(*id, {"ok", true, false, 100 * i + 10, {}}, error))
                << error;
        }
        const auto id = journal->begin(aTopup("desk-2", 0, 5), error);
        ASSERT_TRUE(id && journal->complete(*id, {"ok", true, false, 5, {}}, error)) << error;
    }
    for (const char* statement : t.statements)
        ASSERT_TRUE(testing::execRaw(where_, statement)) << statement;

    ChainCheck check;
    ASSERT_TRUE(testing::openJournal(where_, Access::Read)->verify(check, error)) << error;
    EXPECT_EQ(check.stations, 2);
    if (*t.station == '\0') {
        EXPECT_FALSE(check.broken)
            << check.broken->station << " " << check.broken->seq << " " << check.broken->what;
        return;
    }
    ASSERT_TRUE(check.broken);
    EXPECT_EQ(check.broken->station, t.station);
    EXPECT_EQ(check.broken->seq, t.seq);
    EXPECT_EQ(check.broken->what.rfind(t.what, 0), 0u) << check.broken->what;
}

INSTANTIATE_TEST_SUITE_P(Tamperings, ChainTest,
                         ::testing::Combine(::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                                            ::testing::ValuesIn(kTamperings)),
                         [](const auto& row) {
                             return testing::backendName({std::get<0>(row.param), 0}) + "_" +
                                    std::get<1>(row.param).name;
                         });

// A journal of the version before the chain: its rows are sealed by the first record of
// each station's chain, and a row changed after that is named by the seal.
TEST(ChainSeal, RowsBeforeTheChainAreSealedAndTheirRewriteShown) {
    for (const Backend backend : {Backend::SQLite, Backend::PostgreSQL}) {
        TempFolder folder;
        const std::string where = testing::newJournal(backend, folder.path());
        ASSERT_TRUE(testing::makeVersionOneJournal(where));
        std::string error;
        ChainCheck check;
        ASSERT_TRUE(testing::openJournal(where)->verify(check, error)) << error;
        EXPECT_FALSE(check.broken) << check.broken->what;
        EXPECT_EQ(check.sealed, 1);
        ASSERT_TRUE(
            testing::execRaw(where, "UPDATE credit_writes SET amount = 1 WHERE id = 'old'"));
        ASSERT_TRUE(testing::openJournal(where, Access::Read)->verify(check, error)) << error;
        ASSERT_TRUE(check.broken);
        EXPECT_EQ(check.broken->seq, 1);
        EXPECT_EQ(check.broken->what.rfind("the rows it seals", 0), 0u) << check.broken->what;
    }
}

// A record timed before the chain's last one (the station's clock set back) is preceded in
// the chain by an event that says so, and the chain still holds.
TEST(ChainEvents, AClockSetBackIsAnEventOfTheChain) {
    for (const Backend backend : {Backend::SQLite, Backend::PostgreSQL}) {
        TempFolder folder;
        const std::string where = testing::newJournal(backend, folder.path());
        std::string error;
        auto journal = testing::openJournal(where);
        ASSERT_TRUE(journal->begin(aTopup("desk-1", 0, 5), error)) << error;
        // The chain's last record timed far ahead, as a clock set forward then back leaves
        // it (added by hand: only its time and place matter here).
        ASSERT_TRUE(testing::execRaw(
            where,
            "INSERT INTO journal_records SELECT 'ahead', station, 2, 'note', "
            "'2999-01-01T00:00:00.000Z', 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
            "NULL, hash, 'x' FROM credit_writes"));
        ASSERT_TRUE(journal->begin(aTopup("desk-1", 5, 5), error)) << error;
        QSqlDatabase db = testing::rawConnection(where, "events");
        {
            QSqlQuery q(db);
            ASSERT_TRUE(
                q.exec("SELECT seq, detail FROM journal_records WHERE kind = "
                       "'clock-backwards'"));
            ASSERT_TRUE(q.next()) << static_cast<int>(backend);
            EXPECT_EQ(q.value(0).toInt(), 3);
            EXPECT_TRUE(
                q.value(1).toString().endsWith("before the last record's "
                                               "2999-01-01T00:00:00.000Z"));
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("events");
    }
}

}  // namespace
}  // namespace palmota::journal

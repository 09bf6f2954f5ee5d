// Each station's chain, and what `journal verify` finds when someone with the file or a role
// of the server rewrites history behind the program's back, on SQLite and on PostgreSQL.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlQuery>

#include "journal/cashup_data.h"
#include "tests/journal/journal_places.h"

namespace palmota::journal {
namespace {

using testing::aTopup;
using testing::Backend;
using testing::TempFolder;

// What was done behind the program's back, and the first record verify must name: its
// station and its place (0: none, the chain holds).
struct Tampering {
    const char* name;
    std::vector<const char*> statements;
    const char* station;
    long long seq;
    ChainBreak::Kind kind;
};

void PrintTo(const Tampering& t, std::ostream* os) {
    *os << t.name;
}

// desk-1 makes three top-ups, desk-2 one and closes: desk-1's chain holds the program's
// opening (1), write 2, its outcome (3), write 4, outcome 5, write 6, outcome 7; desk-2's
// opening 1, write 2, outcome 3 and closure 4.
const Tampering kTamperings[] = {
    {"Clean", {}, "", 0, ChainBreak::Kind::Altered},
    {"AnAmountChanged",
     {"UPDATE credit_writes SET amount = 9999 WHERE station = 'desk-1' AND seq = 4"},
     "desk-1",
     4,
     ChainBreak::Kind::Altered},
    {"AnOutcomesCreditChanged",
     {"UPDATE journal_records SET credit_after = 9999 WHERE station = 'desk-1' AND seq = 5"},
     "desk-1",
     5,
     ChainBreak::Kind::Altered},
    {"AnOutcomeDeleted",
     {"DELETE FROM journal_records WHERE station = 'desk-1' AND seq = 5"},
     "desk-1",
     6,
     ChainBreak::Kind::Removed},
    {"AWriteDeleted",
     {"DELETE FROM credit_writes WHERE station = 'desk-1' AND seq = 4"},
     "desk-1",
     5,
     ChainBreak::Kind::Removed},
    {"ARowInserted",
     {"DROP INDEX journal_records_link",
      "INSERT INTO journal_records SELECT 'forged', station, seq, kind, at, offset_minutes, "
      "write_id, cause, confirmed, unchanged, 9999, serial_after, program, detail, prev_hash, "
      "hash FROM journal_records WHERE station = 'desk-1' AND seq = 5"},
     "desk-1",
     5,
     ChainBreak::Kind::Inserted},
    {"TwoRowsSwapped",
     {"UPDATE journal_records SET seq = -1 WHERE station = 'desk-1' AND seq = 5",
      "UPDATE journal_records SET seq = 5 WHERE station = 'desk-1' AND seq = 7",
      "UPDATE journal_records SET seq = 7 WHERE station = 'desk-1' AND seq = -1"},
     "desk-1",
     5,
     ChainBreak::Kind::Altered},
    {"ARecordsLinkRewritten",
     {"UPDATE credit_writes SET prev_hash = '00' WHERE station = 'desk-2' AND seq = 2"},
     "desk-2",
     2,
     ChainBreak::Kind::Altered},
    {"AClosuresTotalChanged",
     {"UPDATE journal_records SET detail = replace(detail, '\"grandTotal\":5', "
      "'\"grandTotal\":9999') WHERE kind = 'closure'"},
     "desk-2",
     4,
     ChainBreak::Kind::Altered},
    // The last record of a chain, removed: nothing after it names it, so the chain alone
    // holds. Only a witness made after it (a closure's chain head, printed) shows it.
    {"LastRecordRemovedNeedsAWitness",
     {"DELETE FROM journal_records WHERE station = 'desk-1' AND seq = 7"},
     "",
     0,
     ChainBreak::Kind::Altered},
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
        Closure closure;
        std::optional<int> nothing;
        ASSERT_TRUE(journal->close("desk-2", "desk", closure, nothing, error)) << error;
    }
    for (const char* statement : t.statements)
        ASSERT_TRUE(testing::execRaw(where_, statement)) << statement;

    ChainCheck check;
    ASSERT_TRUE(testing::openJournal(where_, Access::Read)->verify(check, error)) << error;
    EXPECT_EQ(check.stations, 2);
    if (*t.station == '\0') {
        EXPECT_FALSE(check.broken) << check.broken->station << " " << check.broken->seq;
        return;
    }
    ASSERT_TRUE(check.broken);
    EXPECT_EQ(check.broken->station, t.station);
    EXPECT_EQ(check.broken->seq, t.seq);
    EXPECT_EQ(check.broken->kind, t.kind);
}

INSTANTIATE_TEST_SUITE_P(Tamperings, ChainTest,
                         ::testing::Combine(::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                                            ::testing::ValuesIn(kTamperings)),
                         [](const auto& row) {
                             return testing::backendName({std::get<0>(row.param), 0}) + "_" +
                                    std::get<1>(row.param).name;
                         });

// A station's closures: each over the writes since the one before, numbered per station,
// its figures those of its rows, never made twice over the same rows, and read back as
// made; verify recomputes them.
TEST(ChainClosures, AClosureCountsItsPeriodAndIsReadBackAsMade) {
    for (const Backend backend : {Backend::SQLite, Backend::PostgreSQL}) {
        SCOPED_TRACE(static_cast<int>(backend));
        TempFolder folder;
        const std::string where = testing::newJournal(backend, folder.path());
        std::string error;
        auto journal = testing::openJournal(where);
        std::optional<int> nothing;
        Closure none;
        EXPECT_FALSE(journal->close("desk-1", "anne", none, nothing, error));
        EXPECT_EQ(nothing, 0) << error;
        // Two top-ups confirmed, one refused, one left without outcome, another station's.
        for (int i = 0; i < 2; ++i) {
            const auto id = journal->begin(aTopup("desk-1", 100 * i, 10), error);
            ASSERT_TRUE(id && journal->complete(*id, {"ok", true, false, 100 * i + 10, {}}, error))
                << error;
        }
        const auto refused = journal->begin(aTopup("desk-1", 500, 7), error);
        ASSERT_TRUE(refused &&
                    journal->complete(*refused, {"write-refused", false, true, 500, {}}, error))
            << error;
        const auto doubtful = journal->begin(aTopup("desk-1", 600, 3), error);
        ASSERT_TRUE(doubtful) << error;
        ASSERT_TRUE(journal->begin(aTopup("desk-2", 0, 40), error)) << error;

        Closure first;
        ASSERT_TRUE(journal->close("desk-1", "anne", first, nothing, error)) << error;
        EXPECT_EQ(first.number, 1);
        EXPECT_EQ(first.station, "desk-1");
        EXPECT_EQ(first.user, "anne");
        EXPECT_EQ(first.writes, 4);
        EXPECT_EQ(first.confirmed, 2);
        EXPECT_EQ(first.refused, 1);
        EXPECT_EQ(first.doubtful, 1);
        EXPECT_EQ(first.loaded, 20);
        EXPECT_EQ(first.toppedUp, 20);
        EXPECT_EQ(first.grandTotal, 20);
        ASSERT_EQ(first.operators.size(), 1u);
        EXPECT_EQ(first.operators[0].user, "desk");
        EXPECT_EQ(first.operators[0].writes, 4);
        ASSERT_EQ(first.open.size(), 1u);
        EXPECT_EQ(first.open[0].id, *doubtful);
        EXPECT_EQ(first.chainHead.size(), 64u);
        ASSERT_TRUE(first.first && first.last);

        Closure again;
        EXPECT_FALSE(journal->close("desk-1", "anne", again, nothing, error));
        EXPECT_EQ(nothing, 1);
        EXPECT_EQ(error, "nothing to close since closure 1");

        const auto later = journal->begin(aTopup("desk-1", 110, 5), error);
        ASSERT_TRUE(later && journal->complete(*later, {"ok", true, false, 115, {}}, error))
            << error;
        Closure second;
        ASSERT_TRUE(journal->close("desk-1", "anne", second, nothing, error)) << error;
        EXPECT_EQ(second.number, 2);
        EXPECT_EQ(second.writes, 1);
        EXPECT_EQ(second.grandTotal, 25);
        Closure other;
        ASSERT_TRUE(journal->close("desk-2", "bob", other, nothing, error)) << error;
        EXPECT_EQ(other.number, 1);
        EXPECT_EQ(other.doubtful, 1);

        // Read back by another program: the figures, time and chain head as made.
        auto reader = testing::openJournal(where, Access::Read);
        std::optional<Closure> shown;
        ASSERT_TRUE(reader->closure("desk-1", 1, shown, error)) << error;
        ASSERT_TRUE(shown);
        EXPECT_EQ(closureDetail(*shown), closureDetail(first));
        EXPECT_EQ(shown->chainHead, first.chainHead);
        EXPECT_EQ(shown->made.utc, first.made.utc);
        EXPECT_EQ(shown->program, first.program);
        ASSERT_TRUE(reader->closure("desk-1", 3, shown, error)) << error;
        EXPECT_FALSE(shown);
        ChainCheck check;
        ASSERT_TRUE(reader->verify(check, error)) << error;
        EXPECT_FALSE(check.broken) << check.broken->seq;
    }
}

// The record's hash as the chain makes it: its kind, each field and the previous hash, each
// as a 4-byte big-endian length and its UTF-8 bytes, NULL as FFFFFFFF.
QString forgedHash(const QVariantList& fields, const QString& previous) {
    QCryptographicHash sha(QCryptographicHash::Sha256);
    const auto add = [&](const QVariant& value) {
        if (value.isNull()) {
            sha.addData(QByteArrayView("\xff\xff\xff\xff", 4));
            return;
        }
        const QByteArray bytes = value.toString().toUtf8();
        const auto n = static_cast<quint32>(bytes.size());
        const char length[4] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
        sha.addData(QByteArrayView(length, 4));
        sha.addData(bytes);
    };
    add(fields.value(3));
    for (const QVariant& field : fields) add(field);
    add(previous);
    return QString::fromLatin1(sha.result().toHex());
}

// Whoever rewrites a closure's total and its hash too (the chain holds no secret) leaves a
// chain that holds: the closure's figures, recomputed from its period's records, tell it.
TEST(ChainClosures, AClosureRewrittenWithItsHashIsToldByItsRecords) {
    for (const Backend backend : {Backend::SQLite, Backend::PostgreSQL}) {
        SCOPED_TRACE(static_cast<int>(backend));
        TempFolder folder;
        const std::string where = testing::newJournal(backend, folder.path());
        std::string error;
        {
            auto journal = testing::openJournal(where);
            const auto id = journal->begin(aTopup("desk-1", 0, 10), error);
            ASSERT_TRUE(id && journal->complete(*id, {"ok", true, false, 10, {}}, error)) << error;
            Closure closure;
            std::optional<int> nothing;
            ASSERT_TRUE(journal->close("desk-1", "anne", closure, nothing, error)) << error;
        }
        {
            QSqlDatabase db = testing::rawConnection(where, "forge");
            QSqlQuery q(db);
            ASSERT_TRUE(
                q.exec("SELECT id, station, seq, kind, at, offset_minutes, write_id, cause, "
                       "confirmed, unchanged, credit_after, serial_after, program, detail, "
                       "prev_hash FROM journal_records WHERE kind = 'closure'") &&
                q.next());
            QVariantList fields;
            for (int i = 0; i < 14; ++i) fields << q.value(i);
            const QString previous = q.value(14).toString();
            q.finish();
            const QString detail = fields[13].toString().replace(
                QStringLiteral("\"grandTotal\":10"), QStringLiteral("\"grandTotal\":9999"));
            ASSERT_NE(detail, fields[13].toString());
            fields[13] = detail;
            ASSERT_TRUE(
                q.prepare("UPDATE journal_records SET detail = ?, hash = ? WHERE kind = "
                          "'closure'"));
            q.addBindValue(detail);
            q.addBindValue(forgedHash(fields, previous));
            ASSERT_TRUE(q.exec());
            db.close();
        }
        QSqlDatabase::removeDatabase("forge");
        ChainCheck check;
        ASSERT_TRUE(testing::openJournal(where, Access::Read)->verify(check, error)) << error;
        ASSERT_TRUE(check.broken);
        EXPECT_EQ(check.broken->station, "desk-1");
        EXPECT_EQ(check.broken->seq, 4);
        EXPECT_EQ(check.broken->kind, ChainBreak::Kind::ClosureFigures);
    }
}

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
        EXPECT_FALSE(check.broken) << check.broken->seq;
        EXPECT_EQ(check.sealed, 1);
        ASSERT_TRUE(
            testing::execRaw(where, "UPDATE credit_writes SET amount = 1 WHERE id = 'old'"));
        ASSERT_TRUE(testing::openJournal(where, Access::Read)->verify(check, error)) << error;
        ASSERT_TRUE(check.broken);
        EXPECT_EQ(check.broken->seq, 1);
        EXPECT_EQ(check.broken->kind, ChainBreak::Kind::SealBroken);
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
            "INSERT INTO journal_records SELECT 'ahead', station, 3, 'note', "
            "'2999-01-01T00:00:00.000Z', 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
            "NULL, hash, 'x' FROM credit_writes"));
        ASSERT_TRUE(journal->begin(aTopup("desk-1", 5, 5), error)) << error;
        const auto events = testing::rawRows(
            where, "SELECT seq, detail FROM journal_records WHERE kind = 'clock-backwards'");
        ASSERT_FALSE(events.empty()) << static_cast<int>(backend);
        EXPECT_EQ(events[0][0].toInt(), 4);
        EXPECT_TRUE(events[0][1].endsWith("before the last record's 2999-01-01T00:00:00.000Z"));
    }
}

// The journal's other sensitive events are records of the chain too, each naming the program:
// a program's first record on a chain says it opened the journal and as whom, an outcome
// that could not be recorded is said once the journal takes records again, and a verify
// that found a break says so at the end of the broken chain.
TEST(ChainEvents, OpeningsLostOutcomesAndFailedVerifiesAreRecordsOfTheChain) {
    for (const Backend backend : {Backend::SQLite, Backend::PostgreSQL}) {
        TempFolder folder;
        const std::string where = testing::newJournal(backend, folder.path());
        std::string error;
        {
            auto journal = testing::openJournal(where);
            const auto id = journal->begin(aTopup("desk-1", 0, 5), error);
            ASSERT_TRUE(id) << error;
            // An outcome for no row fails, as one the journal cannot take does.
            EXPECT_FALSE(journal->complete("no-such-write", {"ok", true, false, 5, {}}, error));
            ASSERT_TRUE(journal->complete(*id, {"ok", true, false, 5, {}}, error)) << error;
        }
        ASSERT_TRUE(testing::execRaw(where, "UPDATE credit_writes SET amount = 7"));
        ChainCheck check;
        ASSERT_TRUE(testing::openJournal(where, Access::Read)->verify(check, error)) << error;
        ASSERT_TRUE(check.broken);
        std::vector<std::string> events;
        for (const QStringList& e :
             testing::rawRows(where,
                              "SELECT seq, kind, program, detail FROM journal_records "
                              "WHERE kind <> 'outcome' ORDER BY seq")) {
            EXPECT_TRUE(e[2].startsWith("journal_tests ")) << e[2].toStdString();
            events.push_back((e[0] + " " + e[1] + " " + e[3]).toStdString());
        }
        ASSERT_EQ(events.size(), 4u) << static_cast<int>(backend);
        EXPECT_EQ(events[0].rfind("1 opened by ", 0), 0u) << events[0];
        EXPECT_EQ(events[1].rfind("3 outcome-not-recorded write no-such-write: ok at ", 0), 0u)
            << events[1];
        // The verify's own program opened the journal anew before saying what it found.
        EXPECT_EQ(events[2].rfind("5 opened by ", 0), 0u) << events[2];
        EXPECT_EQ(events[3].rfind("6 verify-failed record 2 (", 0), 0u) << events[3];
        EXPECT_NE(events[3].find("), altered"), std::string::npos) << events[3];
        // The chain still holds past its first break: a second verify names the same one.
        ASSERT_TRUE(testing::openJournal(where, Access::Read)->verify(check, error)) << error;
        ASSERT_TRUE(check.broken);
        EXPECT_EQ(check.broken->seq, 2);
    }
}

}  // namespace
}  // namespace palmota::journal

// journal resolve's rule, on a journal's rows: which writes in doubt of the badge read a
// reading settles, by which credit, and which it cannot, appended and never written over.
#include <gtest/gtest.h>

#include "tests/journal/journal_places.h"
#include "tests/support/row_name.h"
#include "till/ledger.h"

namespace palmota::journal {
namespace {

using Standing = till::Ledger::Settling::Standing;
using testing::Backend;
using testing::TempFolder;

constexpr std::int32_t kBadge = 123456;

// A write made for the badge: the credit read before it and the credit it writes; `end`
// none for a program that never recorded its outcome.
struct Made {
    int before;
    int amount;
    std::optional<WriteEnd> end;
    std::string serial = "123456";
    SerialSource source = SerialSource::ReadNow;
};

WriteEnd confirmedEnd(int amount) {
    return {"ok", true, false, amount, {}};
}

// What one write in doubt comes to: its place among the rows, and the credit it is settled
// by (none when it is not), read before the write at place `readBefore` (-1: read now).
struct Expected {
    std::size_t row;
    Standing standing;
    std::optional<int> credit;
    int readBefore = -1;
};

struct SettleCase {
    const char* name;
    std::vector<Made> rows;
    int creditNow;
    int only = -1;  // the one write asked for, by place; -1 for all
    std::vector<Expected> expected;
};

void PrintTo(const SettleCase& c, std::ostream* os) {
    *os << c.name;
}

const WriteEnd kNotConfirmed{"not-confirmed", false, false, {}, {}};
const WriteEnd kBadgeChanged{"badge-changed", false, false, {}, {}};

const SettleCase kCases[] = {
    {"TheBadgeHoldsTheAmount", {{1500, 1700, {}}}, 1700, -1, {{0, Standing::Settled, 1700}}},
    {"TheBadgeHoldsTheCreditBefore",
     {{1500, 1700, kNotConfirmed}},
     1500,
     -1,
     {{0, Standing::Settled, 1500}}},
    {"SpentSinceTellsNothing", {{1500, 1700, {}}}, 1600, -1, {{0, Standing::CreditNeither, 1600}}},
    {"MayHaveGoneToAnotherBadge",
     {{1500, 1700, kBadgeChanged}},
     1700,
     -1,
     {{0, Standing::AnotherBadge, {}}}},
    {"MadeForAnotherBadgeReadBackOnThisOne",
     {{1500, 1700, WriteEnd{"not-confirmed", false, false, {}, "123456"}, "999"}},
     1700,
     -1,
     {{0, Standing::AnotherBadge, {}}}},
    {"AnEarlierOneByTheCreditReadBeforeTheNext",
     {{1500, 1700, {}}, {1700, 1800, confirmedEnd(1800)}},
     1800,
     -1,
     {{0, Standing::Settled, 1700, 1}}},
    {"AnEarlierOneWhoseNextWriteReadNoCredit",
     {{1500, 1700, {}}, {0, 1800, confirmedEnd(1800), "123456", SerialSource::None}},
     1800,
     -1,
     {{0, Standing::LaterUnread, {}}}},
    // The second read the first's credit unchanged before it, and left the amount.
    {"TwoInARow",
     {{1500, 1700, {}}, {1500, 1900, kNotConfirmed}},
     1900,
     -1,
     {{0, Standing::Settled, 1500, 1}, {1, Standing::Settled, 1900}}},
    {"OnlyTheOneAsked",
     {{1500, 1700, {}}, {1700, 1900, {}}},
     1900,
     0,
     {{0, Standing::Settled, 1700, 1}}},
    {"OneAskedThatIsNotInDoubt",
     {{1500, 1700, confirmedEnd(1700)}},
     1700,
     0,
     {{0, Standing::NotInDoubt, {}}}},
    {"NothingInDoubt", {{1500, 1700, confirmedEnd(1700)}}, 1700, -1, {}},
};

class SettleTest : public ::testing::TestWithParam<SettleCase> {
  protected:
    TempFolder folder_;
    std::string where_ = testing::newJournal(Backend::SQLite, folder_.path());
};

TEST_P(SettleTest, OnlyACreditThatTellsTheWriteSettlesIt) {
    const SettleCase& c = GetParam();
    auto journal = testing::openJournal(where_);
    std::vector<std::string> ids;
    std::string error;
    for (const Made& m : c.rows) {
        WriteStart start;
        start.station = "desk-1";
        start.user = "anne";
        start.program = "palmota-cli";
        start.serial = m.serial;
        start.serialSource = m.source;
        if (m.source == SerialSource::ReadNow) start.before = m.before;
        start.amount = m.amount;
        const auto id = journal->begin(start, error);
        ASSERT_TRUE(id) << error;
        if (m.end) {
            ASSERT_TRUE(journal->complete(*id, *m.end, error)) << error;
        }
        ids.push_back(*id);
    }
    till::Ledger ledger(*journal, till::Station{"desk-2", "marc", "palmota-cli", {}});
    std::vector<till::Ledger::Settling> settled;
    const auto only = c.only < 0 ? std::nullopt : std::optional<std::string>(ids[c.only]);
    ASSERT_TRUE(ledger.settle(kBadge, c.creditNow, only, settled, error)) << error;
    ASSERT_EQ(settled.size(), c.expected.size());
    for (std::size_t i = 0; i < settled.size(); ++i) {
        const Expected& e = c.expected[i];
        EXPECT_EQ(settled[i].row.id, ids[e.row]) << i;
        EXPECT_EQ(settled[i].standing, e.standing) << i;
        EXPECT_EQ(settled[i].credit, e.credit) << i;
        EXPECT_EQ(settled[i].readBefore, e.readBefore < 0 ? "" : ids[e.readBefore]) << i;
    }
    // What was settled is in the journal, by whom and where it was read; nothing else is.
    const auto rows = journal->rows({}, error);
    ASSERT_TRUE(rows) << error;
    for (const WriteRow& row : *rows) {
        const auto s = std::find_if(settled.begin(), settled.end(),
                                    [&](const auto& x) { return x.row.id == row.id; });
        const bool appended = s != settled.end() && s->standing == Standing::Settled;
        ASSERT_EQ(row.resolution.has_value(), appended) << row.id;
        if (!appended) continue;
        EXPECT_EQ(row.resolution->settled.credit, *s->credit);
        EXPECT_EQ(row.resolution->settled.user, "marc");
        EXPECT_EQ(row.resolution->settled.station, "desk-2");
        EXPECT_EQ(row.resolution->settled.readBefore, s->readBefore);
        // The settlement is on the chain of the write's station, never written over it.
        EXPECT_EQ(row.start.station, "desk-1");
        // Settled once: the journal refuses a second settlement, even one raced past the
        // reading.
        std::string refusal;
        EXPECT_FALSE(journal->resolve(row.id, row.resolution->settled, refusal, error));
        EXPECT_NE(refusal.find("was settled already"), std::string::npos) << refusal;
    }
    ChainCheck check;
    ASSERT_TRUE(journal->verify(check, error)) << error;
    EXPECT_FALSE(check.broken);
}

INSTANTIATE_TEST_SUITE_P(Readings, SettleTest, ::testing::ValuesIn(kCases), testing::RowName{});

}  // namespace
}  // namespace palmota::journal

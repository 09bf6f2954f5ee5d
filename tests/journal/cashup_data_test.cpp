// How the cash-up reads each shape of row: its standing, the credit it left, its badge and
// the station's offset beside its time.
#include "journal/cashup_data.h"

#include <gtest/gtest.h>

namespace palmota::journal {
namespace {

struct ListedCase {
    const char* name;
    std::optional<WriteEnd> end;
    WriteStanding standing;
    std::optional<int> after;
    std::optional<std::string> serial;
};

void PrintTo(const ListedCase& c, std::ostream* os) {
    *os << c.name;
}

class ListedWriteTest : public ::testing::TestWithParam<ListedCase> {};

TEST_P(ListedWriteTest, StandsAsItsOutcomeSays) {
    const ListedCase& c = GetParam();
    WriteRow row;
    row.id = "w";
    row.start.station = "desk-1";
    row.start.user = "anne";
    row.start.serial = "111";
    row.start.before = 100;
    row.start.amount = 150;
    row.start.topup = 50;
    row.started = "2026-12-09T23:30:00.000Z";
    row.offsetMinutes = 60;
    if (c.end) row.ended = "2026-12-09T23:30:01.000Z";
    row.end = c.end;
    const std::vector<ListedWrite> listed = listedWrites({row});
    ASSERT_EQ(listed.size(), 1u);
    const ListedWrite& w = listed.front();
    EXPECT_EQ(w.standing, c.standing);
    EXPECT_EQ(w.after, c.after);
    EXPECT_EQ(w.serial, c.serial);
    EXPECT_EQ(w.started.utc, row.started);
    EXPECT_EQ(w.started.offsetMinutes, 60);
    EXPECT_EQ(w.user, "anne");
    EXPECT_EQ(w.topup, 50);
}

INSTANTIATE_TEST_SUITE_P(
    Standings, ListedWriteTest,
    ::testing::Values(ListedCase{"Confirmed", WriteEnd{"ok", true, false, 150, {}},
                                 WriteStanding::Confirmed, 150, "111"},
                      ListedCase{"ConfirmedOnAnotherBadge",
                                 WriteEnd{"badge-changed", true, false, 150, "222"},
                                 WriteStanding::Confirmed, 150, "222"},
                      ListedCase{"Refused", WriteEnd{"write-refused", false, true, 100, {}},
                                 WriteStanding::Refused, 100, "111"},
                      ListedCase{"NeitherIsDoubtful",
                                 WriteEnd{"not-confirmed", false, false, {}, {}},
                                 WriteStanding::Doubtful, std::nullopt, "111"},
                      ListedCase{"NoOutcomeIsDoubtful", std::nullopt, WriteStanding::Doubtful,
                                 std::nullopt, "111"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace palmota::journal

// The cash-up as a cashier reads it and as scripts read it, from fixed shapes.
#include "cli/cashup_text.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <sstream>

#include "tests/cli/cashup_shapes.h"

namespace palmota::cli {
namespace {

using journal::ListedWrite;
using journal::WriteStanding;
using testing::listedWrite;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::size_t columns(const std::string& line) {
    return static_cast<std::size_t>(QString::fromStdString(line).size());
}

struct ListCase {
    const char* name;
    ListedWrite write;
    std::vector<std::string> lines;  // what the write shows, after the headings
};

void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.name;
}

ListedWrite resolved() {
    ListedWrite w = listedWrite("r1", "2026-12-09T09:00:00.000Z", "alice", "4012551", 300, 500,
                                WriteStanding::Resolved, "not-confirmed");
    w.after = 800;
    w.resolvedAt = journal::StationTime{"2026-12-09T09:10:00.000Z", 60};
    w.resolvedBy = "bob";
    return w;
}

ListedWrite longNames() {
    ListedWrite w = listedWrite("l1", "2026-12-09T09:00:00.000Z", "a.very-long-operator-name",
                                "4012551", 0, 5, WriteStanding::Confirmed, "ok");
    w.serial = "12345678901234";
    return w;
}

ListedWrite withoutReads() {
    ListedWrite w = listedWrite("n1", "2026-12-08T23:30:21.000Z", "alice", "", 0, 0,
                                WriteStanding::Doubtful, "");
    w.serial.reset();
    w.before.reset();
    w.topup.reset();
    w.amount = 1500;
    return w;
}

class WriteListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(WriteListTest, ShowsEachWriteWithinEightyColumns) {
    const ListCase& c = GetParam();
    const auto lines = linesOf(writeListText({c.write}));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()), c.lines);
    for (const std::string& line : lines) EXPECT_LE(columns(line), 80u) << line;
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WriteListTest,
    ::testing::Values(
        ListCase{"ConfirmedTopup",
                 listedWrite("c1", "2026-12-09T08:15:00.000Z", "alice", "4012551", 100, 500,
                             WriteStanding::Confirmed, "ok"),
                 {"09:15:00 +01:00 alice      4012551    100 -> 600          500 confirmed"}},
        ListCase{"RefusedWithItsCause",
                 listedWrite("f1", "2026-12-09T08:15:00.000Z", "alice", "4012551", 100, 500,
                             WriteStanding::Refused, "write-refused"),
                 {"09:15:00 +01:00 alice      4012551    100 -> 100          500 refused",
                  "                (write-refused)"}},
        ListCase{"DoubtfulWithoutAnything",
                 withoutReads(),
                 {"00:30:21 +01:00 alice      -          - -> -                - doubtful",
                  "                (no outcome)"}},
        ListCase{"ResolvedWithWhoSettledIt",
                 resolved(),
                 {"10:00:00 +01:00 alice      4012551    300 -> 800          500 resolved",
                  "                (not-confirmed)",
                  "                settled 2026-12-09 10:10:00 +01:00 by bob"}},
        // Names too long for their cells are cut there and shown whole above. Why a write is
        // not confirmed goes under it when it does not fit beside it.
        ListCase{"LongNamesAboveTheirWrite",
                 longNames(),
                 {"  operator a.very-long-operator-name", "  badge 12345678901234",
                  "10:00:00 +01:00 a.very-lo\u2026 123456789\u2026 0 -> 5                5 "
                  "confirmed"}}),
    [](const auto& row) { return std::string(row.param.name); });

// A heading a station and day: the day is the station's own, not UTC's.
TEST(WriteList, HeadsEachStationAndLocalDay) {
    ListedWrite late = withoutReads();
    ListedWrite other = late;
    other.station = std::string(35, 'h');
    const auto lines =
        linesOf(writeListText({listedWrite("a", "2026-12-08T12:00:00.000Z", "al", "1", 0, 1,
                                           WriteStanding::Confirmed, "ok"),
                               late, other}));
    EXPECT_EQ(lines[0], "Station caisse-1, 2026-12-08");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "Station caisse-1, 2026-12-09");
    EXPECT_EQ(lines[9], "Station " + std::string(35, 'h') + ", 2026-12-09");
}

// Every figure of the closure on its line, the chain head's first characters, and no line
// past 80 columns even for a 35-character station.
TEST(ClosureText, CarriesEveryFigureWithinEightyColumns) {
    journal::Closure closure = testing::sampleClosure();
    closure.station = std::string(35, 's');
    const std::string text = closureText(closure);
    for (const std::string& line : linesOf(text)) EXPECT_LE(columns(line), 80u) << line;
    for (const std::string& line : std::vector<std::string>{
             "Closure 12", "Station " + std::string(35, 's'),
             "Made 2026-12-09 19:05:12 +01:00 by mlefevre (palmota-cli 1.5.0)",
             "Period from 2026-12-09 08:58:03 +01:00 to 2026-12-09 18:49:40 +01:00",
             std::string("  writes                          42"),
             std::string("  doubtful, still open             1"),
             std::string("  credit loaded                20750"),
             std::string("  topped up                    20500"),
             std::string("  grand total                1284300"),
             std::string(
                 "  mlefevre        22        20       0        1        1   11250   11000"),
             std::string("Doubtful writes still open: 1"),
             std::string("  2026-12-09 17:21:07 +01:00  badge 4012551  credit 300 -> 800"),
             std::string("    mlefevre  not-confirmed  row 7d0c5a1e-2f43-4b8e-9a61-3c9b0f12e8aa"),
             std::string("Chain head 9f2c4e61b07a3d58")})
        EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(text.find(closure.chainHead), std::string::npos);
}

TEST(ClosureText, SaysAnEmptyPeriod) {
    journal::Closure closure;
    closure.number = 1;
    EXPECT_NE(closureText(closure).find("Period without records\n"), std::string::npos);
}

// Scripts get every field, the whole chain head, and times in UTC beside the local ones.
TEST(ClosureJson, HoldsEveryFieldForScripts) {
    const QJsonObject o = closureJson(testing::sampleClosure());
    EXPECT_EQ(o["number"].toInt(), 12);
    EXPECT_EQ(o["grandTotal"].toInteger(), 1284300);
    EXPECT_EQ(o["chainHead"].toString().size(), 64);
    EXPECT_EQ(o["first"].toObject()["utc"].toString(), "2026-12-09T07:58:03.120Z");
    EXPECT_EQ(o["first"].toObject()["local"].toString(), "2026-12-09T08:58:03.120+01:00");
    EXPECT_EQ(o["operators"].toArray()[1].toObject()["toppedUp"].toInteger(), 11000);
    const QJsonObject open = o["open"].toArray()[0].toObject();
    EXPECT_EQ(open["standing"].toString(), "doubtful");
    EXPECT_EQ(open["cause"].toString(), "not-confirmed");
    EXPECT_TRUE(open["after"].isNull());
    const QJsonObject settled = listedWriteJson(resolved());
    EXPECT_EQ(settled["resolvedBy"].toString(), "bob");
    EXPECT_EQ(settled["resolvedAt"].toObject()["offsetMinutes"].toInt(), 60);
}

}  // namespace
}  // namespace palmota::cli

// The report's days are each station's own local days, its writes counted per operator, and
// its text fits 80 columns whatever the names.
#include "journal/daily_report.h"

#include <gtest/gtest.h>

#include <QString>
#include <cstdlib>
#include <ctime>
#include <sstream>

namespace palmota::journal {
namespace {

const QTimeZone kParis("Europe/Paris");

QDateTime utc(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODateWithMs);
}

struct DayRangeCase {
    const char* name;
    const char* day;
    const char* start;  // UTC
    const char* end;
    int hours;
};

void PrintTo(const DayRangeCase& c, std::ostream* os) {
    *os << c.name;
}

class LocalDayRangeTest : public ::testing::TestWithParam<DayRangeCase> {};

TEST_P(LocalDayRangeTest, RunsFromMidnightToMidnightInUtc) {
    const DayRangeCase& c = GetParam();
    const UtcRange range =
        localDayRange(QDate::fromString(QString::fromLatin1(c.day), Qt::ISODate), kParis);
    EXPECT_EQ(range.start, utc(c.start)) << range.start.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(range.end, utc(c.end)) << range.end.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(range.start.secsTo(range.end), c.hours * 3600);
}

INSTANTIATE_TEST_SUITE_P(
    Paris, LocalDayRangeTest,
    ::testing::Values(
        DayRangeCase{"Winter", "2026-12-09", "2026-12-08T23:00:00Z", "2026-12-09T23:00:00Z", 24},
        DayRangeCase{"Summer", "2026-07-14", "2026-07-13T22:00:00Z", "2026-07-14T22:00:00Z", 24},
        // 02:00 becomes 03:00 on the last Sunday of March, 03:00 becomes 02:00 in October.
        DayRangeCase{"ClocksForward", "2026-03-29", "2026-03-28T23:00:00Z", "2026-03-29T22:00:00Z",
                     23},
        DayRangeCase{"ClocksBack", "2026-10-25", "2026-10-24T22:00:00Z", "2026-10-25T23:00:00Z",
                     25}),
    [](const auto& row) { return std::string(row.param.name); });

struct ReportDayCase {
    const char* name;
    const char* text;
    const char* now;  // UTC
    const char* day;  // empty: refused
};

void PrintTo(const ReportDayCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportDayTest : public ::testing::TestWithParam<ReportDayCase> {};

TEST_P(ReportDayTest, IsTheStationsCalendarDay) {
    const ReportDayCase& c = GetParam();
    const auto day = reportDay(c.text, utc(c.now), kParis);
    EXPECT_EQ(day ? day->toString(Qt::ISODate).toStdString() : std::string(), c.day);
}

INSTANTIATE_TEST_SUITE_P(
    Paris, ReportDayTest,
    ::testing::Values(
        // 00:30 in Paris is still the day before in UTC.
        ReportDayCase{"TodayAfterLocalMidnight", "today", "2026-12-09T23:30:00Z", "2026-12-10"},
        ReportDayCase{"TodayBeforeLocalMidnight", "today", "2026-12-09T22:59:59Z", "2026-12-09"},
        // The day before on the calendar: 24 hours back from 00:30 after a 23-hour day, or
        // from 23:30 on a 25-hour day, lands two days back or on the same day.
        ReportDayCase{"YesterdayAfterA23HourDay", "yesterday", "2026-03-29T22:30:00Z",
                      "2026-03-29"},
        ReportDayCase{"YesterdayOnA25HourDay", "yesterday", "2026-10-25T22:30:00Z", "2026-10-24"},
        ReportDayCase{"ADate", "2026-02-28", "2026-12-09T12:00:00Z", "2026-02-28"},
        ReportDayCase{"NoSuchDate", "2026-02-30", "2026-12-09T12:00:00Z", ""},
        ReportDayCase{"Tomorrow", "tomorrow", "2026-12-09T12:00:00Z", ""},
        ReportDayCase{"ADateWithATime", "2026-02-28T10:00", "2026-12-09T12:00:00Z", ""}),
    [](const auto& row) { return std::string(row.param.name); });

WriteRow written(const char* started, std::optional<int> offset, const char* station = "desk-1",
                 const char* user = "alice", int topup = 100) {
    WriteRow row;
    row.started = started;
    row.offsetMinutes = offset;
    row.start.station = station;
    row.start.user = user;
    row.start.before = 0;
    row.start.amount = topup;
    row.start.topup = topup;
    row.end = WriteEnd{"ok", true, false, topup, {}};
    return row;
}

struct LocalDayCase {
    const char* name;
    WriteRow row;
    const char* day;
    const char* shown;  // its time as the report shows it
};

void PrintTo(const LocalDayCase& c, std::ostream* os) {
    *os << c.name;
}

class LocalDayOfTest : public ::testing::TestWithParam<LocalDayCase> {
  protected:
    // The rows that recorded no offset take this machine's: Paris here.
    void SetUp() override {
        saved_ = qgetenv("TZ");
        had_ = qEnvironmentVariableIsSet("TZ");
        qputenv("TZ", "Europe/Paris");
        resetZone();
    }
    void TearDown() override {
        if (had_)
            qputenv("TZ", saved_);
        else
            qunsetenv("TZ");
        resetZone();
    }
    static void resetZone() {
#ifndef _WIN32
        tzset();
#endif
    }
    QByteArray saved_;
    bool had_ = false;
};

TEST_P(LocalDayOfTest, IsTheDayOfItsRecordedOffset) {
    const LocalDayCase& c = GetParam();
    EXPECT_EQ(localDayOf(c.row), c.day);
    EXPECT_EQ(localTimeText(c.row.started, offsetOf(c.row)), c.shown);
}

std::vector<LocalDayCase> localDayCases() {
    std::vector<LocalDayCase> cases = {
        LocalDayCase{"HalfPastMidnightInParis", written("2026-12-08T23:30:21.000Z", 60),
                     "2026-12-09", "2026-12-09 00:30:21 +01:00"},
        LocalDayCase{"SummerOffset", written("2026-07-13T22:15:00.000Z", 120), "2026-07-14",
                     "2026-07-14 00:15:00 +02:00"},
        LocalDayCase{"WestOfUtc", written("2026-12-09T02:00:00.000Z", -300), "2026-12-08",
                     "2026-12-08 21:00:00 -05:00"},
        LocalDayCase{"HalfHourOffset", written("2026-12-09T19:00:00.000Z", 330), "2026-12-10",
                     "2026-12-10 00:30:00 +05:30"},
        // The last hour of a 25-hour day, after the clocks went back.
        LocalDayCase{"LastHourOfA25HourDay", written("2026-10-25T22:59:00.000Z", 60), "2026-10-25",
                     "2026-10-25 23:59:00 +01:00"},
    };
    // A row of an earlier journal recorded no offset: the machine's zone at that instant
    // stands in, set here through TZ, which only the POSIX C library reads by zone name.
#ifndef _WIN32
    cases.push_back({"NoOffsetRecordedInWinter", written("2026-12-08T23:30:00.000Z", {}),
                     "2026-12-09", "2026-12-09 00:30:00 +01:00"});
    cases.push_back({"NoOffsetRecordedInSummer", written("2026-07-13T22:30:00.000Z", {}),
                     "2026-07-14", "2026-07-14 00:30:00 +02:00"});
#endif
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Rows, LocalDayOfTest, ::testing::ValuesIn(localDayCases()),
                         [](const auto& row) { return std::string(row.param.name); });

// A 25-hour day is one line of the report, and the writes of the hours around it belong to
// the days before and after, whatever the UTC day.
TEST(DailyTotals, AreCountedPerLocalDay) {
    const std::vector<WriteRow> rows = {
        written("2026-10-24T21:59:59.999Z", 120), written("2026-10-24T22:00:00.000Z", 120),
        written("2026-10-25T00:30:00.000Z", 120), written("2026-10-25T01:30:00.000Z", 60),
        written("2026-10-25T22:59:59.999Z", 60),  written("2026-10-25T23:00:00.000Z", 60)};
    std::vector<std::pair<std::string, int>> days;
    for (const DayTotals& t : dailyTotals(rows)) days.emplace_back(t.day, t.writes);
    EXPECT_EQ(days, (std::vector<std::pair<std::string, int>>{
                        {"2026-10-24", 1}, {"2026-10-25", 4}, {"2026-10-26", 1}}));
}

// Every write of the local days asked for, from stations 14 hours east to 12 hours west of
// UTC, is in the rows asked of the journal, and only those days are kept.
TEST(LocalDays, AreCoveredByTheRowsAskedAndKeptAlone) {
    const RowFilter filter = coveringFilter("2026-12-09", "2026-12-09", "desk-1");
    EXPECT_EQ(filter.from, "2026-12-08");
    EXPECT_EQ(filter.to, "2026-12-10");
    EXPECT_EQ(filter.station, "desk-1");
    EXPECT_EQ(coveringFilter("0001-01-01", "9999-12-31", "").from, "");
    EXPECT_EQ(coveringFilter("0001-01-01", "9999-12-31", "").to, "");
    const std::vector<WriteRow> rows = {
        written("2026-12-08T10:00:00.000Z", 14 * 60),   // 00:00 on the 9th, Kiribati
        written("2026-12-08T09:59:59.999Z", 14 * 60),   // the 8th
        written("2026-12-10T11:59:59.999Z", -12 * 60),  // 23:59 on the 9th, Baker Island
        written("2026-12-10T12:00:00.000Z", -12 * 60),  // the 10th
    };
    const auto kept = localDaysOnly(rows, "2026-12-09", "2026-12-09");
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].started, rows[0].started);
    EXPECT_EQ(kept[1].started, rows[2].started);
    EXPECT_EQ(localDaysOnly(rows, "", "").size(), rows.size());
}

// Each operator's writes and credit, as a cashier reconciles them with the drawer.
TEST(OperatorLines, CountEachOperatorsWrites) {
    std::vector<WriteRow> rows = {written("2026-12-09T08:00:00.000Z", 60, "d", "bob", 500),
                                  written("2026-12-09T09:00:00.000Z", 60, "d", "alice", 200),
                                  written("2026-12-09T10:00:00.000Z", 60, "d", "bob", 300)};
    WriteRow refused = written("2026-12-09T11:00:00.000Z", 60, "d", "alice", 50);
    refused.end = WriteEnd{"write-refused", false, true, std::nullopt, {}};
    WriteRow lost = written("2026-12-09T12:00:00.000Z", 60, "d", "alice", 70);
    lost.end.reset();
    rows.push_back(refused);
    rows.push_back(lost);
    const auto lines = operatorLines(rows);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].user, "alice");
    EXPECT_EQ(lines[0].writes, 3);
    EXPECT_EQ(lines[0].confirmed, 1);
    EXPECT_EQ(lines[0].refused, 1);
    EXPECT_EQ(lines[0].doubtful, 1);
    EXPECT_EQ(lines[0].loaded, 200);
    EXPECT_EQ(lines[0].toppedUp, 200);
    EXPECT_EQ(lines[1].user, "bob");
    EXPECT_EQ(lines[1].writes, 2);
    EXPECT_EQ(lines[1].loaded, 800);
    EXPECT_EQ(lines[1].toppedUp, 800);
    const QJsonObject day = reportJson(dailyTotals(rows), rows).front();
    EXPECT_EQ(day["operators"].toArray().size(), 2);
    EXPECT_EQ(day["operators"].toArray()[1].toObject()["toppedUp"].toInt(), 800);
    EXPECT_EQ(day["needsRead"].toArray()[0].toObject()["startedLocal"].toString(),
              "2026-12-09T13:00:00.000+01:00");
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The columns where the figures of the line starting with `start` end.
std::vector<std::size_t> figureEnds(const std::string& text, const std::string& start) {
    std::vector<std::size_t> ends;
    for (const std::string& line : linesOf(text)) {
        if (line.rfind(start, 0) != 0) continue;
        for (std::size_t i = 1; i <= line.size(); ++i)
            if (i == line.size() || (line[i] == ' ' && line[i - 1] != ' ')) ends.push_back(i);
    }
    return ends;
}

// A 35-character host name or a long operator's name moves no column, and no line passes 80
// columns.
TEST(ReportText, FitsEightyColumnsWhateverTheNames) {
    const std::string host(35, 'h');
    const std::string user = "a.very-long-operator-name";
    const std::vector<WriteRow> shortNames = {written("2026-12-09T08:00:00.000Z", 60, "d", "al")};
    WriteRow longRow = written("2026-12-09T08:00:00.000Z", 60, host.c_str(), user.c_str());
    longRow.end.reset();
    const std::vector<WriteRow> longNames = {longRow};
    const std::string brief = reportText(dailyTotals(shortNames), shortNames);
    const std::string wide = reportText(dailyTotals(longNames), longNames);
    for (const std::string& line : linesOf(wide))
        EXPECT_LE(QString::fromStdString(line).size(), 80) << line;
    EXPECT_NE(wide.find(host), std::string::npos) << wide;
    EXPECT_NE(wide.find("  " + user + "\n"), std::string::npos) << wide;
    EXPECT_EQ(figureEnds(wide, "2026-12-09"), figureEnds(brief, "2026-12-09")) << wide << brief;
}

}  // namespace
}  // namespace palmota::journal

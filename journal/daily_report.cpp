#include "journal/daily_report.h"

#include <QJsonArray>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "reader/byte_text.h"

namespace palmota::journal {

namespace {

constexpr std::size_t kDayLength = 10;  // YYYY-MM-DD

std::string dayOf(const WriteRow& row) {
    return row.started.substr(0, kDayLength);
}

bool sameDay(const DayTotals& totals, const WriteRow& row) {
    return totals.day == dayOf(row) && totals.station == row.start.station;
}

// Names come from the stations and the badges: a line end or an escape sequence in one
// must not forge a line of the report, nor reach the terminal.
std::string orDash(const std::optional<std::string>& text) {
    return text && !text->empty() ? printable(*text) : "-";
}

// The badge a write was made for, and the one it went to when another was read back.
std::string badgeText(const WriteRow& row) {
    std::string text = orDash(row.start.serial);
    const auto went = row.badge();
    if (went && went != row.start.serial) text += " -> " + orDash(went);
    return text;
}

std::string orDash(const std::optional<int>& value) {
    return value ? std::to_string(*value) : "-";
}

std::string whyRead(const WriteRow& row) {
    return row.end ? printable(row.end->cause) : "no outcome";
}

// A CSV field of text. A spreadsheet takes a cell that begins with = + - or @ for a formula
// and runs it (a tab or a carriage return before one is skipped): such a name is made text
// by a ' before it. No control byte reaches the file: each is written \xNN, as in the text
// report (and a backslash \\). The field is quoted when it holds a separator or a quote.
std::string csvField(const std::string& raw) {
    constexpr std::string_view kFormulaStarts = "=+-@\t\r";
    std::string text = printable(raw);
    if (!raw.empty() && kFormulaStarts.find(raw.front()) != std::string_view::npos)
        text.insert(0, 1, '\'');
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + '"';
}

QJsonObject rowJson(const WriteRow& row) {
    QJsonObject object;
    object["id"] = QString::fromStdString(row.id);
    object["started"] = QString::fromStdString(row.started);
    object["serial"] =
        row.start.serial ? QJsonValue(QString::fromStdString(*row.start.serial)) : QJsonValue();
    object["serialAfter"] = row.end && row.end->serialAfter
                                ? QJsonValue(QString::fromStdString(*row.end->serialAfter))
                                : QJsonValue();
    object["amount"] = row.start.amount;
    object["cause"] = row.end ? QJsonValue(QString::fromStdString(row.end->cause)) : QJsonValue();
    object["port"] = QString::fromStdString(row.start.port);
    return object;
}

}  // namespace

bool needsRead(const WriteRow& row) {
    return !row.end || (!row.end->confirmed && !row.end->unchanged);
}

std::vector<DayTotals> dailyTotals(const std::vector<WriteRow>& rows) {
    std::map<std::pair<std::string, std::string>, DayTotals> byDay;
    for (const WriteRow& row : rows) {
        DayTotals& totals = byDay[{dayOf(row), row.start.station}];
        totals.day = dayOf(row);
        totals.station = row.start.station;
        ++totals.writes;
        if (!row.end)
            ++totals.noOutcome;
        else if (row.end->confirmed)
            ++totals.confirmed;
        else if (row.end->unchanged)
            ++totals.refused;
        else
            ++totals.uncertain;
        const auto after = creditAfter(row);
        // After minus before, for one badge: a write that went to another badge loaded
        // nothing that can be told.
        if (row.start.before && after && row.badge() == row.start.serial)
            totals.loaded += *after - *row.start.before;
        if (row.start.topup && row.end && row.end->confirmed) totals.topups += *row.start.topup;
    }
    std::vector<DayTotals> ordered;
    for (auto& [key, totals] : byDay) ordered.push_back(totals);
    return ordered;
}

std::string reportText(const std::vector<DayTotals>& totals, const std::vector<WriteRow>& rows) {
    std::string text =
        "day         station               writes  confirmed  refused  uncertain  no-outcome"
        "     loaded     top-ups\n";
    for (const DayTotals& t : totals) {
        const std::string day = printable(t.day);
        const std::string station = printable(t.station);
        std::vector<char> line(day.size() + station.size() + 160);
        std::snprintf(line.data(), line.size(),
                      "%-10s  %-20s  %6d  %9d  %7d  %9d  %10d  %9lld  %10lld\n", day.c_str(),
                      station.c_str(), t.writes, t.confirmed, t.refused, t.uncertain, t.noOutcome,
                      t.loaded, t.topups);
        text += line.data();
    }
    bool first = true;
    for (const WriteRow& row : rows) {
        if (!needsRead(row)) continue;
        if (first)
            text += "\nNeed a read of the badge (the credit written may or may not be on it):\n";
        first = false;
        text += "  " + printable(row.started) + "  " + printable(row.start.station) + "  " +
                printable(row.start.port) + "  badge " + badgeText(row) + "  credit " +
                orDash(row.start.before) + " -> " + std::to_string(row.start.amount) + "  " +
                whyRead(row) + "  (row " + row.id + ")\n";
    }
    return text;
}

std::string reportCsv(const std::vector<DayTotals>& totals) {
    std::string text = "day,station,writes,confirmed,refused,uncertain,no_outcome,loaded,topups\n";
    for (const DayTotals& t : totals) {
        text += csvField(t.day) + ',' + csvField(t.station) + ',' + std::to_string(t.writes) + ',' +
                std::to_string(t.confirmed) + ',' + std::to_string(t.refused) + ',' +
                std::to_string(t.uncertain) + ',' + std::to_string(t.noOutcome) + ',' +
                std::to_string(t.loaded) + ',' + std::to_string(t.topups) + '\n';
    }
    return text;
}

std::vector<QJsonObject> reportJson(const std::vector<DayTotals>& totals,
                                    const std::vector<WriteRow>& rows) {
    std::vector<QJsonObject> objects;
    for (const DayTotals& t : totals) {
        QJsonObject object;
        object["day"] = QString::fromStdString(t.day);
        object["station"] = QString::fromStdString(t.station);
        object["writes"] = t.writes;
        object["confirmed"] = t.confirmed;
        object["refused"] = t.refused;
        object["uncertain"] = t.uncertain;
        object["noOutcome"] = t.noOutcome;
        object["loaded"] = static_cast<qint64>(t.loaded);
        object["topups"] = static_cast<qint64>(t.topups);
        QJsonArray pending;
        for (const WriteRow& row : rows)
            if (sameDay(t, row) && needsRead(row)) pending.append(rowJson(row));
        object["needsRead"] = pending;
        objects.push_back(object);
    }
    return objects;
}

}  // namespace palmota::journal

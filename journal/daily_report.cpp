#include "journal/daily_report.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <map>
#include <utility>
#include <vector>

#include "reader/byte_text.h"

namespace palmota::journal {

namespace {

constexpr int kSecondsPerMinute = 60;
constexpr int kMinutesPerHour = 60;
// Offsets from UTC run from -12:00 (Baker Island) to +14:00 (Line Islands): a local day lies
// within the UTC day before it and the one after it.
constexpr int kWidestOffsetDays = 1;
// The first cell of a table: a day (10 characters) or, indented, an operator's name.
constexpr int kFirstCell = 12;
constexpr int kIndent = 2;
// A count or a sum is never narrower than this: credits loaded in a day reach millions.
constexpr int kNumberCell = 7;

QDateTime utcTime(const std::string& utc) {
    QDateTime time = QDateTime::fromString(QString::fromStdString(utc), Qt::ISODateWithMs);
    if (time.isValid()) time = time.toUTC();
    return time;
}

QDateTime stationTime(const std::string& utc, int offsetMinutes) {
    const QDateTime time = utcTime(utc);
    return time.isValid() ? time.toOffsetFromUtc(offsetMinutes * kSecondsPerMinute) : time;
}

QString offsetText(int offsetMinutes) {
    const int minutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    return QStringLiteral("%1%2:%3")
        .arg(QChar(offsetMinutes < 0 ? u'-' : u'+'))
        .arg(minutes / kMinutesPerHour, 2, 10, QChar(u'0'))
        .arg(minutes % kMinutesPerHour, 2, 10, QChar(u'0'));
}

bool sameDay(const DayTotals& totals, const WriteRow& row) {
    return totals.day == localDayOf(row) && totals.station == row.start.station;
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
    return row.end ? printable(row.end->cause)
                   : QCoreApplication::translate("DailyReport", "no outcome").toStdString();
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
    object["startedLocal"] = QString::fromStdString(localTimeIso(row.started, offsetOf(row)));
    object["offsetMinutes"] = offsetOf(row);
    object["user"] = QString::fromStdString(row.start.user);
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

// A row of a table: its first cell left-aligned, its figures right-aligned under their
// headers. Widths count characters, not bytes: "é" takes one column, as on the terminal.
QString tableLine(const QString& first, int firstWidth, const QStringList& headers,
                  const std::vector<long long>& figures) {
    QString line = first.leftJustified(firstWidth);
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const auto width =
            std::max<qsizetype>(headers[static_cast<qsizetype>(i)].size(), kNumberCell);
        line += u' ' + QString::number(figures[i]).rightJustified(width);
    }
    return line.trimmed().isEmpty() ? QString() : line;
}

QString headerLine(const QString& first, int firstWidth, const QStringList& headers) {
    QString line = first.leftJustified(firstWidth);
    for (const QString& header : headers)
        line += u' ' + header.rightJustified(std::max<qsizetype>(header.size(), kNumberCell));
    return line;
}

// A name in a first cell of `width` columns, or on a line of its own above its figures when
// it does not fit: a long name never shifts the columns.
QString namedLine(const QString& indent, const std::string& name, int width,
                  const QStringList& headers, const std::vector<long long>& figures) {
    const QString shown = QString::fromStdString(printable(name.empty() ? "-" : name));
    const int room = width - static_cast<int>(indent.size()) - 1;
    if (shown.size() <= room) return tableLine(indent + shown, width, headers, figures) + u'\n';
    return indent + shown + u'\n' + tableLine(QString(), width, headers, figures) + u'\n';
}

QStringList dayHeaders() {
    return {QCoreApplication::translate("DailyReport", "writes"),
            QCoreApplication::translate("DailyReport", "confirmed"),
            QCoreApplication::translate("DailyReport", "refused"),
            QCoreApplication::translate("DailyReport", "uncertain"),
            QCoreApplication::translate("DailyReport", "no-outcome"),
            QCoreApplication::translate("DailyReport", "loaded"),
            QCoreApplication::translate("DailyReport", "top-ups")};
}

QStringList operatorHeaders() {
    return {QCoreApplication::translate("DailyReport", "writes"),
            QCoreApplication::translate("DailyReport", "confirmed"),
            QCoreApplication::translate("DailyReport", "refused"),
            QCoreApplication::translate("DailyReport", "doubtful"),
            QCoreApplication::translate("DailyReport", "resolved"),
            QCoreApplication::translate("DailyReport", "loaded"),
            QCoreApplication::translate("DailyReport", "top-ups")};
}

std::vector<long long> operatorFigures(const OperatorLine& line) {
    return {line.writes,   line.confirmed, line.refused, line.doubtful,
            line.resolved, line.loaded,    line.toppedUp};
}

std::string csvCounts(const std::vector<long long>& figures) {
    std::string text;
    for (const long long figure : figures) text += ',' + std::to_string(figure);
    return text;
}

// What one write adds to the totals of its day or of its operator.
struct Counted {
    bool confirmed = false;
    bool refused = false;
    bool uncertain = false;
    bool noOutcome = false;
    // Settled by a reading of the badge since: `landed` when it held the amount written.
    bool resolved = false;
    bool landed = false;
    long long loaded = 0;
    long long topup = 0;
};

Counted counted(const WriteRow& row) {
    Counted c;
    if (row.resolution) {
        c.resolved = true;
        c.landed = row.resolution->settled.credit == row.start.amount;
    } else if (!row.end) {
        c.noOutcome = true;
    } else if (row.end->confirmed) {
        c.confirmed = true;
    } else if (row.end->unchanged) {
        c.refused = true;
    } else {
        c.uncertain = true;
    }
    const auto after = creditAfter(row);
    // After minus before, for one badge: a write that went to another badge loaded nothing
    // that can be told.
    if (row.start.before && after && row.badge() == row.start.serial)
        c.loaded = *after - *row.start.before;
    if (row.start.topup && (c.confirmed || c.landed)) c.topup = *row.start.topup;
    return c;
}

}  // namespace

UtcRange localDayRange(const QDate& day, const QTimeZone& zone) {
    // QDateTime moves a local time that the zone skips forward past the gap.
    const QDateTime start(day, QTime(0, 0), zone);
    const QDateTime end(day.addDays(1), QTime(0, 0), zone);
    return {start.toUTC(), end.toUTC()};
}

std::optional<QDate> reportDay(const std::string& text, const QDateTime& now,
                               const QTimeZone& zone) {
    const QDate today = now.toTimeZone(zone).date();
    if (text == "today") return today;
    if (text == "yesterday") return today.addDays(-1);
    constexpr std::size_t kDayLength = 10;  // YYYY-MM-DD
    if (text.size() != kDayLength) return std::nullopt;
    const QDate day = QDate::fromString(QString::fromStdString(text), Qt::ISODate);
    if (!day.isValid()) return std::nullopt;
    return day;
}

int offsetOf(const WriteRow& row) {
    if (row.offsetMinutes) return *row.offsetMinutes;
    const QDateTime time = utcTime(row.started);
    return time.isValid() ? time.toLocalTime().offsetFromUtc() / kSecondsPerMinute : 0;
}

std::string localDayOf(const WriteRow& row) {
    const QDateTime local = stationTime(row.started, offsetOf(row));
    // A time that cannot be read is kept apart under its first ten characters.
    if (!local.isValid()) return row.started.substr(0, 10);
    return local.date().toString(Qt::ISODate).toStdString();
}

std::string localTimeText(const std::string& utc, int offsetMinutes) {
    const QDateTime local = stationTime(utc, offsetMinutes);
    if (!local.isValid()) return printable(utc);
    return (local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + offsetText(offsetMinutes))
        .toStdString();
}

std::string localTimeIso(const std::string& utc, int offsetMinutes) {
    const QDateTime local = stationTime(utc, offsetMinutes);
    return local.isValid() ? local.toString(Qt::ISODateWithMs).toStdString() : utc;
}

RowFilter coveringFilter(const std::string& from, const std::string& to,
                         const std::string& station) {
    const auto widened = [](const std::string& day, int days) {
        if (day.empty()) return day;
        const QDate date = QDate::fromString(QString::fromStdString(day), Qt::ISODate);
        const QDate moved = date.addDays(days);
        // Past the last day of a four-digit year, or before the first, there is no bound.
        if (!moved.isValid() || moved.year() > 9999 || moved.year() < 1) return std::string();
        return moved.toString(Qt::ISODate).toStdString();
    };
    return {widened(from, -kWidestOffsetDays), widened(to, kWidestOffsetDays), station};
}

std::vector<WriteRow> localDaysOnly(const std::vector<WriteRow>& rows, const std::string& from,
                                    const std::string& to) {
    std::vector<WriteRow> kept;
    for (const WriteRow& row : rows) {
        // Days written YYYY-MM-DD compare as they sort.
        const std::string day = localDayOf(row);
        if ((from.empty() || day >= from) && (to.empty() || day <= to)) kept.push_back(row);
    }
    return kept;
}

bool needsRead(const WriteRow& row) {
    if (row.resolution) return false;
    return !row.end || (!row.end->confirmed && !row.end->unchanged);
}

std::vector<OperatorLine> operatorLines(const std::vector<WriteRow>& rows,
                                        const std::vector<WriteRow>& settledLater) {
    std::map<std::string, OperatorLine> byUser;
    for (const WriteRow& row : settledLater) {
        OperatorLine& line = byUser[row.start.user];
        line.user = row.start.user;
        const Counted c = counted(row);
        line.resolved += c.resolved;
        line.loaded += c.loaded;
        line.toppedUp += c.topup;
    }
    for (const WriteRow& row : rows) {
        OperatorLine& line = byUser[row.start.user];
        line.user = row.start.user;
        const Counted c = counted(row);
        ++line.writes;
        line.confirmed += c.confirmed;
        line.refused += c.refused;
        line.doubtful += c.uncertain || c.noOutcome;
        line.resolved += c.resolved;
        line.loaded += c.loaded;
        line.toppedUp += c.topup;
    }
    std::vector<OperatorLine> ordered;
    for (auto& [user, line] : byUser) ordered.push_back(line);
    return ordered;
}

std::vector<DayTotals> dailyTotals(const std::vector<WriteRow>& rows) {
    std::map<std::pair<std::string, std::string>, DayTotals> byDay;
    std::map<std::pair<std::string, std::string>, std::vector<WriteRow>> dayRows;
    for (const WriteRow& row : rows) {
        const std::pair key{localDayOf(row), row.start.station};
        DayTotals& totals = byDay[key];
        dayRows[key].push_back(row);
        totals.day = key.first;
        totals.station = row.start.station;
        const Counted c = counted(row);
        // A day counts a settled write by what the badge was found to hold.
        ++totals.writes;
        totals.confirmed += c.confirmed || c.landed;
        totals.refused += c.refused || (c.resolved && !c.landed);
        totals.uncertain += c.uncertain;
        totals.noOutcome += c.noOutcome;
        totals.loaded += c.loaded;
        totals.topups += c.topup;
    }
    std::vector<DayTotals> ordered;
    for (auto& [key, totals] : byDay) {
        totals.operators = operatorLines(dayRows[key]);
        ordered.push_back(totals);
    }
    return ordered;
}

std::string operatorTable(const std::vector<OperatorLine>& lines, bool header) {
    const QString indent(kIndent, u' ');
    QString text;
    if (header)
        text += headerLine(indent + QCoreApplication::translate("DailyReport", "operator"),
                           kFirstCell, operatorHeaders()) +
                u'\n';
    for (const OperatorLine& line : lines)
        text += namedLine(indent, line.user, kFirstCell, operatorHeaders(), operatorFigures(line));
    return text.toStdString();
}

QJsonArray operatorsJson(const std::vector<OperatorLine>& lines) {
    QJsonArray array;
    for (const OperatorLine& line : lines) {
        QJsonObject object;
        object["user"] = QString::fromStdString(line.user);
        object["writes"] = line.writes;
        object["confirmed"] = line.confirmed;
        object["refused"] = line.refused;
        object["doubtful"] = line.doubtful;
        object["resolved"] = line.resolved;
        object["loaded"] = static_cast<qint64>(line.loaded);
        object["toppedUp"] = static_cast<qint64>(line.toppedUp);
        array.append(object);
    }
    return array;
}

std::string reportText(const std::vector<DayTotals>& totals, const std::vector<WriteRow>& rows) {
    QString text;
    const std::string* station = nullptr;
    for (const DayTotals& t : totals) {
        // A station's name stands on a line of its own above its days: however long it is,
        // the columns stay where they are.
        if (!station || *station != t.station) {
            if (station) text += u'\n';
            text += QCoreApplication::translate("DailyReport", "Station %1")
                        .arg(QString::fromStdString(printable(t.station))) +
                    u'\n';
            text += headerLine(QCoreApplication::translate("DailyReport", "day"), kFirstCell,
                               dayHeaders()) +
                    u'\n';
            station = &t.station;
        }
        text += tableLine(QString::fromStdString(printable(t.day)), kFirstCell, dayHeaders(),
                          {t.writes, t.confirmed, t.refused, t.uncertain, t.noOutcome, t.loaded,
                           t.topups}) +
                u'\n';
        text += QString::fromStdString(operatorTable(t.operators, true));
    }
    bool first = true;
    for (const WriteRow& row : rows) {
        if (!needsRead(row)) continue;
        if (first)
            text += u'\n' +
                    QCoreApplication::translate(
                        "DailyReport",
                        "Need a read of the badge (the credit written may or may not be on it):") +
                    u'\n';
        first = false;
        // Four short lines a write, so that long names fit 80 columns: when and where, what
        // was written and why it is in doubt, who and on which port, and the row.
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString::fromStdString(localTimeText(row.started, offsetOf(row))),
                         QString::fromStdString(printable(row.start.station)));
        text += QStringLiteral("    ") +
                QCoreApplication::translate("DailyReport", "badge %1  credit %2 -> %3  %4")
                    .arg(QString::fromStdString(badgeText(row)),
                         QString::fromStdString(orDash(row.start.before)),
                         QString::number(row.start.amount), QString::fromStdString(whyRead(row))) +
                u'\n';
        text += QStringLiteral("    %1  %2\n")
                    .arg(QString::fromStdString(printable(row.start.user)),
                         QString::fromStdString(printable(row.start.port)));
        text += QStringLiteral("    ") +
                QCoreApplication::translate("DailyReport", "row %1")
                    .arg(QString::fromStdString(row.id)) +
                u'\n';
    }
    return text.toStdString();
}

std::string reportCsv(const std::vector<DayTotals>& totals) {
    std::string text =
        "day,station,writes,confirmed,refused,uncertain,no_outcome,loaded,topups,operator\n";
    for (const DayTotals& t : totals) {
        const std::string place = csvField(t.day) + ',' + csvField(t.station);
        text += place +
                csvCounts({t.writes, t.confirmed, t.refused, t.uncertain, t.noOutcome, t.loaded,
                           t.topups}) +
                ",\n";
        // An operator's doubtful writes are in the uncertain column: no outcome is told apart
        // per operator.
        for (const OperatorLine& line : t.operators)
            text += place +
                    csvCounts({line.writes, line.confirmed, line.refused, line.doubtful, 0,
                               line.loaded, line.toppedUp}) +
                    ',' + csvField(line.user) + '\n';
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
        object["operators"] = operatorsJson(t.operators);
        QJsonArray pending;
        for (const WriteRow& row : rows)
            if (sameDay(t, row) && needsRead(row)) pending.append(rowJson(row));
        object["needsRead"] = pending;
        objects.push_back(object);
    }
    return objects;
}

}  // namespace palmota::journal

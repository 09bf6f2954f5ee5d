#include "cli/cashup_text.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include "journal/cashup_data.h"
#include "journal/daily_report.h"
#include "reader/byte_text.h"

namespace palmota::cli {

namespace {

using journal::ListedWrite;
using journal::StationTime;
using journal::WriteStanding;

constexpr qsizetype kTimeCell = 15;  // 00:30:21 +01:00
constexpr qsizetype kNameCell = 10;
constexpr qsizetype kCreditCell = 15;  // 65535 -> 65535
constexpr qsizetype kTopupCell = 7;
constexpr qsizetype kLabelCell = 22;
constexpr qsizetype kFigureCell = 12;
constexpr qsizetype kWidth = 80;

QString shown(const std::string& text) {
    return QString::fromStdString(printable(text));
}

QString orDash(const std::optional<int>& value) {
    return value ? QString::number(*value) : QStringLiteral("-");
}

QString orDash(const std::optional<std::string>& text) {
    return text && !text->empty() ? shown(*text) : QStringLiteral("-");
}

// A name in a cell of `width` columns: cut, with an ellipsis, when it does not fit.
QString cell(const QString& name, qsizetype width) {
    if (name.size() <= width) return name.leftJustified(width);
    return name.left(width - 1) + QChar(0x2026);
}

QString timeOfDay(const StationTime& time) {
    // "2026-12-09 00:30:21 +01:00": the day is the heading, the rest the cell.
    const QString full = QString::fromStdString(stationTimeText(time));
    return full.size() > 11 ? full.mid(11) : full;
}

QString dayOf(const StationTime& time) {
    return QString::fromStdString(stationTimeText(time)).left(10);
}

QJsonValue optionalInt(const std::optional<int>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

QJsonObject timeJson(const StationTime& time) {
    QJsonObject object;
    object["utc"] = QString::fromStdString(time.utc);
    object["offsetMinutes"] = time.offsetMinutes;
    object["local"] = QString::fromStdString(journal::localTimeIso(time.utc, time.offsetMinutes));
    return object;
}

QString figureLine(const QString& label, long long figure) {
    return QStringLiteral("  ") + label.leftJustified(kLabelCell) +
           QString::number(figure).rightJustified(kFigureCell) + u'\n';
}

// The closure's doubtful writes, each on two lines: when, badge and credit; who and the row.
QString openWritesText(const std::vector<ListedWrite>& open) {
    QString text;
    for (const ListedWrite& w : open) {
        text += QStringLiteral("  %1  ").arg(QString::fromStdString(stationTimeText(w.started))) +
                QCoreApplication::translate("Cashup", "badge %1  credit %2 -> %3")
                    .arg(orDash(w.serial), orDash(w.before), QString::number(w.amount)) +
                u'\n';
        text += QStringLiteral("    %1  %2  ")
                    .arg(shown(w.user), w.cause.empty()
                                            ? QCoreApplication::translate("Cashup", "no outcome")
                                            : shown(w.cause)) +
                QCoreApplication::translate("Cashup", "row %1").arg(shown(w.id)) + u'\n';
    }
    return text;
}

}  // namespace

std::string stationTimeText(const StationTime& time) {
    return journal::localTimeText(time.utc, time.offsetMinutes);
}

std::string standingName(WriteStanding standing) {
    switch (standing) {
        case WriteStanding::Confirmed:
            return "confirmed";
        case WriteStanding::Refused:
            return "refused";
        case WriteStanding::Doubtful:
            return "doubtful";
        case WriteStanding::Resolved:
            return "resolved";
    }
    return {};
}

QString standingText(WriteStanding standing) {
    switch (standing) {
        case WriteStanding::Confirmed:
            return QCoreApplication::translate("Cashup", "confirmed");
        case WriteStanding::Refused:
            return QCoreApplication::translate("Cashup", "refused");
        case WriteStanding::Doubtful:
            return QCoreApplication::translate("Cashup", "doubtful");
        case WriteStanding::Resolved:
            return QCoreApplication::translate("Cashup", "resolved");
    }
    return {};
}

std::string writeListText(const std::vector<ListedWrite>& writes) {
    QString text;
    const QString header =
        QCoreApplication::translate("Cashup", "time").leftJustified(kTimeCell) + u' ' +
        QCoreApplication::translate("Cashup", "operator").leftJustified(kNameCell) + u' ' +
        QCoreApplication::translate("Cashup", "badge").leftJustified(kNameCell) + u' ' +
        QCoreApplication::translate("Cashup", "credit").leftJustified(kCreditCell) + u' ' +
        QCoreApplication::translate("Cashup", "top-up").rightJustified(kTopupCell) + u' ' +
        QCoreApplication::translate("Cashup", "outcome");
    std::string station;
    QString day;
    bool first = true;
    for (const ListedWrite& w : writes) {
        // A heading whenever the station or its day changes: a station's name of any length
        // stands on a line of its own.
        if (first || w.station != station || dayOf(w.started) != day) {
            if (!first) text += u'\n';
            text += QCoreApplication::translate("Cashup", "Station %1, %2")
                        .arg(shown(w.station), dayOf(w.started)) +
                    u'\n';
            text += header + u'\n';
            station = w.station;
            day = dayOf(w.started);
            first = false;
        }
        const QString user = shown(w.user);
        const QString badge = orDash(w.serial);
        if (user.size() > kNameCell)
            text += QStringLiteral("  ") +
                    QCoreApplication::translate("Cashup", "operator %1").arg(user) + u'\n';
        if (badge.size() > kNameCell)
            text += QStringLiteral("  ") +
                    QCoreApplication::translate("Cashup", "badge %1").arg(badge) + u'\n';
        const QString credit = orDash(w.before) + QStringLiteral(" -> ") + orDash(w.after);
        QString line = timeOfDay(w.started).leftJustified(kTimeCell) + u' ' +
                       cell(user, kNameCell) + u' ' + cell(badge, kNameCell) + u' ' +
                       credit.leftJustified(kCreditCell) + u' ' +
                       orDash(w.topup).rightJustified(kTopupCell) + u' ' + standingText(w.standing);
        // Why a write is not confirmed, beside its outcome when it fits, else under it.
        const QString why = w.cause.empty() && w.standing == WriteStanding::Doubtful
                                ? QCoreApplication::translate("Cashup", "no outcome")
                            : w.cause == "ok" ? QString()
                                              : shown(w.cause);
        if (!why.isEmpty() && w.standing != WriteStanding::Confirmed) {
            if (line.size() + 3 + why.size() <= kWidth)
                line += QStringLiteral(" (") + why + u')';
            else
                line += u'\n' + QString(kTimeCell + 1, u' ') + u'(' + why + u')';
        }
        text += line + u'\n';
        if (w.standing == WriteStanding::Resolved && w.resolvedAt)
            text += QString(kTimeCell + 1, u' ') +
                    QCoreApplication::translate("Cashup", "settled %1 by %2")
                        .arg(QString::fromStdString(stationTimeText(*w.resolvedAt)),
                             shown(w.resolvedBy)) +
                    u'\n';
    }
    return text.toStdString();
}

QJsonObject listedWriteJson(const ListedWrite& w) {
    QJsonObject object;
    object["id"] = QString::fromStdString(w.id);
    object["started"] = timeJson(w.started);
    object["station"] = QString::fromStdString(w.station);
    object["user"] = QString::fromStdString(w.user);
    object["serial"] = w.serial ? QJsonValue(QString::fromStdString(*w.serial)) : QJsonValue();
    object["before"] = optionalInt(w.before);
    object["after"] = optionalInt(w.after);
    object["amount"] = w.amount;
    object["topup"] = optionalInt(w.topup);
    object["standing"] = QString::fromStdString(standingName(w.standing));
    object["cause"] = w.cause.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(w.cause));
    object["resolvedAt"] = w.resolvedAt ? QJsonValue(timeJson(*w.resolvedAt)) : QJsonValue();
    object["resolvedBy"] =
        w.resolvedBy.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(w.resolvedBy));
    return object;
}

std::vector<QJsonObject> writeListJson(const std::vector<ListedWrite>& writes) {
    std::vector<QJsonObject> objects;
    for (const ListedWrite& w : writes) objects.push_back(listedWriteJson(w));
    return objects;
}

std::string operatorsText(const std::vector<journal::OperatorLine>& lines) {
    return journal::operatorTable(lines, true);
}

std::string closureText(const journal::Closure& c) {
    QString text = QCoreApplication::translate("Cashup", "Closure %1").arg(c.number) + u'\n';
    text += QCoreApplication::translate("Cashup", "Station %1").arg(shown(c.station)) + u'\n';
    text +=
        QCoreApplication::translate("Cashup", "Made %1 by %2 (%3)")
            .arg(QString::fromStdString(stationTimeText(c.made)), shown(c.user), shown(c.program)) +
        u'\n';
    if (c.first && c.last)
        text += QCoreApplication::translate("Cashup", "Period from %1 to %2")
                    .arg(QString::fromStdString(stationTimeText(*c.first)),
                         QString::fromStdString(stationTimeText(*c.last))) +
                u'\n';
    else
        text += QCoreApplication::translate("Cashup", "Period without records") + u'\n';
    text += u'\n';
    text += figureLine(QCoreApplication::translate("Closure", "writes"), c.writes);
    text += figureLine(QCoreApplication::translate("Closure", "confirmed"), c.confirmed);
    text += figureLine(QCoreApplication::translate("Closure", "refused"), c.refused);
    text += figureLine(QCoreApplication::translate("Closure", "doubtful, still open"), c.doubtful);
    text += figureLine(QCoreApplication::translate("Closure", "resolved"), c.resolved);
    text += figureLine(QCoreApplication::translate("Closure", "credit loaded"), c.loaded);
    text += figureLine(QCoreApplication::translate("Closure", "topped up"), c.toppedUp);
    text += figureLine(QCoreApplication::translate("Closure", "grand total"), c.grandTotal);
    text += u'\n' + QCoreApplication::translate("Cashup", "Operators") + u'\n';
    text += QString::fromStdString(journal::operatorTable(c.operators, true));
    text +=
        u'\n' +
        QCoreApplication::translate("Cashup", "Doubtful writes still open: %1").arg(c.open.size()) +
        u'\n';
    text += openWritesText(c.open);
    text += u'\n' +
            QCoreApplication::translate("Cashup", "Chain head %1")
                .arg(shown(c.chainHead.substr(0, kChainHeadShown))) +
            u'\n';
    return text.toStdString();
}

QJsonObject closureJson(const journal::Closure& c) {
    QJsonObject object = journal::closureFiguresJson(c);
    object["station"] = QString::fromStdString(c.station);
    object["number"] = c.number;
    object["made"] = timeJson(c.made);
    object["user"] = QString::fromStdString(c.user);
    object["program"] = QString::fromStdString(c.program);
    object["first"] = c.first ? QJsonValue(timeJson(*c.first)) : QJsonValue();
    object["last"] = c.last ? QJsonValue(timeJson(*c.last)) : QJsonValue();
    QJsonArray open;
    for (const ListedWrite& w : c.open) open.append(listedWriteJson(w));
    object["open"] = open;
    object["chainHead"] = QString::fromStdString(c.chainHead);
    return object;
}

std::string jsonLines(const std::vector<QJsonObject>& objects) {
    std::string text;
    for (const QJsonObject& object : objects)
        text += QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + '\n';
    return text;
}

}  // namespace palmota::cli

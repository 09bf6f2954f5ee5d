#include "journal/cashup_data.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "journal/daily_report.h"

namespace palmota::journal {

WriteStanding standing(const WriteRow& row) {
    if (row.resolution) return WriteStanding::Resolved;
    if (needsRead(row)) return WriteStanding::Doubtful;
    return row.end->confirmed ? WriteStanding::Confirmed : WriteStanding::Refused;
}

std::vector<ListedWrite> listedWrites(const std::vector<WriteRow>& rows) {
    std::vector<ListedWrite> listed;
    listed.reserve(rows.size());
    for (const WriteRow& row : rows) {
        ListedWrite w;
        w.id = row.id;
        // Rows before the chain kept no offset: their times read as UTC.
        w.started = {row.started, row.offsetMinutes.value_or(0)};
        w.station = row.start.station;
        w.user = row.start.user;
        w.serial = row.badge();
        w.before = row.start.before;
        w.after = creditAfter(row);
        w.amount = row.start.amount;
        w.topup = row.start.topup;
        w.standing = standing(row);
        w.cause = row.end ? row.end->cause : std::string();
        if (row.resolution) {
            w.resolvedAt = StationTime{row.resolution->at, row.resolution->offsetMinutes};
            w.resolvedBy = row.resolution->settled.user;
        }
        listed.push_back(std::move(w));
    }
    return listed;
}

}  // namespace palmota::journal

namespace palmota::journal {

namespace {

QJsonValue orNull(const std::optional<int>& value) {
    return value ? QJsonValue(*value) : QJsonValue();
}

std::optional<int> intOrNone(const QJsonValue& value) {
    if (value.isNull() || value.isUndefined()) return std::nullopt;
    return value.toInt();
}

QJsonValue timeJson(const std::optional<StationTime>& time) {
    if (!time) return QJsonValue();
    return QJsonObject{{"utc", QString::fromStdString(time->utc)},
                       {"offsetMinutes", time->offsetMinutes}};
}

std::optional<StationTime> timeFrom(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    return StationTime{o["utc"].toString().toStdString(), o["offsetMinutes"].toInt()};
}

qint64 wide(long long value) {
    return static_cast<qint64>(value);
}

}  // namespace

void closureFigures(const std::vector<WriteRow>& rows, const std::vector<WriteRow>& settledLater,
                    long long previousGrandTotal, Closure& closure) {
    closure.operators = operatorLines(rows, settledLater);
    closure.writes = closure.confirmed = closure.refused = closure.doubtful = closure.resolved = 0;
    closure.loaded = closure.toppedUp = 0;
    for (const OperatorLine& line : closure.operators) {
        closure.writes += line.writes;
        closure.confirmed += line.confirmed;
        closure.refused += line.refused;
        closure.doubtful += line.doubtful;
        closure.resolved += line.resolved;
        closure.loaded += line.loaded;
        closure.toppedUp += line.toppedUp;
    }
    closure.open.clear();
    for (const ListedWrite& w : listedWrites(rows))
        if (w.standing == WriteStanding::Doubtful) closure.open.push_back(w);
    // The period runs from its first record to its last: the writes begun in it, and the
    // settlements it counts (UTC times compare as text).
    closure.first.reset();
    closure.last.reset();
    const auto span = [&closure](const StationTime& time) {
        if (!closure.first || time.utc < closure.first->utc) closure.first = time;
        if (!closure.last || time.utc > closure.last->utc) closure.last = time;
    };
    for (const std::vector<WriteRow>* list : {&rows, &settledLater})
        for (const WriteRow& row : *list) {
            if (list == &rows) span({row.started, row.offsetMinutes.value_or(0)});
            if (row.resolution) span({row.resolution->at, row.resolution->offsetMinutes});
        }
    closure.grandTotal = previousGrandTotal + closure.loaded;
}

QJsonObject closureFiguresJson(const Closure& c) {
    return QJsonObject{{"writes", c.writes},
                       {"confirmed", c.confirmed},
                       {"refused", c.refused},
                       {"doubtful", c.doubtful},
                       {"resolved", c.resolved},
                       {"loaded", wide(c.loaded)},
                       {"toppedUp", wide(c.toppedUp)},
                       {"grandTotal", wide(c.grandTotal)},
                       {"operators", operatorsJson(c.operators)}};
}

std::string closureDetail(const Closure& c) {
    QJsonArray open;
    for (const ListedWrite& w : c.open)
        open.append(QJsonObject{
            {"id", QString::fromStdString(w.id)},
            {"started", timeJson(w.started)},
            {"user", QString::fromStdString(w.user)},
            {"serial", w.serial ? QJsonValue(QString::fromStdString(*w.serial)) : QJsonValue()},
            {"before", orNull(w.before)},
            {"amount", w.amount},
            {"topup", orNull(w.topup)},
            {"cause", QString::fromStdString(w.cause)}});
    // QJsonObject keeps its keys sorted: the text depends on the figures alone.
    QJsonObject object = closureFiguresJson(c);
    object["number"] = c.number;
    object["user"] = QString::fromStdString(c.user);
    object["first"] = timeJson(c.first);
    object["last"] = timeJson(c.last);
    object["open"] = open;
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

bool closureFromDetail(const std::string& detail, Closure& c) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(detail));
    if (!document.isObject()) return false;
    const QJsonObject o = document.object();
    if (!o["number"].isDouble()) return false;
    c.number = o["number"].toInt();
    c.user = o["user"].toString().toStdString();
    c.first = timeFrom(o["first"]);
    c.last = timeFrom(o["last"]);
    c.writes = o["writes"].toInt();
    c.confirmed = o["confirmed"].toInt();
    c.refused = o["refused"].toInt();
    c.doubtful = o["doubtful"].toInt();
    c.resolved = o["resolved"].toInt();
    c.loaded = o["loaded"].toInteger();
    c.toppedUp = o["toppedUp"].toInteger();
    c.grandTotal = o["grandTotal"].toInteger();
    c.operators.clear();
    for (const auto& v : o["operators"].toArray()) {
        const QJsonObject l = v.toObject();
        OperatorLine line;
        line.user = l["user"].toString().toStdString();
        line.writes = l["writes"].toInt();
        line.confirmed = l["confirmed"].toInt();
        line.refused = l["refused"].toInt();
        line.doubtful = l["doubtful"].toInt();
        line.resolved = l["resolved"].toInt();
        line.loaded = l["loaded"].toInteger();
        line.toppedUp = l["toppedUp"].toInteger();
        c.operators.push_back(line);
    }
    c.open.clear();
    for (const auto& v : o["open"].toArray()) {
        const QJsonObject w = v.toObject();
        ListedWrite listed;
        listed.id = w["id"].toString().toStdString();
        listed.started = timeFrom(w["started"]).value_or(StationTime{});
        listed.station = c.station;
        listed.user = w["user"].toString().toStdString();
        if (w["serial"].isString()) listed.serial = w["serial"].toString().toStdString();
        listed.before = intOrNone(w["before"]);
        listed.amount = w["amount"].toInt();
        listed.topup = intOrNone(w["topup"]);
        listed.cause = w["cause"].toString().toStdString();
        listed.standing = WriteStanding::Doubtful;
        c.open.push_back(listed);
    }
    return true;
}

std::string settlementDetail(const Settlement& s) {
    const QJsonObject object{
        {"user", QString::fromStdString(s.user)},
        {"station", QString::fromStdString(s.station)},
        {"readBefore",
         s.readBefore.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(s.readBefore))}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

bool settlementFromDetail(const std::string& detail, Settlement& s) {
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(detail));
    if (!document.isObject()) return false;
    const QJsonObject o = document.object();
    s.user = o["user"].toString().toStdString();
    s.station = o["station"].toString().toStdString();
    s.readBefore = o["readBefore"].toString().toStdString();
    return true;
}

}  // namespace palmota::journal

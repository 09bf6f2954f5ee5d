#include "cli/journal_command.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/cashup_pdf.h"
#include "cli/cashup_text.h"
#include "cli/cause_lines.h"
#include "cli/cli_status.h"
#include "journal/cashup_data.h"
#include "journal/daily_report.h"
#include "journal/journal_open.h"
#include "reader/byte_text.h"
#include "reader/palmota.h"

namespace palmota::cli {

namespace {

// Status 1, as a command that could not do what it was asked: nothing to close, no such
// closure, no write in doubt to settle.
constexpr int kExitNothing = 1;

void printJson(std::ostream& out, const QJsonObject& object) {
    out << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << '\n';
}

QString text(const std::string& value) {
    return QString::fromStdString(value);
}

// What the check read, as the link's texts: a read that failed, or never ran, is empty.
std::string readText(const till::CheckVerdict& verdict, Operation operation) {
    for (const Outcome& outcome : verdict.operations)
        if (outcome.operation == operation) return resultText(outcome);
    return {};
}

// The end of a command that read the badge: its failure on standard error, and its JSON
// line with the status it ends with.
int finish(QJsonObject& object, const std::string& failure, Cause cause, int status, bool json,
           std::ostream& out, std::ostream& err) {
    if (!failure.empty()) {
        err << "palmota-cli: " << failure << std::endl;
        object["error"] = text(failure);
    }
    if (json) {
        object["ok"] = status == kExitSuccess;
        object["cause"] = text(std::string(till::causeName(cause)));
        object["status"] = status;
        printJson(out, object);
    }
    out << std::flush;
    return status;
}

}  // namespace

int runJournalReport(till::Ledger& ledger, const JournalRequest& request, std::ostream& out,
                     std::ostream& err) {
    std::string report;
    std::string problem;
    JournalRequest asked = request;
    // A PDF prints the text for people.
    if (!request.pdf.empty()) asked.format = JournalRequest::Format::Text;
    if (!ledger.report(asked, report, problem)) {
        err << "palmota-cli: " << problem << std::endl;
        return kExitJournal;
    }
    if (!request.pdf.empty()) {
        const QString title = QCoreApplication::translate("Cashup", "Journal report");
        std::string error;
        if (!writeTextPdf(title, report, QString::fromStdString(request.pdf), error)) {
            err << "palmota-cli: " << error << std::endl;
            return kExitUsage;
        }
        return kExitSuccess;
    }
    out << report << std::flush;
    return out ? kExitSuccess : kExitOutputClosed;
}

int runJournalList(till::Ledger& ledger, const JournalRequest& request, std::ostream& out,
                   std::ostream& err) {
    std::vector<journal::WriteRow> rows;
    std::string problem;
    if (!ledger.rows(request, rows, problem)) {
        err << "palmota-cli: " << problem << std::endl;
        return kExitJournal;
    }
    const std::vector<journal::ListedWrite> writes = journal::listedWrites(rows);
    if (request.format == JournalRequest::Format::Json)
        out << jsonLines(writeListJson(writes));
    else
        out << writeListText(writes);
    out << std::flush;
    return out ? kExitSuccess : kExitOutputClosed;
}

namespace {

// A closure as asked: text, one JSON line, or its A4 page in the file --pdf names.
int printClosure(const journal::Closure& closure, const JournalRequest& request, bool json,
                 std::ostream& out, std::ostream& err) {
    if (!request.pdf.empty()) {
        std::string error;
        if (!writeClosurePdf(closure, QString::fromStdString(request.pdf), error)) {
            err << "palmota-cli: " << error << std::endl;
            return kExitUsage;
        }
        return kExitSuccess;
    }
    if (json)
        printJson(out, closureJson(closure));
    else
        out << closureText(closure);
    out << std::flush;
    return out ? kExitSuccess : kExitOutputClosed;
}

}  // namespace

int runJournalClose(till::Ledger& ledger, const JournalRequest& request, bool json,
                    std::ostream& out, std::ostream& err) {
    journal::Closure closure;
    std::optional<int> nothingSince;
    std::string problem;
    if (!ledger.close(closure, nothingSince, problem)) {
        err << "palmota-cli: " << problem << std::endl;
        return nothingSince ? kExitNothing : kExitJournal;
    }
    return printClosure(closure, request, json, out, err);
}

int runJournalClosure(till::Ledger& ledger, const JournalRequest& request, bool json,
                      std::ostream& out, std::ostream& err) {
    std::optional<journal::Closure> closure;
    std::string problem;
    if (!ledger.closure(request.station, request.closureNumber, closure, problem)) {
        err << "palmota-cli: journal unavailable: " << problem << std::endl;
        return kExitJournal;
    }
    if (!closure) {
        err << "palmota-cli: no closure " << request.closureNumber
            << (request.station.empty() ? std::string(" of this station")
                                        : " of station " + printable(request.station))
            << std::endl;
        return kExitNothing;
    }
    return printClosure(*closure, request, json, out, err);
}

namespace {

// What a break shows, in the station's language.
QString breakText(const journal::ChainBreak& b) {
    using Kind = journal::ChainBreak::Kind;
    switch (b.kind) {
        case Kind::Inserted:
            return QCoreApplication::translate("Verify", "inserted: a second record at its place");
        case Kind::Removed:
            if (b.missingTo > b.missingFrom)
                return QCoreApplication::translate(
                           "Verify", "removed before it: the chain has no record %1 to %2")
                    .arg(b.missingFrom)
                    .arg(b.missingTo);
            return QCoreApplication::translate("Verify",
                                               "removed before it: the chain has no record %1")
                .arg(b.missingFrom);
        case Kind::Altered:
            return QCoreApplication::translate("Verify",
                                               "altered: its fields no longer give its hash");
        case Kind::OutOfPlace:
            return QCoreApplication::translate(
                "Verify", "out of place: it does not follow the record before it");
        case Kind::Unsealed:
            return QCoreApplication::translate("Verify",
                                               "rows before the chain with no seal over them");
        case Kind::SealBroken:
            return QCoreApplication::translate(
                "Verify", "the rows it seals were altered, removed or added since the chain began");
        case Kind::ClosureFigures:
            return QCoreApplication::translate("Verify",
                                               "closure %1: its figures are not those of its "
                                               "period's records")
                .arg(b.closure);
    }
    return {};
}

}  // namespace

int runJournalVerify(till::Ledger& ledger, bool json, std::ostream& out, std::ostream& err) {
    journal::ChainCheck check;
    std::string problem;
    if (!ledger.verifyChains(check, problem)) {
        err << "palmota-cli: " << problem << std::endl;
        if (json) {
            printJson(out, QJsonObject{{"command", "journal verify"},
                                       {"ok", false},
                                       {"error", text(problem)},
                                       {"status", kExitJournal}});
        }
        return kExitJournal;
    }
    const int status = check.broken ? kExitJournalAltered : kExitSuccess;
    QString said;
    if (check.broken) {
        const journal::ChainBreak& b = *check.broken;
        said = QCoreApplication::translate("Verify", "station %1, record %2%3: %4")
                   .arg(QString::fromStdString(printable(b.station)))
                   .arg(b.seq)
                   .arg(b.id.empty()
                            ? QString()
                            : QStringLiteral(" (%1)").arg(QString::fromStdString(printable(b.id))),
                        breakText(b));
        err << "palmota-cli: "
            << QCoreApplication::translate("Verify", "journal altered: %1").arg(said).toStdString()
            << std::endl;
    }
    if (json) {
        QJsonObject object{{"command", "journal verify"},
                           {"ok", !check.broken},
                           {"stations", check.stations},
                           {"records", static_cast<qint64>(check.records)},
                           {"sealed", static_cast<qint64>(check.sealed)},
                           {"status", status}};
        if (check.broken) {
            const journal::ChainBreak& b = *check.broken;
            object["broken"] = QJsonObject{{"station", text(b.station)},
                                           {"seq", static_cast<qint64>(b.seq)},
                                           {"id", text(b.id)},
                                           {"kind", journal::chainBreakName(b.kind)},
                                           {"what", breakText(b)}};
        } else {
            object["broken"] = QJsonValue();
        }
        printJson(out, object);
    } else {
        // The English singular and plural chosen here, French taking its own for each.
        const auto count = [](long long n, const char* one, const char* many) {
            return (n == 1 ? QCoreApplication::translate("Verify", one)
                           : QCoreApplication::translate("Verify", many))
                .arg(n);
        };
        const QString counts =
            count(check.stations, QT_TRANSLATE_NOOP("Verify", "%1 station"),
                  QT_TRANSLATE_NOOP("Verify", "%1 stations")) +
            QStringLiteral(", ") +
            count(check.records, QT_TRANSLATE_NOOP("Verify", "%1 chained record"),
                  QT_TRANSLATE_NOOP("Verify", "%1 chained records")) +
            QStringLiteral(", ") +
            count(check.sealed, QT_TRANSLATE_NOOP("Verify", "%1 row sealed before the chain"),
                  QT_TRANSLATE_NOOP("Verify", "%1 rows sealed before the chain"));
        out << (check.broken
                    ? QCoreApplication::translate("Verify", "%1: altered at %2").arg(counts, said)
                    : QCoreApplication::translate("Verify", "%1: every chain holds").arg(counts))
                   .toStdString()
            << '\n';
    }
    out << std::flush;
    return out ? status : kExitOutputClosed;
}

int runJournalCheck(till::Till& till, bool json, std::ostream& out, std::ostream& err) {
    const till::CheckVerdict verdict = till.check();
    const std::string serial = readText(verdict, Operation::ReadSerialNumber);
    const std::string credit = readText(verdict, Operation::ReadCredit);
    if (!json) out << "serial: " << serial << "\ncredit: " << credit << '\n';

    QJsonObject object;
    object["command"] = "journal check";
    object["serial"] = text(serial);
    object["credit"] = text(credit);
    if (!verdict.failed && verdict.journalProblem.empty()) {
        object["lastWrite"] = QJsonValue();
        if (verdict.rows == 0) {
            if (!json) out << "badge " << serial << " is not in the journal\n";
        } else if (!verdict.last) {
            if (!json) out << "no confirmed write to badge " << serial << " in the journal\n";
        } else {
            const till::Ledger::LastWrite& last = *verdict.last;
            const std::string left = last.credit ? std::to_string(*last.credit) : "unknown";
            QJsonObject lastWrite;
            lastWrite["credit"] = last.credit ? QJsonValue(*last.credit) : QJsonValue();
            lastWrite["started"] = text(last.started);
            lastWrite["station"] = text(last.station);
            lastWrite["id"] = text(last.id);
            object["lastWrite"] = lastWrite;
            if (!json)
                out << "last confirmed write: " << left << ", " << printable(last.started)
                    << ", station " << printable(last.station) << '\n';
        }
        object["doubtfulWrite"] = QJsonValue();
        if (verdict.explainedBy) {
            const till::Ledger::DoubtfulWrite& d = *verdict.explainedBy;
            QJsonObject doubtful;
            doubtful["id"] = text(d.id);
            doubtful["started"] = text(d.started);
            doubtful["station"] = text(d.station);
            doubtful["before"] = d.before ? QJsonValue(*d.before) : QJsonValue();
            doubtful["amount"] = d.amount;
            doubtful["cause"] = d.cause.empty() ? QJsonValue() : QJsonValue(text(d.cause));
            object["doubtfulWrite"] = doubtful;
            if (!json)
                out << "credit " << credit << " may have been left by write " << d.id << " ("
                    << printable(d.started) << ", station " << printable(d.station) << ", "
                    << (d.before ? std::to_string(*d.before) : "-") << " -> " << d.amount << ", "
                    << (d.cause.empty() ? "no outcome" : printable(d.cause))
                    << "), whose outcome is in doubt\n";
        }
    }
    const std::string failure = checkFailureLine(verdict, serial, credit);
    const int status = till::exitStatus(verdict.cause);
    return finish(object, failure, verdict.cause, status, json, out, err);
}

namespace {

QString number(const std::optional<int>& value) {
    return value ? QString::number(*value) : QStringLiteral("-");
}

// What came of one write in doubt, in the station's language.
QString settlingLine(const till::Ledger::Settling& s, const QString& badge) {
    using Standing = till::Ledger::Settling::Standing;
    const QString id = QString::fromStdString(s.row.id);
    const QString from = s.readBefore.empty()
                             ? QString()
                             : QCoreApplication::translate("Resolve", " (read before write %1)")
                                   .arg(QString::fromStdString(s.readBefore));
    switch (s.standing) {
        case Standing::Settled:
            if (s.landed())
                return QCoreApplication::translate(
                           "Resolve", "write %1 settled: badge %2 held %3, the amount written%4")
                    .arg(id, badge, number(s.credit), from);
            return QCoreApplication::translate("Resolve",
                                               "write %1 settled: badge %2 held %3, the credit "
                                               "before it%4: the amount did not go on the badge")
                .arg(id, badge, number(s.credit), from);
        case Standing::AnotherBadge:
            return QCoreApplication::translate("Resolve",
                                               "write %1 not settled: it may have gone to "
                                               "another badge than %2")
                .arg(id, badge);
        case Standing::LaterUnread:
            return QCoreApplication::translate("Resolve",
                                               "write %1 not settled: a later write to badge %2 "
                                               "did not read its credit first")
                .arg(id, badge);
        case Standing::CreditNeither:
            return QCoreApplication::translate(
                       "Resolve",
                       "write %1 not settled: badge %2 held %3%4, neither the credit before it "
                       "(%5) nor the amount written (%6)")
                .arg(id, badge, number(s.credit), from, number(s.row.start.before),
                     QString::number(s.row.start.amount));
        case Standing::Refused:
            return QCoreApplication::translate("Resolve", "write %1 not settled: %2")
                .arg(id, QString::fromStdString(printable(s.refusal)));
        case Standing::NotInDoubt:
            return QCoreApplication::translate("Resolve",
                                               "write %1 is no write in doubt of badge %2")
                .arg(id, badge);
    }
    return {};
}

// The standing as scripts name it.
const char* settlingName(till::Ledger::Settling::Standing standing) {
    using Standing = till::Ledger::Settling::Standing;
    switch (standing) {
        case Standing::Settled:
            return "settled";
        case Standing::AnotherBadge:
            return "another-badge";
        case Standing::LaterUnread:
            return "later-write-unread";
        case Standing::CreditNeither:
            return "credit-neither";
        case Standing::Refused:
            return "refused";
        case Standing::NotInDoubt:
            return "not-in-doubt";
    }
    return "";
}

}  // namespace

int runJournalResolve(till::Till& till, const JournalRequest& request, bool json, std::ostream& out,
                      std::ostream& err) {
    const till::ResolveVerdict verdict = till.resolve(request.row);
    const std::string serial = verdict.serial ? std::to_string(*verdict.serial) : std::string();
    const std::string credit = verdict.credit ? std::to_string(*verdict.credit) : std::string();
    QJsonObject object{
        {"command", "journal resolve"}, {"serial", text(serial)}, {"credit", text(credit)}};
    std::string failure;
    if (verdict.failed)
        failure = describe(*verdict.failed);
    else if (!verdict.journalProblem.empty())
        failure = verdict.journalProblem;
    else if (verdict.cause == Cause::BadgeChangedBeforeWrite)
        failure = "the badge changed between the reads: lay one badge on the Reader";
    else if (verdict.cause == Cause::Interrupted)
        failure = "stopped before the badge was read";
    int status = till::exitStatus(verdict.cause);
    if (verdict.cause == Cause::Ok) {
        if (!json) out << "serial: " << serial << "\ncredit: " << credit << '\n';
        QJsonArray writes;
        const QString badge = QString::fromStdString(serial);
        for (const till::Ledger::Settling& s : verdict.writes) {
            if (!json) out << settlingLine(s, badge).toStdString() << '\n';
            writes.append(QJsonObject{
                {"id", text(s.row.id)},
                {"standing", settlingName(s.standing)},
                {"credit", s.credit ? QJsonValue(*s.credit) : QJsonValue()},
                {"landed", s.standing == till::Ledger::Settling::Standing::Settled
                               ? QJsonValue(s.landed())
                               : QJsonValue()},
                {"readBefore",
                 s.readBefore.empty() ? QJsonValue() : QJsonValue(text(s.readBefore))},
                {"refusal", s.refusal.empty() ? QJsonValue() : QJsonValue(text(s.refusal))}});
        }
        object["writes"] = writes;
        if (verdict.writes.empty())
            failure = QCoreApplication::translate("Resolve",
                                                  "badge %1 has no write in doubt in the journal")
                          .arg(badge)
                          .toStdString();
        status = verdict.allSettled() ? kExitSuccess : kExitNothing;
    }
    finish(object, failure, verdict.cause, status, json, out, err);
    return out ? status : kExitOutputClosed;
}

}  // namespace palmota::cli

#include "cli/journal_command.h"

#include <QCoreApplication>
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

}  // namespace

std::string journalReport(const JournalRequest& request,
                          const std::vector<journal::WriteRow>& rows) {
    const std::vector<journal::WriteRow> kept =
        journal::localDaysOnly(rows, request.from, request.to);
    const auto totals = journal::dailyTotals(kept);
    switch (request.format) {
        case JournalRequest::Format::Text:
            return journal::reportText(totals, kept);
        case JournalRequest::Format::Csv:
            return journal::reportCsv(totals);
        case JournalRequest::Format::Json:
            break;
    }
    std::string text;
    for (const QJsonObject& object : journal::reportJson(totals, kept))
        text += QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + '\n';
    return text;
}

int runJournalReport(till::Ledger& ledger, const std::string& where, const JournalRequest& request,
                     std::ostream& out, std::ostream& err) {
    // The journal chooses rows by UTC days; the report's days are each station's own, so
    // the rows of the UTC days around them are read and those of the local days kept.
    std::string error;
    std::optional<std::vector<journal::WriteRow>> rows;
    const auto journal = journal::makeJournal(where, journal::Access::Read, error);
    if (journal && journal->connect(error))
        rows = journal->rows(journal::coveringFilter(request.from, request.to, request.station),
                             error);
    if (!rows) {
        err << "palmota-cli: " << ledger.unavailable(error, till::Ledger::Consequence::None)
            << std::endl;
        return kExitJournal;
    }
    if (!request.pdf.empty()) {
        JournalRequest text = request;
        text.format = JournalRequest::Format::Text;
        const QString title = QCoreApplication::translate("Cashup", "Journal report");
        if (!writeTextPdf(title, journalReport(text, *rows), QString::fromStdString(request.pdf),
                          error)) {
            err << "palmota-cli: " << error << std::endl;
            return kExitUsage;
        }
        return kExitSuccess;
    }
    out << journalReport(request, *rows) << std::flush;
    return out ? kExitSuccess : kExitOutputClosed;
}

int runJournalList(till::Ledger& ledger, const JournalRequest& request, std::ostream& out,
                   std::ostream& err) {
    std::string problem;
    const auto rows = ledger.rows(request, problem);
    if (!rows) {
        err << "palmota-cli: journal unavailable: " << problem << std::endl;
        return kExitJournal;
    }
    const std::vector<journal::ListedWrite> writes = journal::listedWrites(*rows);
    if (request.format == JournalRequest::Format::Json)
        out << jsonLines(writeListJson(writes));
    else
        out << writeListText(writes);
    out << std::flush;
    return out ? kExitSuccess : kExitOutputClosed;
}

namespace {

// Status 1, as a command that could not do what it was asked: nothing to close, no such
// closure.
constexpr int kExitNothing = 1;

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
    std::string said;
    if (check.broken) {
        const journal::ChainBreak& b = *check.broken;
        said = "station " + printable(b.station) + ", record " + std::to_string(b.seq) +
               (b.id.empty() ? "" : " (" + printable(b.id) + ")") + ": " + b.what;
        err << "palmota-cli: journal altered: " << said << std::endl;
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
                                           {"what", text(b.what)}};
        } else {
            object["broken"] = QJsonValue();
        }
        printJson(out, object);
    } else {
        out << check.stations << (check.stations == 1 ? " station, " : " stations, ")
            << check.records << " chained records, " << check.sealed
            << " rows sealed before the chain: "
            << (check.broken ? "altered at " + said : std::string("every chain holds")) << '\n';
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
    if (!failure.empty()) {
        err << "palmota-cli: " << failure << std::endl;
        object["error"] = text(failure);
    }
    if (json) {
        object["ok"] = status == kExitSuccess;
        object["cause"] = text(std::string(till::causeName(verdict.cause)));
        object["status"] = status;
        printJson(out, object);
    }
    out << std::flush;
    return status;
}

}  // namespace palmota::cli

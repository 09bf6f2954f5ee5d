#include "cli/journal_command.h"

#include "reader/byte_text.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <optional>
#include <vector>

#include "cli/cli_status.h"
#include "journal/daily_report.h"
#include "reader/protocol.h"

namespace palmota::cli {

namespace {

void printJson(std::ostream& out, const QJsonObject& object) {
    out << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << '\n';
}

int unavailable(journal::Journal& journal, const std::string& error, std::ostream& err) {
    err << "palmota-cli: journal unavailable: " << printable(journal.where()) << ": "
        << printable(error) << std::endl;
    return kExitJournal;
}

}  // namespace

int runJournalReport(journal::Journal& journal, const JournalRequest& request, std::ostream& out,
                     std::ostream& err) {
    std::string error;
    const auto rows = journal.rows({request.from, request.to, request.station}, error);
    if (!rows) return unavailable(journal, error, err);
    const auto totals = journal::dailyTotals(*rows);
    switch (request.format) {
        case JournalRequest::Format::Text:
            out << journal::reportText(totals, *rows);
            break;
        case JournalRequest::Format::Csv:
            out << journal::reportCsv(totals);
            break;
        case JournalRequest::Format::Json:
            for (const QJsonObject& object : journal::reportJson(totals, *rows))
                printJson(out, object);
            break;
    }
    out << std::flush;
    return out ? kExitSuccess : kExitOutputClosed;
}

int runJournalCheck(journal::Journal& journal, Palmota& reader, bool json, std::ostream& out,
                    std::ostream& err) {
    std::vector<Outcome> outcomes;
    reader.setObserver([&outcomes](const Outcome& outcome) { outcomes.push_back(outcome); });
    QJsonObject object;
    object["command"] = "journal check";
    const auto fail = [&](int status, const std::string& cause, const std::string& line) {
        err << "palmota-cli: " << line << std::endl;
        if (json) {
            object["ok"] = false;
            object["cause"] = QString::fromStdString(cause);
            object["status"] = status;
            object["error"] = QString::fromStdString(line);
            printJson(out, object);
        }
        return status;
    };

    const std::string serial = reader.ReadSerialNumber();
    std::string credit;
    if (outcomes.back().succeeded()) credit = reader.ReadCredit();
    if (!json) out << "serial: " << serial << "\ncredit: " << credit << '\n';
    object["serial"] = QString::fromStdString(serial);
    object["credit"] = QString::fromStdString(credit);
    if (!outcomes.back().succeeded())
        return fail(exitStatus(outcomes.back()),
                    std::string(causeName(outcomes.back().cause)), describe(outcomes.back()));
    const int held = *protocol::parseAmount(credit);

    std::string error;
    std::optional<journal::WriteRow> last;
    if (!journal.lastConfirmed(serial, last, error)) {
        const std::string line =
            "journal unavailable: " + printable(journal.where()) + ": " + error;
        return fail(kExitJournal, "journal-unavailable", line);
    }
    int status = kExitSuccess;
    std::string cause = "ok";
    if (!last) {
        if (!json) out << "badge " << serial << " is not in the journal\n";
        object["lastWrite"] = QJsonValue();
    } else {
        const int left = *journal::creditAfter(*last);
        QJsonObject lastWrite;
        lastWrite["credit"] = left;
        lastWrite["started"] = QString::fromStdString(last->started);
        lastWrite["station"] = QString::fromStdString(last->start.station);
        lastWrite["id"] = QString::fromStdString(last->id);
        object["lastWrite"] = lastWrite;
        if (!json)
            out << "last confirmed write: " << left << ", " << last->started << ", station "
                << last->start.station << '\n';
        if (held > left) {
            status = kExitReaderFailed;
            cause = "credit-above-journal";
            const std::string line =
                "badge " + serial + " holds " + std::to_string(held) + ", more than the " +
                std::to_string(left) + " its last confirmed write left (" + last->started +
                ", station " + last->start.station + "): credit loaded outside the journal";
            err << "palmota-cli: " << line << std::endl;
            object["error"] = QString::fromStdString(line);
        }
    }
    if (json) {
        object["ok"] = status == kExitSuccess;
        object["cause"] = QString::fromStdString(cause);
        object["status"] = status;
        printJson(out, object);
    }
    out << std::flush;
    return status;
}

}  // namespace palmota::cli

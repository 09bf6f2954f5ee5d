#include "till/ledger.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

#include "journal/daily_report.h"
#include "journal/journal.h"
#include "journal/journal_location.h"
#include "journal/journal_open.h"
#include "journal/journal_platform.h"
#include "reader/byte_text.h"

namespace palmota::till {

Ledger::Opening Ledger::open(const std::string& where, Use use) {
    Opening opening;
    std::string error;
    const auto access = use == Use::Record ? journal::Access::Record : journal::Access::Read;
    auto made = journal::makeJournal(where, access, error);
    if (!made) {
        opening.cause = Cause::Usage;
        opening.badName = journal::journalAvailable();
        opening.message =
            journal::journalAvailable()
                ? "--journal " + printable(journal::shownLocation(where)) + ": " + printable(error)
                : std::string(journal::kNotAvailable);
        return opening;
    }
    opening.ledger = std::make_unique<Ledger>(std::move(made));
    journal::Journal& journal = opening.ledger->journal_;
    // A report or a check never makes a journal: a mistyped path would read as an empty
    // day.
    if (use == Use::Read && !journal.exists(error)) {
        opening.cause = error.empty() ? Cause::NoJournal : Cause::JournalUnavailable;
        opening.message = error.empty() ? "no journal at " + printable(journal.where())
                                        : opening.ledger->unavailable(error, Consequence::None);
        opening.ledger.reset();
        return opening;
    }
    if (!journal.connect(error)) {
        opening.cause = Cause::JournalUnavailable;
        opening.error = error;
        opening.message = opening.ledger->unavailable(
            error, use == Use::Record ? Consequence::NothingWritten : Consequence::None);
        if (use == Use::Read) opening.ledger.reset();
    }
    return opening;
}

Ledger::Ledger(std::unique_ptr<journal::Journal> journal)
    : owned_(std::move(journal)), journal_(*owned_) {}

Ledger::Ledger(journal::Journal& journal) : journal_(journal) {}

Ledger::~Ledger() = default;

std::string Ledger::where() const {
    return journal_.where();
}

std::string Ledger::unavailable(const std::string& error, Consequence consequence) const {
    std::string line =
        "journal unavailable: " + printable(journal_.where()) + ": " + printable(error);
    switch (consequence) {
        case Consequence::None:
            break;
        case Consequence::NothingWritten:
            line += "; nothing written";
            break;
        case Consequence::WritesRefused:
            line += "; writes are refused until it answers";
            break;
    }
    return line;
}

std::optional<std::string> Ledger::begin(const journal::WriteStart& start, std::string& problem) {
    std::string error;
    auto id = journal_.begin(start, error);
    if (!id) problem = unavailable(error, Consequence::NothingWritten);
    return id;
}

bool Ledger::complete(const std::string& id, const journal::WriteEnd& end, std::string& problem) {
    std::string error;
    if (journal_.complete(id, end, error)) return true;
    const std::string outcome =
        end.cause + (end.after ? ", credit read back " + std::to_string(*end.after) : "");
    problem = "journal: the outcome of write " + id + " (" + printable(outcome) +
              ") could not be recorded in " + printable(journal_.where()) + ": " +
              printable(error) + "; the row stays without outcome";
    return false;
}

int Ledger::DoubtfulWrite::mostLeft() const {
    return std::max({before.value_or(0), amount, after.value_or(0)});
}

bool Ledger::history(std::int32_t serial, BadgeHistory& history, std::string& problem) {
    history = {};
    std::string error;
    const auto rows = journal_.rows({}, error);
    if (!rows) {
        problem = unavailable(error, Consequence::None);
        return false;
    }
    const std::string badge = std::to_string(serial);
    for (const journal::WriteRow& row : *rows) {
        // A write in doubt may have gone to the badge it was made for or to the one read
        // back after it; a confirmed one went to the latter when it was read.
        const bool madeFor = row.start.serial == badge;
        const bool wentTo = row.badge() == badge;
        if (!madeFor && !wentTo) continue;
        ++history.rows;
        if (row.end && row.end->confirmed && wentTo) {
            history.last =
                LastWrite{journal::creditAfter(row), row.started, row.start.station, row.id};
            history.doubtful.clear();
        } else if (journal::needsRead(row)) {
            history.doubtful.push_back(DoubtfulWrite{
                row.id, row.started, row.start.station, row.end ? row.end->cause : std::string(),
                row.start.before, row.start.amount, row.end ? row.end->after : std::nullopt});
        }
    }
    return true;
}

bool Ledger::report(const ReportRequest& request, std::string& output, std::string& problem) {
    std::string error;
    const auto rows = journal_.rows({request.from, request.to, request.station}, error);
    if (!rows) {
        problem = unavailable(error, Consequence::None);
        return false;
    }
    const auto totals = journal::dailyTotals(*rows);
    switch (request.format) {
        case ReportRequest::Format::Text:
            output = journal::reportText(totals, *rows);
            break;
        case ReportRequest::Format::Csv:
            output = journal::reportCsv(totals);
            break;
        case ReportRequest::Format::Json:
            output.clear();
            for (const QJsonObject& object : journal::reportJson(totals, *rows))
                output += QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + '\n';
            break;
    }
    return true;
}

void Ledger::setDriverMessages(std::function<void(const std::string&)> sink) {
    journal_.setDriverMessages(std::move(sink));
}

std::string_view journalPasswordFile() {
    return journal::passwordFileHelp();
}

}  // namespace palmota::till

#include "till/ledger.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <algorithm>

#include "journal/daily_report.h"
#include "journal/journal.h"
#include "journal/journal_location.h"
#include "journal/journal_open.h"
#include "process/platform.h"
#include "reader/byte_text.h"
#include "till/till.h"

namespace palmota::till {

Station Station::here(std::string program, std::function<std::string()> port) {
    return {QSysInfo::machineHostName().toStdString(), platform::accountName(), std::move(program),
            std::move(port)};
}

Ledger::Opening Ledger::open(const std::string& where, journal::Access access, Station station) {
    Opening opening;
    std::string error;
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
    opening.ledger = std::make_unique<Ledger>(std::move(made), std::move(station));
    journal::Journal& journal = opening.ledger->journal_;
    // A report or a check never makes a journal: a mistyped path would read as an empty
    // day.
    if (access == journal::Access::Read && !journal.exists(error)) {
        opening.cause = error.empty() ? Cause::NoJournal : Cause::JournalUnavailable;
        opening.message = error.empty() ? "no journal at " + printable(journal.where())
                                        : opening.ledger->unavailable(error, Consequence::None);
        opening.ledger.reset();
        return opening;
    }
    if (!journal.connect(error)) {
        opening.cause = Cause::JournalUnavailable;
        opening.error = error;
        opening.message = opening.ledger->unavailable(error, access == journal::Access::Record
                                                                 ? Consequence::NothingWritten
                                                                 : Consequence::None);
        if (access == journal::Access::Read) opening.ledger.reset();
    }
    return opening;
}

Ledger::Ledger(std::unique_ptr<journal::Journal> journal, Station station)
    : owned_(std::move(journal)), journal_(*owned_), station_(std::move(station)) {}

Ledger::Ledger(journal::Journal& journal, Station station)
    : journal_(journal), station_(std::move(station)) {}

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

std::optional<std::string> Ledger::begin(const WriteVerdict& verdict, std::string& problem) {
    journal::WriteStart start;
    start.station = station_.host;
    start.user = station_.account;
    start.program = station_.program;
    start.port = station_.port ? station_.port() : std::string();
    if (verdict.serial) {
        start.serial = std::to_string(*verdict.serial);
        start.serialSource = journal::SerialSource::ReadNow;
    }
    if (verdict.before) start.before = *verdict.before;
    start.amount = *verdict.amount;
    if (verdict.added) start.topup = *verdict.added;
    std::string error;
    auto id = journal_.begin(start, error);
    if (!id) problem = unavailable(error, Consequence::NothingWritten);
    return id;
}

bool Ledger::complete(const std::string& id, const WriteVerdict& verdict, std::string& problem) {
    journal::WriteEnd end;
    end.cause = std::string(causeName(verdict.judged));
    end.confirmed = verdict.confirmed;
    end.unchanged = verdict.unchanged;
    // The row names the badge the write went to only when it is known, and a credit read
    // back only as the credit of the badge it names.
    if (verdict.badgeWritten) end.serialAfter = std::to_string(*verdict.badgeWritten);
    if (verdict.after && (verdict.badgeWritten || verdict.serialAfter == verdict.serial))
        end.after = *verdict.after;
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

bool Ledger::rowsOf(const std::string& badge, std::vector<journal::WriteRow>& rows,
                    std::string& problem) {
    std::string error;
    auto all = journal_.rows({}, error);
    if (!all) {
        problem = unavailable(error, Consequence::None);
        return false;
    }
    // A write in doubt may have gone to the badge it was made for or to the one read back
    // after it; a confirmed one went to the latter when it was read.
    rows.clear();
    for (journal::WriteRow& row : *all)
        if (row.start.serial == badge || row.badge() == badge) rows.push_back(std::move(row));
    return true;
}

bool Ledger::history(std::int32_t serial, BadgeHistory& history, std::string& problem) {
    history = {};
    const std::string badge = std::to_string(serial);
    std::vector<journal::WriteRow> rows;
    if (!rowsOf(badge, rows, problem)) return false;
    for (const journal::WriteRow& row : rows) {
        const bool wentTo = row.badge() == badge;
        ++history.rows;
        // A settled write left what the badge was found to hold.
        if ((row.end && row.end->confirmed && wentTo) || row.resolution) {
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

bool Ledger::rows(const ReportRequest& request, std::vector<journal::WriteRow>& rows,
                  std::string& problem) {
    // The journal chooses rows by UTC days; the report's days are each station's own, so the
    // rows of the UTC days around them are read and those of the local days kept.
    std::string error;
    const auto found =
        journal_.rows(journal::coveringFilter(request.from, request.to, request.station), error);
    if (!found) {
        problem = unavailable(error, Consequence::None);
        return false;
    }
    rows = journal::localDaysOnly(*found, request.from, request.to);
    return true;
}

bool Ledger::report(const ReportRequest& request, std::string& output, std::string& problem) {
    std::vector<journal::WriteRow> kept;
    if (!rows(request, kept, problem)) return false;
    const auto totals = journal::dailyTotals(kept);
    switch (request.format) {
        case ReportRequest::Format::Text:
            output = journal::reportText(totals, kept);
            break;
        case ReportRequest::Format::Csv:
            output = journal::reportCsv(totals);
            break;
        case ReportRequest::Format::Json:
            output.clear();
            for (const QJsonObject& object : journal::reportJson(totals, kept))
                output += QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + '\n';
            break;
    }
    return true;
}

bool Ledger::settle(std::int32_t serial, int credit, const std::optional<std::string>& only,
                    std::vector<Settling>& settled, std::string& problem) {
    settled.clear();
    const std::string badge = std::to_string(serial);
    std::vector<journal::WriteRow> rows;  // the badge's, in the journal's order
    if (!rowsOf(badge, rows, problem)) return false;
    std::string error;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const journal::WriteRow& row = rows[i];
        if (!journal::needsRead(row) || (only && row.id != *only)) continue;
        Settling s;
        s.row = row;
        using Standing = Settling::Standing;
        // A write that may have gone to another badge leaves this one's credit saying
        // nothing of it: the amount may be on the other.
        const bool elsewhere =
            row.start.serial != badge ||
            (row.end && row.end->serialAfter != row.start.serial && row.end->serialAfter) ||
            (row.end && row.end->cause == causeName(Cause::BadgeChanged));
        if (elsewhere) {
            s.standing = Standing::AnotherBadge;
        } else if (i + 1 < rows.size()) {
            // The next write to the badge read its credit between two equal serials before
            // it went out: what this one left, as a reading now would have found it then.
            const journal::WriteRow& next = rows[i + 1];
            if (next.start.serial == badge && next.start.before &&
                next.start.serialSource == journal::SerialSource::ReadNow) {
                s.credit = *next.start.before;
                s.readBefore = next.id;
            } else {
                s.standing = Standing::LaterUnread;
            }
        } else {
            s.credit = credit;
        }
        // Only the amount or the credit before it tell the write: anything else was spent or
        // loaded since, by a way the journal does not see.
        if (s.credit && !s.landed() && s.credit != row.start.before)
            s.standing = Standing::CreditNeither;
        if (s.standing == Standing::Settled) {
            const journal::Settlement settlement{station_.account, station_.host, badge, *s.credit,
                                                 s.readBefore};
            if (!journal_.resolve(row.id, settlement, s.refusal, error)) {
                if (s.refusal.empty()) {
                    problem = unavailable(error, Consequence::None);
                    return false;
                }
                s.standing = Standing::Refused;
            }
        }
        settled.push_back(std::move(s));
    }
    if (only && settled.empty()) {
        Settling s;
        s.row.id = *only;
        s.standing = Settling::Standing::NotInDoubt;
        settled.push_back(std::move(s));
    }
    return true;
}

bool Ledger::verifyChains(journal::ChainCheck& check, std::string& error) {
    return journal_.verify(check, error);
}

bool Ledger::close(journal::Closure& closure, std::optional<int>& nothingSince,
                   std::string& error) {
    return journal_.close(station_.host, station_.account, closure, nothingSince, error);
}

bool Ledger::closure(const std::string& station, int number, std::optional<journal::Closure>& found,
                     std::string& error) {
    return journal_.closure(station.empty() ? station_.host : station, number, found, error);
}

void Ledger::setDriverMessages(std::function<void(const std::string&)> sink) {
    journal_.setDriverMessages(std::move(sink));
}

}  // namespace palmota::till

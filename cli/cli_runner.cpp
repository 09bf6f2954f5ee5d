#include "cli/cli_runner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <optional>

#include "cli/cli_status.h"
#include "cli/topup.h"
#include "reader/protocol.h"

namespace palmota::cli {

namespace {

const std::string kError = protocol::kResultError;
constexpr std::string_view kCommentStart = "#";
constexpr std::string_view kLineSpaces = " \t\r";
// Far longer than any command ("write --verify 00000000000000001500" and the like). A longer
// line is refused without being kept, so that endless input without a line end cannot
// fill the memory.
constexpr std::size_t kLongestLine = 4096;

// The next line of `in`, without its end; false at the end of input. `tooLong` tells a
// line cut at kLongestLine, whose rest was read and dropped.
bool nextLine(std::istream& in, std::string& text, bool& tooLong) {
    text.clear();
    tooLong = false;
    std::streambuf* buffer = in.rdbuf();
    for (;;) {
        const auto c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return !text.empty() || tooLong;
        }
        if (c == '\n') return true;
        if (text.size() < kLongestLine)
            text += static_cast<char>(c);
        else
            tooLong = true;
    }
}

QString jsonText(const std::string& text) {
    return QString::fromStdString(text);
}

// "label: TEXT", or "label:" alone for the empty text, so that a line never ends in a space.
std::string labelled(const std::string& label, const std::string& text) {
    return text.empty() ? label + ':' : label + ": " + text;
}

// ReadBlock gives its raw reply, or the word ERREUR when the Reader did not answer the
// ready check. A Reader may well answer a block read with the six bytes 45 52 52 45 55 52,
// which spell the word: the outcome tells them apart, since only a failure before the
// block reply leaves no reply behind it.
std::string blockText(const std::string& result, const Outcome& outcome) {
    const bool failedBeforeReply =
        outcome.reply.empty() &&
        (outcome.cause == Cause::PortUnavailable || outcome.cause == Cause::NoAnswer ||
         outcome.cause == Cause::LineLost || outcome.cause == Cause::Refused);
    return result == kError && failedBeforeReply ? result : protocol::hexPairs(result);
}

// Milliseconds to the microsecond: finer would only be noise.
double roundedMs(Seconds elapsed) {
    return std::round(elapsed.count() * 1e6) / 1e3;
}

}  // namespace

struct CliRunner::Report {
    std::string command;
    QJsonObject results;  // the texts the Reader link returned, by name
    int status = kExitSuccess;
    Cause cause = Cause::Success;
    std::string causeName;       // set only where no outcome names it
    std::string failure;         // the line for the error stream; empty when the command succeeded
    std::string journalFailure;  // the write's outcome could not be recorded in the journal
};

CliRunner::CliRunner(Palmota& reader, Clock& clock, std::ostream& out, std::ostream& err, bool json)
    : reader_(reader), clock_(clock), out_(out), err_(err), json_(json) {
    reader_.setObserver([this](const Outcome& outcome) { outcomes_.push_back(outcome); });
}

bool CliRunner::stopping() {
    if (stopped_ == Stop::None && stop_ && stop_()) stopped_ = Stop::Requested;
    return stopped_ != Stop::None;
}

void CliRunner::line(const std::string& text) {
    if (json_) return;
    // Each line leaves at once: a script reading the answers waits for every one of them.
    out_ << text << '\n' << std::flush;
    if (!out_) stopped_ = Stop::OutputClosed;
}

void CliRunner::judge(Report& report) const {
    for (const Outcome& outcome : outcomes_) {
        if (outcome.succeeded()) continue;
        report.status = exitStatus(outcome.cause);
        report.cause = outcome.cause;
        report.failure = describe(outcome);
        return;
    }
}

void CliRunner::finish(Report& report, double startSeconds) {
    if (json_) {
        QJsonObject object = report.results;
        object["command"] = jsonText(printable(report.command));
        object["ok"] = report.status == kExitSuccess;
        object["cause"] = jsonText(report.causeName.empty() ? std::string(causeName(report.cause))
                                                            : report.causeName);
        object["status"] = report.status;
        object["ms"] = roundedMs(clock_.now() - Seconds{startSeconds});
        if (!report.failure.empty()) object["error"] = jsonText(report.failure);
        out_ << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << '\n'
             << std::flush;
        if (!out_) stopped_ = Stop::OutputClosed;
    }
    if (!report.failure.empty()) err_ << "palmota-cli: " << report.failure << std::endl;
    if (!report.journalFailure.empty())
        err_ << "palmota-cli: " << report.journalFailure << std::endl;
}

int CliRunner::run(const CliRequest& request) {
    outcomes_.clear();
    Report report;
    report.command = request.text();
    const double start = clock_.now().count();
    switch (request.command) {
        case CliCommand::Serial: {
            const std::string serial = reader_.ReadSerialNumber();
            line(serial);
            report.results["result"] = jsonText(serial);
            judge(report);
            if (journal_) journal_->noteSerial(serial);
            break;
        }
        case CliCommand::Credit: {
            const std::string credit = reader_.ReadCredit();
            line(credit);
            report.results["result"] = jsonText(credit);
            judge(report);
            if (journal_) journal_->noteCredit(credit);
            break;
        }
        case CliCommand::Read:
            runRead(report);
            break;
        case CliCommand::Write:
            if (journal_)
                runJournaledWrite(request, report);
            else
                runWrite(request, report);
            break;
        case CliCommand::Topup:
            runTopup(request, report);
            break;
        case CliCommand::Block:
            runBlock(request, report);
            break;
        case CliCommand::Dump:
            runDump(report);
            break;
    }
    finish(report, start);
    return report.status;
}

void CliRunner::runRead(Report& report) {
    // "Lire Badge": the serial number always first, then the credit, whatever the first
    // result was.
    const std::string serial = reader_.ReadSerialNumber();
    line(labelled("serial", serial));
    report.results["serial"] = jsonText(serial);
    if (journal_) journal_->noteSerial(serial);
    if (!stopping()) {
        const std::string credit = reader_.ReadCredit();
        line(labelled("credit", credit));
        report.results["credit"] = jsonText(credit);
        if (journal_) journal_->noteCredit(credit);
    }
    judge(report);
}

void CliRunner::runWrite(const CliRequest& request, Report& report) {
    const std::string result = reader_.WriteCredit(request.amount);
    line(result);
    report.results["result"] = jsonText(result);
    judge(report);
    if (!request.verify) return;

    const Outcome written = lastOutcome();
    // Only a write whose amount reached the Reader is worth reading back; one that failed
    // before (no port, no answer to the ready check) would fail the same way again.
    const bool amountSent =
        written.cause == Cause::Success || written.cause == Cause::WriteRefused ||
        written.cause == Cause::UnexpectedReply || written.cause == Cause::NotConfirmed;
    const bool verdictUnknown =
        written.cause == Cause::NotConfirmed || written.cause == Cause::UnexpectedReply;
    std::string credit;
    if (amountSent && !stopping()) credit = reader_.ReadCredit();
    line(labelled("credit", credit));
    report.results["credit"] = jsonText(credit);

    const std::uint16_t wanted = *protocol::parseAmount(request.amount);
    const auto readBack = protocol::parseAmount(credit);
    const bool matches = readBack && *readBack == wanted;
    report.results["verified"] = matches;
    if (!amountSent || written.cause == Cause::WriteRefused) return;  // the write's own failure

    const Outcome reading = lastOutcome();
    if (matches) {
        report.status = kExitSuccess;
        report.cause = Cause::Success;
        report.failure.clear();
        if (verdictUnknown) {
            line("confirmed by reading back");
            report.results["confirmedByReadingBack"] = true;
        }
    } else if (!readBack) {
        // Nothing read back: a confirmed write fails as the reading did; an unconfirmed
        // one stays unknown.
        if (!verdictUnknown) {
            report.status = exitStatus(reading.cause);
            report.cause = reading.cause;
            report.failure = describe(reading);
        }
    } else {
        report.status = kExitReaderFailed;
        report.causeName = "read-back-differs";
        report.failure = printable(written.device) + ": the credit read back is " + credit +
                         ", not the " + std::to_string(wanted) + " written";
    }
}

// A write with its journal row: committed before the write's first byte, completed after.
void CliRunner::runJournaledWrite(const CliRequest& request, Report& report) {
    const int amount = *protocol::parseAmount(request.amount);
    const auto row = journal_->beginWrite(amount, report.failure);
    if (!row) {
        report.status = kExitJournal;
        report.causeName = "journal-unavailable";
        return;
    }
    runWrite(request, report);
    journal::WriteEnd end;
    end.cause = report.causeName.empty() ? std::string(causeName(report.cause)) : report.causeName;
    for (const Outcome& outcome : outcomes_)
        if (outcome.operation == Operation::WriteCredit) end.confirmed = outcome.succeeded();
    end.confirmed = end.confirmed || report.status == kExitSuccess;
    end.unchanged = !end.confirmed && report.status != kExitNotConfirmed;
    if (request.verify) {
        const auto readBack =
            protocol::parseAmount(report.results["credit"].toString().toStdString());
        if (readBack) end.after = *readBack;
    }
    if (!journal_->complete(*row, end, amount, report.journalFailure)) report.status = kExitJournal;
}

void CliRunner::runTopup(const CliRequest& request, Report& report) {
    Topup topup(reader_, outcomes_, journal_, [this] { return stopping(); });
    const TopupResult result = topup.run(request.amount);
    for (const std::string& text : result.lines) line(text);
    for (auto it = result.results.begin(); it != result.results.end(); ++it)
        report.results[it.key()] = it.value();
    report.status = result.status;
    report.cause = result.cause;
    report.causeName = result.causeName;
    report.failure = result.failure;
    report.journalFailure = result.journalFailure;
}

void CliRunner::runBlock(const CliRequest& request, Report& report) {
    const std::string result = reader_.ReadBlock(request.block);
    const std::string text = blockText(result, lastOutcome());
    line(text);
    report.results["bytes"] = jsonText(text);
    judge(report);
}

void CliRunner::runDump(Report& report) {
    QJsonArray blocks;
    for (std::int32_t block = 0; block < protocol::kDumpBlockCount && !stopping(); ++block) {
        const std::string result = reader_.ReadBlock(block);
        const std::string text = blockText(result, lastOutcome());
        line(labelled(std::to_string(block), text));
        blocks.append(jsonText(text));
    }
    report.results["blocks"] = blocks;
    judge(report);
}

int CliRunner::ended(int firstFailure) {
    // Asked once more: a signal that interrupted the wait for input looks like its end.
    stopping();
    switch (stopped_) {
        case Stop::Requested:
            return kExitInterrupted;
        case Stop::OutputClosed:
            return kExitOutputClosed;
        case Stop::None:
            break;
    }
    return firstFailure;
}

int CliRunner::runAll(const std::vector<CliRequest>& requests, bool keepGoing) {
    int firstFailure = kExitSuccess;
    for (const CliRequest& request : requests) {
        if (stopping()) break;
        const int status = run(request);
        if (status == kExitSuccess) continue;
        if (firstFailure == kExitSuccess) firstFailure = status;
        if (!keepGoing) break;
    }
    return ended(firstFailure);
}

int CliRunner::runLines(std::istream& in, bool keepGoing) {
    int firstFailure = kExitSuccess;
    int number = 0;
    std::string text;
    bool tooLong = false;
    while (!stopping() && nextLine(in, text, tooLong)) {
        ++number;
        const auto start = text.find_first_not_of(kLineSpaces);
        if (!tooLong && (start == std::string::npos || text.compare(start, 1, kCommentStart) == 0))
            continue;
        std::string error;
        std::optional<CliRequest> request;
        if (tooLong)
            error = "a line of more than " + std::to_string(kLongestLine) + " characters";
        else
            request = parseCommandLine(text, error);
        int status = kExitUsage;
        if (request) {
            status = run(*request);
        } else {
            // Refused whole, as on the command line: nothing of this line is sent.
            Report report;
            report.command =
                tooLong ? "(too long)"
                        : text.substr(start, text.find_last_not_of(kLineSpaces) + 1 - start);
            report.status = kExitUsage;
            report.causeName = "usage";
            report.failure = "line " + std::to_string(number) + ": " + error + "; nothing sent";
            finish(report, clock_.now().count());
        }
        if (status == kExitSuccess) continue;
        if (firstFailure == kExitSuccess) firstFailure = status;
        if (!keepGoing) break;
    }
    return ended(firstFailure);
}

}  // namespace palmota::cli

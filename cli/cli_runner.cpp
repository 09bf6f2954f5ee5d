#include "cli/cli_runner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <optional>

#include "cli/cli_status.h"
#include "reader/byte_text.h"
#include "cli/topup.h"
#include "reader/protocol.h"

namespace palmota::cli {

namespace {

const std::string kError = protocol::kResultError;
constexpr char kCommentStart = '#';
constexpr std::string_view kLineSpaces = " \t\r";
// Far longer than any command ("write --verify 00000000000000001500" and the like). A longer
// line is refused without being kept, so that endless input without a line end cannot
// fill the memory.
constexpr std::size_t kLongestLine = 4096;

// One line of standard input, as far as it was kept.
struct InputLine {
    enum class Kind { Command, Skipped, TooLong, Unterminated };
    Kind kind = Kind::Command;
    std::string text;  // without its end and its leading spaces
};

bool isLineSpace(int c) {
    return c != std::char_traits<char>::eof() &&
           kLineSpaces.find(static_cast<char>(c)) != std::string_view::npos;
}

// The next line of `in`; false at the end of input. Leading spaces are not kept, and a
// comment is read through without being kept, so that a blank or comment line of any
// length is skipped. A command longer than kLongestLine is read through and refused. A
// last line cut off before its line end (the writer killed mid-line, say) may be a
// command cut short, "write 17" of "write 1750": it is Unterminated, never run.
bool nextLine(std::istream& in, InputLine& line) {
    line = {};
    std::streambuf* buffer = in.rdbuf();
    bool started = false;  // a character other than a space came
    bool comment = false;
    for (;;) {
        const auto c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            if (!started) return false;
            if (comment)
                line.kind = InputLine::Kind::Skipped;
            else if (line.kind == InputLine::Kind::Command)
                line.kind = InputLine::Kind::Unterminated;
            return true;
        }
        if (c == '\n') {
            if (!started || comment) line.kind = InputLine::Kind::Skipped;
            return true;
        }
        if (!started && isLineSpace(c)) continue;
        if (!started) {
            started = true;
            comment = static_cast<char>(c) == kCommentStart;
        }
        if (comment) continue;
        if (line.text.size() < kLongestLine)
            line.text += static_cast<char>(c);
        else
            line.kind = InputLine::Kind::TooLong;
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
// which spell the word: the outcome carries the block reply beside the text, whenever
// one was asked for.
std::string blockText(const std::string& result, const Outcome& outcome) {
    return outcome.block || result != kError ? hexPairs(result) : result;
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

void CliRunner::setStopRequest(std::function<bool()> stopRequested) {
    stop_ = std::move(stopRequested);
    reader_.setInterruption(stop_);
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
        report.status = exitStatus(outcome);
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
    if (!outputClosed()) {
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
    const bool verdictUnknown = family(written) == Family::MayHaveChanged;
    std::string credit;
    if (written.amountSent && !outputClosed()) credit = reader_.ReadCredit();
    line(labelled("credit", credit));
    report.results["credit"] = jsonText(credit);

    const std::uint16_t wanted = *protocol::parseAmount(request.amount);
    const auto readBack = protocol::parseAmount(credit);
    const bool matches = readBack && *readBack == wanted;
    report.results["verified"] = matches;
    if (!written.amountSent || written.cause == Cause::WriteRefused) return;  // its own failure

    const Outcome reading = lastOutcome();
    if (matches) {
        report.status = kExitSuccess;
        report.cause = Cause::Success;
        report.failure.clear();
        if (verdictUnknown) {
            line("confirmed by reading back");
            report.results["confirmedByReadingBack"] = true;
        }
        return;
    }
    // The amount went out and the badge was not seen to hold it: whatever the final byte
    // said, the credit may have changed, and a script must read it before trying again.
    report.status = kExitNotConfirmed;
    if (!readBack) {
        // Nothing read back: an unconfirmed write keeps its own reason.
        if (!verdictUnknown) {
            report.cause = reading.cause;
            report.failure = describe(reading) + "; reading back the " + std::to_string(wanted) +
                             " written: it may be stored, read it back before trying again";
        }
    } else {
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
    for (std::int32_t block = 0; block < protocol::kDumpBlockCount && !outputClosed(); ++block) {
        const std::string result = reader_.ReadBlock(block);
        // Asked to end: the blocks not read are not shown as failed reads.
        if (lastOutcome().cause == Cause::Interrupted) break;
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
    InputLine input;
    while (!stopping() && nextLine(in, input)) {
        ++number;
        if (input.kind == InputLine::Kind::Skipped) continue;
        std::string error;
        std::optional<CliRequest> request;
        switch (input.kind) {
            case InputLine::Kind::TooLong:
                error = "a line of more than " + std::to_string(kLongestLine) + " characters";
                break;
            case InputLine::Kind::Unterminated:
                error =
                    "the input ended before this line's end; a line runs only once its line end "
                    "came";
                break;
            default:
                request = parseInputLine(input.text, error);
                break;
        }
        int status = kExitUsage;
        if (request) {
            status = run(*request);
        } else {
            // Refused whole, as on the command line: nothing of this line is sent.
            Report report;
            const auto end = input.text.find_last_not_of(kLineSpaces);
            report.command = input.kind == InputLine::Kind::TooLong
                                 ? "(too long)"
                                 : input.text.substr(0, end == std::string::npos ? 0 : end + 1);
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

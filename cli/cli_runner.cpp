#include "cli/cli_runner.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <optional>

#include "cli/cli_status.h"
#include "cli/write_report.h"
#include "reader/byte_text.h"
#include "reader/palmota.h"
#include "reader/protocol.h"

namespace palmota::cli {

namespace {

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

// A block read gives its raw reply, or the word ERREUR when the Reader did not answer the
// ready check. A Reader may well answer a block read with the six bytes 45 52 52 45 55 52,
// which spell the word: the outcome says whether a block reply came.
std::string blockText(const Outcome& outcome) {
    const std::string result = resultText(outcome);
    return outcome.block || result != protocol::kResultError ? hexPairs(result) : result;
}

// Milliseconds to the microsecond: finer would only be noise.
double roundedMs(Seconds elapsed) {
    return std::round(elapsed.count() * 1e6) / 1e3;
}

}  // namespace

CliRunner::CliRunner(till::Till& till, ReaderLink& link, Clock& clock, std::ostream& out,
                     std::ostream& err, bool json)
    : till_(till), link_(link), clock_(clock), out_(out), err_(err), json_(json) {}

void CliRunner::setStopRequest(std::function<bool()> stopRequested) {
    stop_ = std::move(stopRequested);
    till_.setInterruption(stop_);
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

void CliRunner::judge(Report& report, const std::vector<Outcome>& outcomes) {
    for (const Outcome& outcome : outcomes) {
        if (outcome.succeeded()) continue;
        report.cause = outcome.cause;
        report.status = till::exitStatus(report.cause);
        report.errors = {describe(outcome)};
        return;
    }
}

void CliRunner::finish(Report& report, double startSeconds) {
    if (json_) {
        QJsonObject object = report.results;
        object["command"] = jsonText(printable(report.command));
        object["ok"] = report.status == kExitSuccess;
        object["cause"] = jsonText(std::string(till::causeName(report.cause)));
        object["status"] = report.status;
        object["ms"] = roundedMs(clock_.now() - Seconds{startSeconds});
        if (!report.errors.empty()) object["error"] = jsonText(report.errors.front());
        out_ << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << '\n'
             << std::flush;
        if (!out_) stopped_ = Stop::OutputClosed;
    }
    for (const std::string& error : report.errors) err_ << "palmota-cli: " << error << std::endl;
}

int CliRunner::run(const CliRequest& request) {
    Report report;
    report.command = request.text();
    const double start = clock_.now().count();
    switch (request.command) {
        case CliCommand::Serial:
        case CliCommand::Credit: {
            const Outcome outcome = request.command == CliCommand::Serial ? link_.readSerialNumber()
                                                                          : link_.readCredit();
            const std::string result = resultText(outcome);
            line(result);
            report.results["result"] = jsonText(result);
            judge(report, {outcome});
            break;
        }
        case CliCommand::Read:
            runRead(report);
            break;
        case CliCommand::Write:
        case CliCommand::Topup:
            runWrite(request, report);
            break;
        case CliCommand::Block:
            runBlock(request, report);
            break;
        case CliCommand::Dump:
            runDump(report);
            break;
    }
    finish(report, start);
    amountWentOut_ = amountWentOut_ || report.amountSent;
    return report.status;
}

void CliRunner::tell(Report& report, const till::ReadVerdict& verdict) {
    if (!verdict.failed) return;
    report.cause = verdict.cause;
    report.status = till::exitStatus(verdict.cause);
    report.errors = {describe(*verdict.failed)};
}

void CliRunner::runRead(Report& report) {
    // Each read's line leaves as it ends; a closed output reads nothing more.
    const till::ReadVerdict verdict = till_.read([this, &report](const Outcome& read) {
        const char* label = read.operation == Operation::ReadSerialNumber ? "serial" : "credit";
        const std::string text = resultText(read);
        line(labelled(label, text));
        report.results[label] = jsonText(text);
        return !outputClosed();
    });
    tell(report, verdict);
}

void CliRunner::runWrite(const CliRequest& request, Report& report) {
    const bool topup = request.command == CliCommand::Topup;
    const till::WriteVerdict verdict =
        topup ? till_.topup(*request.amount) : till_.write(*request.amount, request.verify);
    const WriteKind kind = topup            ? WriteKind::Topup
                           : request.verify ? WriteKind::VerifiedWrite
                                            : WriteKind::Write;
    WriteReport told = writeReport(kind, request.amount->digits(), verdict);
    for (const std::string& text : told.lines) line(text);
    report.results = told.results;
    report.cause = verdict.cause;
    report.status = till::exitStatus(verdict.family());
    report.errors = std::move(told.errors);
    report.amountSent = verdict.amountSent;
}

void CliRunner::runBlock(const CliRequest& request, Report& report) {
    const Outcome outcome = link_.readBlock(request.block);
    const std::string text = blockText(outcome);
    line(text);
    report.results["bytes"] = jsonText(text);
    judge(report, {outcome});
}

void CliRunner::runDump(Report& report) {
    QJsonArray blocks;
    // Each block's line leaves as its read ends. Asked to end, or the output closed, the
    // dump stops between blocks, and the blocks not read are not shown as failed reads.
    const till::ReadVerdict verdict = till_.dump([this, &blocks](const Outcome& read) {
        if (read.cause == Cause::Interrupted) return false;
        const std::string text = blockText(read);
        line(labelled(std::to_string(blocks.size()), text));
        blocks.append(jsonText(text));
        return !outputClosed();
    });
    report.results["blocks"] = blocks;
    tell(report, verdict);
}

int CliRunner::ended(int firstFailure) {
    // Asked once more: a signal that interrupted the wait for input looks like its end.
    stopping();
    if (stopped_ == Stop::None) return firstFailure;
    const bool signalled = stopped_ == Stop::Requested;
    // 130 and 141 tell a script that nothing changed during the run. Once an amount went
    // out, even in a write the Reader confirmed and that was told, a script retrying on
    // them would load the badge twice: the run says that the credit may have changed.
    if (amountWentOut_) {
        // A command that failed with 5 has said why already.
        if (firstFailure != kExitNotConfirmed)
            err_ << "palmota-cli: "
                 << (signalled ? "stopped by a signal" : "standard output closed")
                 << " after an amount went out during this run: read the credit before "
                    "trying again"
                 << std::endl;
        return kExitNotConfirmed;
    }
    return signalled ? kExitInterrupted : kExitOutputClosed;
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
            report.cause = Cause::Usage;
            report.errors = {"line " + std::to_string(number) + ": " + error + "; nothing sent"};
            finish(report, clock_.now().count());
        }
        if (status == kExitSuccess) continue;
        if (firstFailure == kExitSuccess) firstFailure = status;
        if (!keepGoing) break;
    }
    return ended(firstFailure);
}

}  // namespace palmota::cli

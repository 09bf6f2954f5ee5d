#include "cli/cli_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDate>
#include <QStringList>
#include <algorithm>
#include <string_view>

#include "cli/cli_status.h"
#include "journal/daily_report.h"
#include "reader/bounded_decimal.h"
#include "reader/byte_text.h"
#include "reader/port_name.h"
#include "reader/protocol.h"
#include "till/causes.h"
#include "till/ledger.h"

namespace palmota::cli {

namespace {

constexpr std::string_view kVerify = "--verify";
constexpr std::string_view kWordSeparators = " \t\r";

struct CommandName {
    std::string_view name;
    CliCommand command;
};

constexpr CommandName kCommands[] = {
    {"serial", CliCommand::Serial}, {"credit", CliCommand::Credit}, {"read", CliCommand::Read},
    {"write", CliCommand::Write},   {"block", CliCommand::Block},   {"dump", CliCommand::Dump},
    {"topup", CliCommand::Topup},
};

// Options whose value is the next word, whatever it looks like.
constexpr std::string_view kValueOptions[] = {"--journal", "--from", "--to", "--station", "--pdf"};

bool takesValue(const std::string& arg) {
    for (const std::string_view option : kValueOptions)
        if (arg == option) return true;
    return false;
}

CliParse usageError(std::string message) {
    CliParse parse;
    parse.outcome = CliParse::Outcome::UsageError;
    parse.error = std::move(message);
    return parse;
}

// An option is a dash followed by anything but a digit: "-1" and "-" are arguments.
bool looksLikeOption(const std::string& arg) {
    if (arg.size() < 2 || arg[0] != '-') return false;
    if (arg[1] >= '0' && arg[1] <= '9') return false;
    return arg != kVerify;
}

// The options and the other words of a command line, split apart before QCommandLineParser
// sees the options, so that it never reads an argument as an option. The port's value is
// taken here as the bytes given: a path need not be valid UTF-8.
struct SplitArguments {
    QStringList options;
    std::vector<std::string> words;
    std::vector<std::string> ports;
};

SplitArguments splitArguments(const std::vector<std::string>& arguments) {
    SplitArguments split;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (optionsEnded || !looksLikeOption(arg)) {
            split.words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        split.options.append(QString::fromLocal8Bit(arg));
        const bool hasNext = i + 1 < arguments.size();
        if (takesValue(arg)) {
            if (hasNext) split.options.append(QString::fromLocal8Bit(arguments[++i]));
        } else if (arg == "--port") {
            if (hasNext) {
                split.ports.push_back(arguments[++i]);
                split.options.append(QStringLiteral("X"));
            }
        } else if (arg.rfind("--port=", 0) == 0) {
            split.ports.push_back(arg.substr(7));
        } else if (arg[1] != '-') {
            // Short options may be packed together ("-tp PORT", "-pPORT"): p takes the
            // rest of the word as its value, or the next word when nothing follows it.
            const auto p = arg.find('p', 1);
            if (p == std::string::npos) continue;
            if (p + 1 < arg.size()) {
                split.ports.push_back(arg.substr(p + 1));
            } else if (hasNext) {
                split.ports.push_back(arguments[++i]);
                split.options.append(QStringLiteral("X"));
            }
        }
    }
    return split;
}

std::string wordsAfter(const std::vector<std::string>& words, std::size_t from) {
    std::string text;
    for (std::size_t i = from; i < words.size(); ++i) text += (text.empty() ? "" : " ") + words[i];
    return text;
}

// Reads badge commands from `words` starting at `i`, moving `i` past what they took.
std::optional<CliRequest> takeCommand(const std::vector<std::string>& words, std::size_t& i,
                                      std::string& error) {
    const std::string& word = words[i++];
    const CommandName* found = nullptr;
    for (const CommandName& c : kCommands)
        if (c.name == word) found = &c;
    if (!found) {
        error = "unknown command \"" + printable(word) + "\"";
        return std::nullopt;
    }
    CliRequest request;
    request.command = found->command;
    if (request.command == CliCommand::Write) {
        if (i < words.size() && words[i] == kVerify) {
            request.verify = true;
            ++i;
        }
        if (i >= words.size()) {
            error = "write needs an AMOUNT";
            return std::nullopt;
        }
        // Refused here, before any port is opened: nothing of it can reach the badge.
        const std::string& amount = words[i++];
        if (!protocol::parseAmount(amount)) {
            error = "amount \"" + printable(amount) + "\": digits only, with a value from 0 to " +
                    std::to_string(protocol::kMaxCredit);
            return std::nullopt;
        }
        request.amount = amount;
    } else if (request.command == CliCommand::Topup) {
        if (i >= words.size()) {
            error = "topup needs an AMOUNT";
            return std::nullopt;
        }
        // Decimal digits only, read as decimal whatever leads them ("010" is ten): a sign,
        // a space or a letter is refused before anything is read or sent. Whether the sum
        // fits a credit is known only once the badge is read.
        const std::string& amount = words[i++];
        if (amount.empty() || amount.find_first_not_of("0123456789") != std::string::npos) {
            error = "topup amount \"" + printable(amount) + "\": decimal digits only";
            return std::nullopt;
        }
        request.amount = amount;
    } else if (request.command == CliCommand::Block) {
        if (i >= words.size()) {
            error = "block needs N";
            return std::nullopt;
        }
        const std::string& number = words[i++];
        const auto block = boundedDecimal(number, protocol::kHighestBlock);
        if (!block) {
            error = "block \"" + printable(number) + "\": a number from 0 to " +
                    std::to_string(protocol::kHighestBlock);
            return std::nullopt;
        }
        request.block = static_cast<std::int32_t>(*block);
    }
    return request;
}

// "journal report" or "journal check", which need a journal to read.
bool parseJournalRequest(const std::vector<std::string>& words, CliOptions& options,
                         std::string& error) {
    options.mode = CliMode::Journal;
    if (words.size() < 2 || (words[1] != "report" && words[1] != "check")) {
        error = "journal report or journal check";
        return false;
    }
    if (words.size() > 2) {
        error = "\"journal " + words[1] + "\" stands alone; unexpected " +
                printable(wordsAfter(words, 2));
        return false;
    }
    if (options.journal.empty()) {
        error = "journal " + words[1] + " needs --journal WHERE";
        return false;
    }
    options.journalRequest.action =
        words[1] == "check" ? JournalRequest::Action::Check : JournalRequest::Action::Report;
    return true;
}

// A port text that names no port is the command line's fault, not the Reader's.
bool portNamed(const std::string& text, std::string& device, std::string& error) {
    const PortChoice choice = resolvePortName(text);
    if (choice.device.empty()) {
        error = "port \"" + printable(text) + "\": " + choice.error;
        return false;
    }
    device = choice.device;
    return true;
}

// `text` as lines of at most `width` columns: the first starts at column `first` (the
// caller wrote what stands before it), the others are indented by `indent` spaces.
std::string wrapped(const std::string& text, std::size_t first, std::size_t indent,
                    std::size_t width = 80) {
    std::string out;
    std::size_t column = first;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        const bool starts = column == first && (out.empty() || out.back() == '\n');
        if (!starts && column + 1 + word.size() > width) {
            out += '\n' + std::string(indent, ' ');
            column = indent;
        } else if (!starts) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

// The scripts' names of every cause, from the cause table.
std::string causeNames() {
    std::string names;
    for (const till::CauseRow& row : till::causeTable())
        names += (names.empty() ? "" : ", ") + std::string(row.name);
    return names;
}

std::string exitStatusHelp() {
    std::string text = "Exit status (with several commands, that of the first that failed):\n";
    for (const StatusMeaning& meaning : exitStatusMeanings()) {
        std::string status = std::to_string(meaning.status);
        status.resize(5, ' ');
        text += "  " + status + wrapped(meaning.text, 7, 7) + '\n';
    }
    return text;
}

}  // namespace

std::string CliRequest::text() const {
    switch (command) {
        case CliCommand::Serial:
            return "serial";
        case CliCommand::Credit:
            return "credit";
        case CliCommand::Read:
            return "read";
        case CliCommand::Write:
            return verify ? "write --verify " + amount : "write " + amount;
        case CliCommand::Block:
            return "block " + std::to_string(block);
        case CliCommand::Dump:
            return "dump";
        case CliCommand::Topup:
            return "topup " + amount;
    }
    return {};
}

CliParse parseCliOptions(const std::vector<std::string>& arguments) {
    return parseCliOptions(arguments, QDateTime::currentDateTimeUtc(), QTimeZone::systemTimeZone());
}

CliParse parseCliOptions(const std::vector<std::string>& arguments, const QDateTime& now,
                         const QTimeZone& zone) {
    const SplitArguments split = splitArguments(arguments);

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption port(QStringList{"p", "port"}, {}, "TEXT");
    const QCommandLineOption trace(QStringList{"t", "trace"});
    const QCommandLineOption help(QStringList{"h", "help"});
    const QCommandLineOption version(QStringList{"V", "version"});
    const QCommandLineOption json("json");
    const QCommandLineOption keepGoing("keep-going");
    const QCommandLineOption journal("journal", {}, "WHERE");
    const QCommandLineOption from("from", {}, "DATE");
    const QCommandLineOption to("to", {}, "DATE");
    const QCommandLineOption station("station", {}, "NAME");
    const QCommandLineOption csv("csv");
    const QCommandLineOption pdf("pdf", {}, "FILE");
    parser.addOptions(
        {port, trace, help, version, json, keepGoing, journal, from, to, station, csv, pdf});
    if (!parser.parse(QStringList{"palmota-cli"} + split.options))
        return usageError(printable(parser.errorText().toStdString()));

    if (parser.isSet(help)) {
        CliParse parse;
        parse.outcome = CliParse::Outcome::Help;
        return parse;
    }
    if (parser.isSet(version)) {
        CliParse parse;
        parse.outcome = CliParse::Outcome::Version;
        return parse;
    }

    CliParse parse;
    CliOptions& options = parse.options;
    options.trace = parser.isSet(trace);
    options.json = parser.isSet(json);
    options.keepGoing = parser.isSet(keepGoing);
    if (!split.ports.empty()) {
        options.port = split.ports.back();
        options.portGiven = true;
    }
    std::string device;
    if (!portNamed(options.port, device, parse.error)) return usageError(parse.error);

    options.journal = parser.value(journal).toStdString();
    if (parser.isSet(journal) && options.journal.empty())
        return usageError("--journal needs a file path or a postgresql:// URI");

    const std::vector<std::string>& words = split.words;
    if (words.empty()) return usageError("no command given");
    const bool reportOptions = parser.isSet(from) || parser.isSet(to) || parser.isSet(station) ||
                               parser.isSet(csv) || parser.isSet(pdf);
    if (words[0] == "journal") {
        std::string error;
        if (!parseJournalRequest(words, options, error)) return usageError(error);
        JournalRequest& request = options.journalRequest;
        const bool report = request.action == JournalRequest::Action::Report;
        if (!report && reportOptions)
            return usageError("--from, --to, --station, --csv and --pdf are for journal report");
        if (parser.isSet(csv) && options.json) return usageError("--json or --csv, not both");
        if (parser.isSet(pdf) && (options.json || parser.isSet(csv)))
            return usageError("--pdf prints the text for people: not with --json or --csv");
        if (parser.isSet(pdf) && parser.value(pdf).isEmpty())
            return usageError("--pdf needs a file to write");
        request.pdf = parser.value(pdf).toStdString();
        request.format = parser.isSet(csv) ? JournalRequest::Format::Csv
                         : options.json    ? JournalRequest::Format::Json
                                           : JournalRequest::Format::Text;
        // An empty value (a script's variable left unset) would narrow nothing, and the
        // whole journal would pass for one day's or one station's.
        if (parser.isSet(station) && parser.value(station).isEmpty())
            return usageError("--station needs a station's name");
        request.station = parser.value(station).toStdString();
        for (const auto& [option, day] : {std::pair{&from, &request.from}, {&to, &request.to}}) {
            *day = parser.value(*option).toStdString();
            if (!parser.isSet(*option)) continue;
            // today and yesterday are this station's own calendar days, taken now.
            const auto date = journal::reportDay(*day, now, zone);
            if (!date)
                return usageError("--" + option->names().first().toStdString() + " \"" +
                                  printable(*day) + "\": a date YYYY-MM-DD, today or yesterday");
            *day = date->toString(Qt::ISODate).toStdString();
        }
        // Days written YYYY-MM-DD compare as they sort.
        if (!request.from.empty() && !request.to.empty() && request.from > request.to)
            return usageError("--from " + request.from + " is after --to " + request.to +
                              ": no day is in between");
        parse.outcome = CliParse::Outcome::Run;
        return parse;
    }
    if (reportOptions)
        return usageError("--from, --to, --station, --csv and --pdf are for journal report");
    if (words[0] == "ports" || words[0] == "-") {
        if (words.size() > 1)
            return usageError("\"" + words[0] + "\" stands alone; unexpected " +
                              printable(wordsAfter(words, 1)));
        options.mode = words[0] == "ports" ? CliMode::Ports : CliMode::StandardInput;
    } else if (words[0] == "probe") {
        options.mode = CliMode::Probe;
        if (options.portGiven) options.probePorts.push_back(device);
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (!portNamed(words[i], device, parse.error)) return usageError(parse.error);
            options.probePorts.push_back(device);
        }
    } else {
        for (std::size_t i = 0; i < words.size();) {
            if (words[i] == "ports" || words[i] == "probe" || words[i] == "-" ||
                words[i] == "journal")
                return usageError("\"" + words[i] + "\" cannot follow other commands");
            const auto request = takeCommand(words, i, parse.error);
            if (!request) return usageError(parse.error);
            options.commands.push_back(*request);
        }
    }
    parse.outcome = CliParse::Outcome::Run;
    return parse;
}

std::optional<CliRequest> parseInputLine(const std::string& line, std::string& error) {
    std::vector<std::string> words;
    for (std::size_t at = 0;;) {
        const auto start = line.find_first_not_of(kWordSeparators, at);
        if (start == std::string::npos) break;
        const auto end = std::min(line.find_first_of(kWordSeparators, start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    if (words.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    std::size_t i = 0;
    auto request = takeCommand(words, i, error);
    if (request && i < words.size()) {
        error = "one command a line; unexpected " + printable(wordsAfter(words, i));
        return std::nullopt;
    }
    return request;
}

std::string cliHelpText() {
    return R"help(Usage: palmota-cli [OPTIONS] COMMAND...
       palmota-cli [OPTIONS] -
       palmota-cli [OPTIONS] ports
       palmota-cli [OPTIONS] probe [PORT...]
       palmota-cli --journal WHERE journal report [--from DATE] [--to DATE]
                   [--station NAME] [--json | --csv | --pdf FILE]
       palmota-cli --journal WHERE [OPTIONS] journal check

Reads and encodes badges through the Reader. The commands given run in order over one
opening of the port, each printing its result as it completes; the run stops at the
first command that fails, unless --keep-going is given. A command line that cannot be
used is refused whole, before anything is sent.

Commands (output on standard output):
  serial        the badge's serial number, on one line (ERREUR, or an empty line)
  credit        the badge's credit, 0 to 65535, on one line (or an empty line)
  read          what "Lire Badge" does: serial number first, then credit, as two lines
                "serial: TEXT" and "credit: TEXT" (the text may be empty)
  write AMOUNT  what "Encoder Badge" does: writes AMOUNT (digits only, 0 to 65535,
                leading zeros allowed) and prints OK, ERREUR or an empty line
  write --verify AMOUNT
                writes AMOUNT, then reads the credit back: prints the write's result,
                then "credit: N". Succeeds only when the credit read is AMOUNT; a write
                the Reader did not confirm but whose credit reads back as AMOUNT counts
                as done, and a third line says "confirmed by reading back"
  block N       the Reader's raw reply to a read of block N (0 to 255), as hex bytes
                "00 01 02 ..." (an empty line for no reply), or ERREUR when no block
                reply came because the Reader did not answer the ready check
  dump          blocks 0 to 7, one line each: "N: HEX BYTES" or "N: ERREUR"
  topup AMOUNT  adds AMOUNT (decimal digits only; 010 is ten) to the badge's credit:
                reads the serial number and the credit, refuses with nothing sent a sum
                over 65535 (status 1), writes credit + AMOUNT, then reads the serial
                number and the credit back. Prints "serial: S" and "credit: BEFORE ->
                AFTER" ("credit: BEFORE (unchanged: the Reader refused the write)" when
                it refused). Succeeds only when the same badge now holds the sum; an
                unconfirmed write whose read-back shows it counts as done ("confirmed by
                reading back"). The credit is taken only between two equal serial
                numbers: another badge before the write stops it with nothing written
                (status 1); another on the read-back is "badge changed during the
                top-up": status 5, both badges named on standard error
  -             reads the commands above from standard input, one a line, and answers
                each as it completes; end of input ends the run. Empty lines and lines
                starting with # are skipped, whatever their length. A line runs only
                once its line end came: a last line cut off is refused, nothing sent.
                A line that is no command is a usage error
                for that line alone: one line on standard error, status 2 for it,
                nothing sent, nothing on standard output (with --json, an object whose
                cause is "usage")
  ports         lists the serial devices present, one a line, tab-separated: device
                path or port name, /dev/serial/by-id link (Linux only), description,
                manufacturer, USB VID:PID, serial number ("-" where unknown). Opens
                nothing, sends nothing
  probe [PORT...]
                looks for the Reader: opens each PORT (with --port, that one too; with
                none, every device "ports" lists) with the Reader's line settings, sends
                it the one byte 00 (the ready check) and nothing else, and waits at most
                1 s. One line a port, tab-separated: the path, then "ready", "answered"
                and the bytes, "no answer", "busy" and why, or "cannot open" and why.
                Never writes to a path that is not a serial device
  journal report
                the journal's writes per station and local day (the station's own day,
                23 or 25 hours when the clocks change; times in its local time with its
                offset): writes, confirmed, refused, uncertain, without outcome, the
                credit loaded (the sum of after - before where both are known) and the
                top-ups, then the same per operator; then the writes that need a read
                of the badge. --from/--to DATE (YYYY-MM-DD, today or yesterday,
                included) and --station NAME choose the rows; --csv or --json for
                scripts; --pdf FILE prints the text to A4 pages in FILE instead. Under
                a French locale (LC_ALL, LC_MESSAGES or LANG fr...) the text is in
                French. Never opens the port, and never makes a journal:
                nothing at WHERE is "no journal at WHERE" (status 2)
  journal check
                reads the badge present and compares its credit with that badge's last
                confirmed write in the journal (a write that went to another badge
                counts for the badge read back after it): a higher credit was loaded
                outside the journal (status 1, both values and the write's time named).
                A write in doubt since that may have left it is named instead, no failure.
                A badge not in the journal is said as such and is no failure

Options:
)help" + std::string("  -p, --port TEXT\n") +
           std::string(port_naming::portOptionHelp()) +
           R"help(  -t, --trace   one line on standard error for each opening and closing of the port
                ("open DEVICE", "close") and each write and read on it: milliseconds
                since start, "->" sent or "<-" received, bytes in hex; bytes that could
                not be sent follow as "(not sent: ..)"
  --json        one JSON object a line on standard output for each command, in place
                of the text: "command", "ok", "cause" (one of the causes below),
                "status" (the exit status of this command alone), "ms" (time taken),
                "error" (the standard-error line, on failure), and the results as the
                texts the Reader link returned: "result" (serial, credit, write),
                "serial" and "credit" (read), "bytes" (block), "blocks" (dump);
                write --verify adds "credit" and "verified"; topup "serial", "before",
                "after", "serialAfter" (the first serial number read back; "serialAfterAgain" the
                second, when it differed) and "result";
                "confirmedByReadingBack" when the credit read back confirmed a write
                the Reader did not. For example:
                {"cause":"ok","command":"credit","ms":0.41,"ok":true,"result":"1500","status":0}
                ports and probe give one object a device too. ports: "path", "byId",
                "description", "manufacturer", "vidPid", "serialNumber", each null
                where unknown. probe: "port", "state" (ready, answered, no-answer,
                busy, cannot-open), "ok" (true for ready), "ms", "bytes" (the answer,
                when one came), "reason" (why a port is busy or cannot be opened)
  --keep-going  runs every command even after one failed
  --journal WHERE
                )help" +
           wrapped(std::string("records every credit write (write, write --verify, topup) in a ") +
                       "journal: WHERE is a file (an SQLite journal, made on first use) or a " +
                       "postgresql:// URI (a PostgreSQL journal several stations share; the " +
                       "password goes in " + std::string(till::journalPasswordFile()) +
                       ", never in the URI). The row is committed before the write's first " +
                       "byte goes out; a journal that cannot take it stops the write with " +
                       "nothing sent (status 6). Without this option nothing is stored anywhere",
                   16, 16) +
           R"help(
  -h, --help    this text
  -V, --version the program's version

Standard error: one line for each command that failed, naming the device and what to
try, e.g. "palmota-cli: )help" +
           std::string(port_naming::example()) +
           R"help(: no answer from the Reader within 1 s (is it
powered and on this port?)".

)help" +
           "Causes for --json (\"cause\"): " + wrapped(causeNames(), 30, 2) + "\n\n" +
           exitStatusHelp() + R"help()help";
}

}  // namespace palmota::cli

#include "cli/cli_options.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDate>
#include <QStringList>
#include <algorithm>
#include <string_view>

#include "journal/daily_report.h"
#include "reader/bounded_decimal.h"
#include "reader/byte_text.h"
#include "reader/port_name.h"
#include "reader/protocol.h"

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
        request.amount = Amount::parse(amount);
        if (!request.amount || !request.amount->credit()) {
            error = "amount \"" + printable(amount) + "\": digits only, with a value from 0 to " +
                    std::to_string(protocol::kMaxCredit);
            return std::nullopt;
        }
    } else if (request.command == CliCommand::Topup) {
        if (i >= words.size()) {
            error = "topup needs an AMOUNT";
            return std::nullopt;
        }
        // Decimal digits only, read as decimal whatever leads them ("010" is ten): a sign,
        // a space or a letter is refused before anything is read or sent. Whether the sum
        // fits a credit is known only once the badge is read.
        const std::string& amount = words[i++];
        request.amount = Amount::parse(amount);
        if (!request.amount) {
            error = "topup amount \"" + printable(amount) + "\": decimal digits only";
            return std::nullopt;
        }
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
    if (words.size() < 2 || (words[1] != "report" && words[1] != "check" && words[1] != "verify" &&
                             words[1] != "list" && words[1] != "close" && words[1] != "closure" &&
                             words[1] != "resolve")) {
        error =
            "journal report, journal list, journal check, journal resolve [ROW], journal verify, "
            "journal close or journal closure N";
        return false;
    }
    if (words[1] == "resolve" && words.size() > 2) {
        // A row's id as the report and the list print it.
        if (words.size() > 3 || words[2].empty() ||
            words[2].find_first_not_of("0123456789abcdefABCDEF-") != std::string::npos) {
            error = "journal resolve takes at most one row's id, as journal list prints it";
            return false;
        }
        options.journalRequest.row = words[2];
    } else if (words[1] == "closure") {
        // A closure's number as it was printed: digits, from 1.
        const std::string number = words.size() > 2 ? words[2] : std::string();
        const bool digits = !number.empty() && number.size() <= 9 &&
                            number.find_first_not_of("0123456789") == std::string::npos;
        if (words.size() != 3 || !digits || std::stoi(number) == 0) {
            error = "journal closure takes the closure's number, from 1";
            return false;
        }
        options.journalRequest.closureNumber = std::stoi(number);
    } else if (words.size() > 2) {
        error = "\"journal " + words[1] + "\" stands alone; unexpected " +
                printable(wordsAfter(words, 2));
        return false;
    }
    if (options.journal.empty()) {
        error = "journal " + words[1] + " needs --journal WHERE";
        return false;
    }
    options.journalRequest.action = words[1] == "check"     ? JournalRequest::Action::Check
                                    : words[1] == "resolve" ? JournalRequest::Action::Resolve
                                    : words[1] == "verify"  ? JournalRequest::Action::Verify
                                    : words[1] == "list"    ? JournalRequest::Action::List
                                    : words[1] == "close"   ? JournalRequest::Action::Close
                                    : words[1] == "closure" ? JournalRequest::Action::Closure
                                                            : JournalRequest::Action::Report;
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
            return (verify ? "write --verify " : "write ") + amount->digits();
        case CliCommand::Block:
            return "block " + std::to_string(block);
        case CliCommand::Dump:
            return "dump";
        case CliCommand::Topup:
            return "topup " + amount->digits();
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
        const bool report = request.action == JournalRequest::Action::Report ||
                            request.action == JournalRequest::Action::List;
        const bool closing = request.action == JournalRequest::Action::Close ||
                             request.action == JournalRequest::Action::Closure;
        // A closure is read back for any station, and made only by the station itself.
        const bool closureOptions =
            !parser.isSet(from) && !parser.isSet(to) && !parser.isSet(csv) &&
            (request.action == JournalRequest::Action::Closure || !parser.isSet(station));
        if (closing && !closureOptions)
            return usageError(
                "journal close takes --json or --pdf; journal closure N also --station NAME");
        if (!report && !closing && reportOptions)
            return usageError("--from, --to, --station, --csv and --pdf are for journal report");
        if (parser.isSet(csv) && options.json) return usageError("--json or --csv, not both");
        if (parser.isSet(pdf) && (options.json || parser.isSet(csv)))
            return usageError("--pdf prints the text for people: not with --json or --csv");
        if (parser.isSet(pdf) && parser.value(pdf).isEmpty())
            return usageError("--pdf needs a file to write");
        request.pdf = parser.value(pdf).toStdString();
        if (parser.isSet(csv) && request.action == JournalRequest::Action::List)
            return usageError("--csv is for journal report; journal list takes --json");
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

}  // namespace palmota::cli

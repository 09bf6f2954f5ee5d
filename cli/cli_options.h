#pragma once

#include <QDateTime>
#include <QTimeZone>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/amount.h"
#include "till/ledger.h"

namespace palmota::cli {

enum class CliCommand { Serial, Credit, Read, Write, Block, Dump, Topup };

// One badge command, checked before anything is sent.
struct CliRequest {
    CliCommand command = CliCommand::Serial;
    std::optional<Amount> amount;  // write: a credit, 0 to 65535; topup: any digits
    bool verify = false;           // write --verify: read the credit back after the write
    std::int32_t block = 0;        // block: 0 to 255

    // The command as a user would type it again: "write --verify 1500", "block 3".
    std::string text() const;
};

enum class CliMode {
    Commands,       // the badge commands given on the command line, in order
    StandardInput,  // "-": badge commands read from standard input, one a line
    Ports,          // list the serial devices present
    Probe,          // send the ready check to ports and say which answered
    Journal,        // read the journal: its report, or a check of the badge present
};

// palmota-cli journal report|check: a check, or the report asked for.
struct JournalRequest : till::ReportRequest {
    enum class Action { Report, Check, Verify, List, Close, Closure, Resolve };
    Action action = Action::Report;
    // report: the fields of till::ReportRequest, whose from and to are here the stations'
    // local days YYYY-MM-DD ("today" and "yesterday" given as the days they were when parsed).
    // --pdf FILE: the text for people printed to A4 pages in FILE instead of standard output.
    std::string pdf;
    // closure N: the closure's number (1, 2, ... per station).
    int closureNumber = 0;
    // resolve ROW: the one write to settle; none for every write in doubt of the badge.
    std::optional<std::string> row;
};

// What one run of palmota-cli is asked to do. Parsed without touching any port, so that
// a refused argument never reaches the line.
struct CliOptions {
    std::string port = "1";  // the port chooser's text: a number from "1" or a device path
    bool portGiven = false;
    bool trace = false;
    bool json = false;
    bool keepGoing = false;
    CliMode mode = CliMode::Commands;
    std::vector<CliRequest> commands;
    std::vector<std::string> probePorts;  // probe: device paths, resolved; empty for all
    std::string journal;  // --journal: a file path or a postgresql:// URI; empty for none
    JournalRequest journalRequest;
};

struct CliParse {
    enum class Outcome { Run, Help, Version, UsageError };
    Outcome outcome = Outcome::UsageError;
    CliOptions options;
    std::string error;  // for UsageError: one line saying what is wrong
};

// `arguments` without the program's name, as the bytes the user gave. The options are
// recognised by QCommandLineParser (-p/--port TEXT, -t/--trace, -h/--help, -V/--version,
// --json, --keep-going) and may stand before, between or after commands; a lone "--" ends
// them. A token such as "-1" is an argument, not an option, so that a signed amount is
// refused as an amount, and "--verify" belongs to the write command it stands in. The port
// text is kept as given, byte for byte.
CliParse parseCliOptions(const std::vector<std::string>& arguments);
// The same, with "today" taken at `now` in `zone` (this machine's zone, where the station is).
CliParse parseCliOptions(const std::vector<std::string>& arguments, const QDateTime& now,
                         const QTimeZone& zone);

// One line of standard input under "-": exactly one badge command, words separated by
// spaces or tabs. No value, with `error` set, for anything else.
std::optional<CliRequest> parseInputLine(const std::string& line, std::string& error);

}  // namespace palmota::cli

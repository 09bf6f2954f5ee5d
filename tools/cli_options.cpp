#include "tools/cli_options.h"

#include <optional>
#include <string_view>

#include "reader/bounded_decimal.h"
#include "reader/port_name.h"
#include "reader/protocol.h"

namespace palmota::tools {

namespace {

constexpr std::uint32_t kHighestBlock = 255;  // the block number travels as one byte

struct CommandName {
    std::string_view name;
    CliCommand command;
    bool takesArgument;
};

constexpr CommandName kCommands[] = {
    {"serial", CliCommand::Serial, false}, {"credit", CliCommand::Credit, false},
    {"read", CliCommand::Read, false},     {"write", CliCommand::Write, true},
    {"block", CliCommand::Block, true},    {"dump", CliCommand::Dump, false},
};

CliParse usageError(std::string message) {
    CliParse parse;
    parse.outcome = CliParse::Outcome::UsageError;
    parse.error = std::move(message);
    return parse;
}

}  // namespace

CliParse parseCliOptions(const std::vector<std::string>& arguments) {
    CliParse parse;
    CliOptions& options = parse.options;
    std::vector<std::string> positional;
    bool help = false;
    bool version = false;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-h")) {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--trace") {
            options.trace = true;
        } else if (arg == "--port") {
            if (i + 1 >= arguments.size())
                return usageError("--port needs a port number or a device path");
            options.port = arguments[++i];
        } else if (arg.rfind("--port=", 0) == 0) {
            options.port = arg.substr(7);
        } else {
            return usageError("unknown option " + arg);
        }
    }
    if (help) {
        parse.outcome = CliParse::Outcome::Help;
        return parse;
    }
    if (version) {
        parse.outcome = CliParse::Outcome::Version;
        return parse;
    }

    // A port text that names no port is the command line's fault, not the Reader's.
    if (const PortChoice choice = resolvePortName(options.port); choice.device.empty())
        return usageError("--port \"" + options.port + "\": " + choice.error);

    if (positional.empty()) return usageError("no command given");
    const CommandName* found = nullptr;
    for (const CommandName& c : kCommands)
        if (c.name == positional[0]) found = &c;
    if (!found) return usageError("unknown command " + positional[0]);
    const std::size_t wanted = found->takesArgument ? 2 : 1;
    if (positional.size() < wanted) {
        return usageError(std::string(found->name) +
                          (found->command == CliCommand::Write ? " needs an AMOUNT" : " needs N"));
    }
    if (positional.size() > wanted) return usageError("unexpected argument " + positional[wanted]);
    options.command = found->command;

    if (options.command == CliCommand::Write) {
        // Refused here, before any port is opened: nothing of it can reach the Badge.
        if (!protocol::parseAmount(positional[1])) {
            return usageError("amount \"" + positional[1] +
                              "\": digits only, with a value from 0 to 65535");
        }
        options.amount = positional[1];
    }
    if (options.command == CliCommand::Block) {
        const auto block = boundedDecimal(positional[1], kHighestBlock);
        if (!block) return usageError("block \"" + positional[1] + "\": a number from 0 to 255");
        options.block = static_cast<std::int32_t>(*block);
    }
    parse.outcome = CliParse::Outcome::Run;
    return parse;
}

std::string cliHelpText() {
    return R"(Usage: palmota-cli [--port TEXT] [--trace] COMMAND

Reads and encodes badges through the Reader, one command per run. The port is opened
at the first exchange and released when the command ends.

Commands (output on standard output):
  serial        the badge's serial number, on one line (ERREUR, or an empty line)
  credit        the badge's credit, 0 to 65535, on one line (or an empty line)
  read          what "Lire Badge" does: serial number first, then credit, as two lines
                "serial: TEXT" and "credit: TEXT" (the text may be empty)
  write AMOUNT  what "Encoder Badge" does: writes AMOUNT (digits only, 0 to 65535,
                leading zeros allowed) and prints OK, ERREUR or an empty line
  block N       the Reader's raw reply to a read of block N (0 to 255), as hex bytes
                "00 01 02 ..." (an empty line for no reply), or ERREUR
  dump          blocks 0 to 7, one line each: "N: HEX BYTES" or "N: ERREUR"

Options:
  --port TEXT   the port: a number 1 to 6 as in the window's port chooser
                (1 is /dev/ttyS0, the first serial port), or a device path such as
                /dev/ttyUSB0 for a USB adapter; default 1
  --trace       one line on standard error for each write and read on the port:
                milliseconds since start, "->" sent or "<-" received, bytes in hex
  -h, --help    this text
  --version     the program's version

Exit status:
  0  the operation succeeded: a number obtained (both for read), OK for write,
     a non-empty reply for block, all eight blocks for dump
  1  the Reader link reported a failure (ERREUR, an empty result, a port that
     cannot be opened)
  2  the command line cannot be used; nothing was sent to the Reader
)";
}

}  // namespace palmota::tools

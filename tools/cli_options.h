#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace palmota::tools {

enum class CliCommand { Serial, Credit, Read, Write, Block, Dump };

// What one run of palmota-cli is asked to do. Parsed without touching any port, so that
// a refused argument never reaches the line.
struct CliOptions {
    std::string port = "1";  // the port chooser's text: "1" to "6" or a device path
    bool trace = false;
    CliCommand command = CliCommand::Serial;
    std::string amount;      // write: digits only, true value 0 to 65535
    std::int32_t block = 0;  // block: 0 to 255
};

struct CliParse {
    enum class Outcome { Run, Help, Version, UsageError };
    Outcome outcome = Outcome::UsageError;
    CliOptions options;
    std::string error;  // for UsageError: one line saying what is wrong
};

// `arguments` without the program's name. Options ("--port TEXT", "--port=TEXT",
// "--trace", "--help", "--version") may stand before or after the command; a lone "--"
// ends them. A token such as "-1" is an argument, not an option, so that a signed amount
// is refused as an amount.
CliParse parseCliOptions(const std::vector<std::string>& arguments);

std::string cliHelpText();

// Exit statuses: the operation succeeded, the Reader link reported a failure, the
// command line could not be used.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitLinkFailure = 1;
inline constexpr int kExitUsage = 2;

}  // namespace palmota::tools

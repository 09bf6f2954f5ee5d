#include "tools/cli_runner.h"

#include <string>

#include "reader/protocol.h"

namespace palmota::tools {

namespace {

const std::string kError = protocol::kResultError;

// A serial number or a credit is a decimal number; anything else ("ERREUR", the empty
// text) is the link's way of saying it got none.
bool isNumber(const std::string& result) {
    return !result.empty() && result != kError;
}

// "label: TEXT", or "label:" alone for the empty text, so that a line never ends in a space.
void labelled(std::ostream& out, const std::string& label, const std::string& text) {
    out << label << ':';
    if (!text.empty()) out << ' ' << text;
    out << std::endl;
}

// ReadBlock gives either its raw reply or the word ERREUR; only the reply is shown as bytes.
std::string blockText(const std::string& result) {
    return result == kError ? result : protocol::hexPairs(result);
}

int status(bool succeeded) {
    return succeeded ? kExitSuccess : kExitLinkFailure;
}

}  // namespace

int runCliCommand(Palmota& reader, const CliOptions& options, std::ostream& out) {
    switch (options.command) {
        case CliCommand::Serial: {
            const std::string serial = reader.ReadSerialNumber();
            out << serial << std::endl;
            return status(isNumber(serial));
        }
        case CliCommand::Credit: {
            const std::string credit = reader.ReadCredit();
            out << credit << std::endl;
            return status(isNumber(credit));
        }
        case CliCommand::Read: {
            // "Lire Badge": the serial number always first, then the credit, whatever the
            // first result was.
            const std::string serial = reader.ReadSerialNumber();
            labelled(out, "serial", serial);
            const std::string credit = reader.ReadCredit();
            labelled(out, "credit", credit);
            return status(isNumber(serial) && isNumber(credit));
        }
        case CliCommand::Write: {
            const std::string result = reader.WriteCredit(options.amount);
            out << result << std::endl;
            return status(result == protocol::kResultOk);
        }
        case CliCommand::Block: {
            const std::string reply = reader.ReadBlock(options.block);
            out << blockText(reply) << std::endl;
            return status(!reply.empty() && reply != kError);
        }
        case CliCommand::Dump: {
            bool all = true;
            for (std::int32_t block = 0; block < protocol::kDumpBlockCount; ++block) {
                const std::string reply = reader.ReadBlock(block);
                labelled(out, std::to_string(block), blockText(reply));
                all = all && !reply.empty() && reply != kError;
            }
            return status(all);
        }
    }
    return kExitUsage;
}

}  // namespace palmota::tools

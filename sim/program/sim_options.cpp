#include "sim/program/sim_options.h"

#include <QCommandLineParser>
#include <QFile>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "reader/bounded_decimal.h"
#include "reader/byte_text.h"
#include "reader/protocol.h"

namespace palmota::sim {

namespace {

// Bounds that keep the emulator's arithmetic sane; no real Reader comes near them.
constexpr std::uint64_t kLongestDelayMs = 3'600'000;
constexpr std::uint64_t kMostTrailingBytes = 65'535;
constexpr std::uint64_t kMostFloodBytes = 1'000'000'000;
const QString kDefaultNotReadyText = QStringLiteral("01");

// A status byte: one or two hex digits, "0x" allowed in front.
std::optional<std::uint8_t> statusByte(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty() || text.size() > 2) return std::nullopt;
    // One digit is the byte's low half: "1" is 01.
    const auto byte = parseHexPairs(text.size() == 1 ? "0" + std::string(text) : std::string(text));
    if (!byte || byte->size() != 1) return std::nullopt;
    return static_cast<std::uint8_t>(byte->front());
}

// A serial number as the window shows it (signed, -2147483648 to 2147483647) or as its
// unsigned 32 bits (0 to 4294967295); both give the same four bytes.
std::optional<std::uint32_t> serialNumber(std::string_view text) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    const auto magnitude = boundedDecimal(text, negative ? 2'147'483'648ULL : 4'294'967'295ULL);
    if (!magnitude) return std::nullopt;
    const auto bits = static_cast<std::uint32_t>(*magnitude);
    return negative ? static_cast<std::uint32_t>(0U - bits) : bits;
}

SimParse usageError(std::string message) {
    SimParse parse;
    parse.error = std::move(message);
    return parse;
}

}  // namespace

SimParse parseSimOptions(const std::vector<std::string>& arguments) {
    const auto flagOption = [](const char* name) {
        return QCommandLineOption(QString::fromLatin1(name));
    };
    const auto valueOption = [](const char* name, const char* valueName) {
        return QCommandLineOption(QString::fromLatin1(name), QString(),
                                  QString::fromLatin1(valueName));
    };
    QCommandLineParser parser;
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    parser.addOption({{QStringLiteral("V"), QStringLiteral("version")}, QString()});
    parser.addOption({{QStringLiteral("v"), QStringLiteral("verbose")}, QString()});
    for (const char* name :
         {"silent", "no-badge", "write-refused", "no-final-reply", "pace", "twice"})
        parser.addOption(flagOption(name));
    for (const char* name : {"serial", "credit", "block", "not-ready", "delay", "split", "extra",
                             "flood", "link", "late-block", "late-write"})
        parser.addOption(valueOption(name, "VALUE"));

    // The parser knows no optional values: a bare --not-ready (at the end, or before
    // another option) stands for the default status.
    QStringList list{QStringLiteral("badge-reader-sim")};
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool bare = argument == "--not-ready=" ||
                          (argument == "--not-ready" &&
                           (i + 1 == arguments.size() || arguments[i + 1].rfind('-', 0) == 0));
        list.append(bare ? QStringLiteral("--not-ready=") + kDefaultNotReadyText
                         : QFile::decodeName(QByteArray::fromStdString(argument)));
    }

    if (!parser.parse(list)) return usageError(parser.errorText().toStdString());
    if (!parser.positionalArguments().isEmpty())
        return usageError("unexpected argument " +
                          QFile::encodeName(parser.positionalArguments().front()).toStdString());
    SimParse parse;
    if (parser.isSet(QStringLiteral("help"))) {
        parse.outcome = SimParse::Outcome::Help;
        return parse;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        parse.outcome = SimParse::Outcome::Version;
        return parse;
    }

    // Options apply in the order given: a --block after --credit overrides its bytes.
    SimOptions& o = parse.options;
    std::map<QString, qsizetype> taken;
    for (const QString& found : parser.optionNames()) {
        const QString key = found == QStringLiteral("v") ? QStringLiteral("verbose") : found;
        const std::string name = "--" + key.toStdString();
        const QStringList values = parser.values(key);
        const qsizetype index = taken[key]++;
        const std::string text =
            index < values.size() ? QFile::encodeName(values[index]).toStdString() : std::string{};
        auto bad = [&](const std::string& expected) {
            return usageError(name + " \"" + text + "\": " + expected);
        };
        if (key == QStringLiteral("verbose")) {
            o.verbose = true;
        } else if (key == QStringLiteral("silent")) {
            o.faults.silent = true;
        } else if (key == QStringLiteral("no-badge")) {
            o.faults.noBadge = true;
        } else if (key == QStringLiteral("write-refused")) {
            o.faults.writeRefused = true;
        } else if (key == QStringLiteral("no-final-reply")) {
            o.faults.noFinalWriteReply = true;
        } else if (key == QStringLiteral("pace")) {
            o.faults.pace9600 = true;
        } else if (key == QStringLiteral("twice")) {
            o.faults.repliesTwice = true;
        } else if (key == QStringLiteral("not-ready")) {
            // 00 is the ready status: a Reader answering it is ready.
            const auto status = statusByte(text);
            if (!status || *status == 0) return bad("a status byte in hex, 01 to FF");
            o.faults.notReady = *status;
        } else if (key == QStringLiteral("serial")) {
            const auto serial = serialNumber(text);
            if (!serial) return bad("a number from -2147483648 to 4294967295");
            o.badge.setSerialNumber(*serial);
        } else if (key == QStringLiteral("credit")) {
            const auto credit = boundedDecimal(text, protocol::kMaxCredit);
            if (!credit) return bad("a number from 0 to 65535");
            o.badge.setCredit(static_cast<std::uint16_t>(*credit));
        } else if (key == QStringLiteral("block")) {
            const auto eq = text.find('=');
            const auto number =
                boundedDecimal(text.substr(0, eq), sim::VirtualBadge::kBlockCount - 1);
            const auto bytes = eq == std::string::npos
                                   ? std::nullopt
                                   : parseHexPairs(std::string_view(text).substr(eq + 1));
            if (!number || !bytes || bytes->size() > sim::VirtualBadge::kBlockSize)
                return bad("N=HEX: a block 0 to 7 and 1 to 16 bytes in hex");
            // The bytes given replace the block's first data bytes; the rest stay.
            auto& block = o.badge.blocks[*number];
            for (std::size_t k = 0; k < bytes->size(); ++k)
                block[k] = static_cast<std::uint8_t>((*bytes)[k]);
        } else if (key == QStringLiteral("delay") || key == QStringLiteral("split") ||
                   key == QStringLiteral("late-block") || key == QStringLiteral("late-write")) {
            const auto ms = boundedDecimal(text, kLongestDelayMs);
            if (!ms) return bad("milliseconds, 0 to 3600000");
            const std::chrono::milliseconds delay{static_cast<long>(*ms)};
            if (key == QStringLiteral("delay")) o.faults.replyDelay = delay;
            if (key == QStringLiteral("split")) o.faults.splitGap = delay;
            if (key == QStringLiteral("late-block")) o.faults.lateBlockReply = delay;
            if (key == QStringLiteral("late-write")) o.faults.lateWriteReply = delay;
        } else if (key == QStringLiteral("extra")) {
            const auto n = boundedDecimal(text, kMostTrailingBytes);
            if (!n) return bad("a count of bytes, 0 to 65535");
            o.faults.extraTrailingBytes = static_cast<int>(*n);
        } else if (key == QStringLiteral("flood")) {
            const auto n = boundedDecimal(text, kMostFloodBytes);
            if (!n) return bad("a count of bytes, 0 to 1000000000");
            o.faults.floodBytes = static_cast<std::size_t>(*n);
        } else if (key == QStringLiteral("link")) {
            if (text.empty()) return usageError("--link needs a path");
            o.linkPath = text;
        }
    }
    parse.outcome = SimParse::Outcome::Run;
    return parse;
}

std::string simHelpText() {
    return R"(Usage: badge-reader-sim [OPTIONS]

Emulates the Reader on a pseudo-terminal. The first line on standard output is the
device path to give as the port (palmota --port PATH, palmota-cli --port PATH). Serves
until interrupted: Ctrl+C (or SIGTERM) ends it cleanly and removes the --link.

The badge (default: serial number 123456, credit 1500; applied in the order given):
  --serial N          serial number, -2147483648 to 4294967295 (block 0, bytes 9 to 12)
  --credit N          credit, 0 to 65535 (block 1, bytes 1 and 2)
  --block N=HEX       block N (0 to 7) starts with these bytes, 1 to 16 in hex:
                      --block 3=DEADBEEF or --block "3=DE AD BE EF"

Faults of the Reader:
  --silent            no Reader: nothing is ever answered
  --not-ready [STATUS]
                      the ready check answers STATUS (hex, 01 to FF, default 01),
                      not 00
  --no-badge          no badge on the Reader: blocks FF FF ..., credit length FF
  --write-refused     a credit write answers FF
  --no-final-reply    the credit bytes get no answer (the credit is still stored)
  --delay MS          wait MS milliseconds before each reply
  --split MS          send each reply in two halves, MS milliseconds apart
  --extra N           append N bytes EE to each reply
  --pace              send bytes at the real 9600-baud rate, about 1.04 ms a byte
  --flood N           after each ready check reply, pour out N bytes 55
  --late-block MS     send each block's 17 bytes MS milliseconds later still
  --late-write MS     send a credit write's final reply MS milliseconds later still
  --twice             send every reply twice, the second right after the first

Other options:
  --link PATH         also make a symbolic link PATH to the device, a fixed name for
                      scripts (refused if PATH exists and is not an earlier such link)
  -v, --verbose       log each byte received ("<- 00") and each reply sent
                      ("-> 00 02 05 DC") on standard error
  -h, --help          this text
  -V, --version       the version

Exit status: 0 after an interruption, 1 if the emulator cannot start, 2 for a usage error.
)";
}

}  // namespace palmota::sim

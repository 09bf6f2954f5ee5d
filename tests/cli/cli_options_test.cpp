#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <map>

#include "cli/cli_language.h"
#include "tests/support/row_name.h"
#include "tests/support/system_names.h"

namespace palmota::cli {
namespace {

using Outcome = CliParse::Outcome;
using palmota::testing::RowName;
using palmota::testing::wordsName;

struct ParseCase {
    std::vector<std::string> args;
    Outcome outcome;
    std::vector<std::string> commands = {};  // as CliRequest::text() gives them
    std::string port = "1";
    CliMode mode = CliMode::Commands;
    std::vector<std::string> probePorts = {};
};

void PrintTo(const ParseCase& row, std::ostream* out) {
    static constexpr const char* kOutcomes[] = {"run", "help", "version", "usage error"};
    *out << ::testing::PrintToString(row.args) << ": " << kOutcomes[static_cast<int>(row.outcome)];
    if (row.outcome == Outcome::Run)
        *out << ", commands " << ::testing::PrintToString(row.commands);
}

// Rows are named after their words: port_3_read, write_minus1, no_arguments.
std::string argumentsName(const ::testing::TestParamInfo<ParseCase>& row) {
    return wordsName(row.param.args);
}

class CliParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CliParseTest, ReadsTheCommandLine) {
    ParseCase c = GetParam();
    for (std::string* text : {&c.port}) *text = palmota::testing::onThisSystem(*text);
    for (std::string& arg : c.args) arg = palmota::testing::onThisSystem(arg);
    for (std::string& port : c.probePorts) port = palmota::testing::onThisSystem(port);
    const CliParse parse = parseCliOptions(c.args);
    ASSERT_EQ(parse.outcome, c.outcome) << parse.error;
    if (c.outcome == Outcome::UsageError) {
        EXPECT_FALSE(parse.error.empty());
        return;
    }
    if (c.outcome != Outcome::Run) return;
    std::vector<std::string> commands;
    for (const CliRequest& r : parse.options.commands) commands.push_back(r.text());
    EXPECT_EQ(commands, c.commands);
    EXPECT_EQ(parse.options.port, c.port);
    EXPECT_EQ(parse.options.mode, c.mode);
    EXPECT_EQ(parse.options.probePorts, c.probePorts);
}

INSTANTIATE_TEST_SUITE_P(
    Accepted, CliParseTest,
    ::testing::Values(
        ParseCase{{"serial"}, Outcome::Run, {"serial"}},
        ParseCase{{"--port", "3", "read"}, Outcome::Run, {"read"}, "3"},
        ParseCase{{"-p", "3", "read"}, Outcome::Run, {"read"}, "3"},
        ParseCase{{"read", "--port=/dev/ttyUSB0"}, Outcome::Run, {"read"}, "/dev/ttyUSB0"},
        ParseCase{{"-p/dev/ttyUSB1", "credit"}, Outcome::Run, {"credit"}, "/dev/ttyUSB1"},
        ParseCase{{"-tp", "/dev/ttyACM0", "credit"}, Outcome::Run, {"credit"}, "/dev/ttyACM0"},
        // A path is kept as the bytes given, even when they are not UTF-8.
        ParseCase{{"-p", "/dev/tty\xE9", "credit"}, Outcome::Run, {"credit"}, "/dev/tty\xE9"},
        // Several commands, in order, with options between them.
        ParseCase{{"read", "write", "1500", "--trace", "credit", "-p", "2"},
                  Outcome::Run,
                  {"read", "write 1500", "credit"},
                  "2"},
        ParseCase{{"write", "--verify", "0000000000012", "block", "007", "dump"},
                  Outcome::Run,
                  {"write --verify 0000000000012", "block 7", "dump"}},
        ParseCase{{"write", "65535", "--json", "--keep-going", "serial"},
                  Outcome::Run,
                  {"write 65535", "serial"}},
        ParseCase{{"--", "write", "5"}, Outcome::Run, {"write 5"}},
        ParseCase{
            {"-p", "/dev/ttyUSB0", "-"}, Outcome::Run, {}, "/dev/ttyUSB0", CliMode::StandardInput},
        ParseCase{{"ports", "--json"}, Outcome::Run, {}, "1", CliMode::Ports},
        ParseCase{{"probe"}, Outcome::Run, {}, "1", CliMode::Probe},
        ParseCase{{"probe", "2", "/dev/ttyUSB0"},
                  Outcome::Run,
                  {},
                  "1",
                  CliMode::Probe,
                  {"/dev/ttyS1", "/dev/ttyUSB0"}},
        ParseCase{{"-p", "/dev/ttyACM0", "probe"},
                  Outcome::Run,
                  {},
                  "/dev/ttyACM0",
                  CliMode::Probe,
                  {"/dev/ttyACM0"}},
        // A top-up's digits are decimal whatever leads them; its sum is judged once read.
        ParseCase{{"topup", "010", "--journal", "/tmp/j.db"}, Outcome::Run, {"topup 010"}},
        ParseCase{{"topup", "99999999999999999999"}, Outcome::Run, {"topup 99999999999999999999"}},
        ParseCase{
            {"--journal", "postgresql:///p", "journal", "report", "--from", "2026-01-31", "--csv"},
            Outcome::Run,
            {},
            "1",
            CliMode::Journal},
        ParseCase{{"--journal", "j.db", "journal", "report", "--from", "today", "--pdf", "r.pdf"},
                  Outcome::Run,
                  {},
                  "1",
                  CliMode::Journal},
        ParseCase{{"--journal", "j.db", "journal", "list", "--station", "desk-1", "--json"},
                  Outcome::Run,
                  {},
                  "1",
                  CliMode::Journal},
        ParseCase{{"--journal", "j.db", "journal", "verify", "--json"},
                  Outcome::Run,
                  {},
                  "1",
                  CliMode::Journal},
        ParseCase{{"--journal", "j.db", "journal", "close", "--pdf", "c.pdf"},
                  Outcome::Run,
                  {},
                  "1",
                  CliMode::Journal},
        ParseCase{
            {"--journal", "j.db", "journal", "closure", "12", "--station", "desk-2", "--json"},
            Outcome::Run,
            {},
            "1",
            CliMode::Journal},
        ParseCase{{"--port", "2", "--journal", "j.db", "journal", "resolve", "0c0f5d0e", "--json"},
                  Outcome::Run,
                  {},
                  "2",
                  CliMode::Journal},
        ParseCase{{"--help"}, Outcome::Help}, ParseCase{{"write", "-1", "-h"}, Outcome::Help},
        ParseCase{{"--version"}, Outcome::Version}, ParseCase{{"-V", "read"}, Outcome::Version}),
    argumentsName);

INSTANTIATE_TEST_SUITE_P(
    Refused, CliParseTest,
    ::testing::Values(
        ParseCase{{"write", ""}, Outcome::UsageError},
        // "-1" is an amount to refuse, not an unknown option.
        ParseCase{{"write", "-1"}, Outcome::UsageError},
        ParseCase{{"write", "--verify", "-1"}, Outcome::UsageError},
        ParseCase{{"write", "+1"}, Outcome::UsageError},
        ParseCase{{"write", "12a"}, Outcome::UsageError},
        ParseCase{{"write", " 12"}, Outcome::UsageError},
        ParseCase{{"write", "65536"}, Outcome::UsageError},
        // Would wrap to a small amount in a 64-bit count without the bound.
        ParseCase{{"write", "99999999999999999999"}, Outcome::UsageError},
        ParseCase{{"write", "18446744073709551628"}, Outcome::UsageError},
        ParseCase{{"write"}, Outcome::UsageError},
        ParseCase{{"write", "--verify"}, Outcome::UsageError},
        ParseCase{{"--verify", "write", "5"}, Outcome::UsageError},
        ParseCase{{"write", "1", "2"}, Outcome::UsageError},
        // A bad command anywhere refuses the whole line.
        ParseCase{{"read", "write", "5", "block", "256"}, Outcome::UsageError},
        ParseCase{{"block", "-1"}, Outcome::UsageError},
        ParseCase{{"block", "4294967296"}, Outcome::UsageError},
        ParseCase{{"block"}, Outcome::UsageError}, ParseCase{{}, Outcome::UsageError},
        ParseCase{{"erase"}, Outcome::UsageError},
        ParseCase{{"serial", "now"}, Outcome::UsageError},
        ParseCase{{"read", "-"}, Outcome::UsageError},
        ParseCase{{"-", "read"}, Outcome::UsageError},
        ParseCase{{"ports", "read"}, Outcome::UsageError},
        ParseCase{{"read", "ports"}, Outcome::UsageError},
        ParseCase{{"probe", "abc"}, Outcome::UsageError},
        ParseCase{{"--port"}, Outcome::UsageError}, ParseCase{{"read", "-p"}, Outcome::UsageError},
        ParseCase{{"--port", "", "serial"}, Outcome::UsageError},
        ParseCase{{"--port", "0", "serial"}, Outcome::UsageError},
        ParseCase{{"--port", "ttyS0", "serial"}, Outcome::UsageError},
        ParseCase{{"--baud", "9600", "serial"}, Outcome::UsageError},
        ParseCase{{"-x", "serial"}, Outcome::UsageError},
        // What the shell script of old took for octal, a sign or a bash error.
        ParseCase{{"topup", "-300"}, Outcome::UsageError},
        ParseCase{{"topup", "+5"}, Outcome::UsageError},
        ParseCase{{"topup", "abc"}, Outcome::UsageError},
        ParseCase{{"topup", "0x10"}, Outcome::UsageError},
        ParseCase{{"topup"}, Outcome::UsageError},
        ParseCase{{"journal", "report"}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal"}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "check", "--csv"}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "list", "--csv"}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "verify", "--from", "2026-01-01"},
                  Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "verify", "now"}, Outcome::UsageError},
        // A station closes only its own period; a closure is named by its number, from 1.
        ParseCase{{"--journal", "j.db", "journal", "close", "--station", "desk-2"},
                  Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "close", "1"}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "closure"}, Outcome::UsageError},
        // A write to settle is named by its id alone, as the list prints it.
        ParseCase{{"--journal", "j.db", "journal", "resolve", "a", "b"}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "resolve", "x;1"}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "resolve", "--from", "today"},
                  Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "closure", "0"}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "closure", "-1"}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "closure", "1", "--from", "today"},
                  Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "close", "--json", "--pdf", "c.pdf"},
                  Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "report", "--to", "2026-02-30"},
                  Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "read", "journal", "report"}, Outcome::UsageError},
        ParseCase{{"--from", "2026-01-01", "read"}, Outcome::UsageError},
        ParseCase{{"--journal", "", "read"}, Outcome::UsageError},
        // An empty bound or station, a variable left unset in a script, would pass for no
        // narrowing at all: the whole journal reported as if for one day or one desk.
        ParseCase{{"--journal", "j.db", "journal", "report", "--from", ""}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "report", "--to", ""}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "report", "--station", ""}, Outcome::UsageError},
        // A printed report is the text for people: not the scripts' formats, nor for a check.
        ParseCase{{"--journal", "j.db", "journal", "report", "--pdf", ""}, Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "report", "--pdf", "r.pdf", "--json"},
                  Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "report", "--csv", "--pdf", "r.pdf"},
                  Outcome::UsageError},
        ParseCase{{"--journal", "j.db", "journal", "check", "--pdf", "r.pdf"}, Outcome::UsageError},
        ParseCase{{"--pdf", "r.pdf", "read"}, Outcome::UsageError}),
    argumentsName);

// The report's days: up to the last a year of four digits holds, and never backwards (no day
// lies between: an empty report would pass for a day without writes).
TEST(CliParse, ReportDaysRunForwardUpToTheLastDay) {
    const auto parsed = [](const char* from, const char* to) {
        return parseCliOptions(
                   {"--journal", "j.db", "journal", "report", "--from", from, "--to", to})
            .outcome;
    };
    EXPECT_EQ(parsed("2026-03-01", "9999-12-31"), Outcome::Run);
    EXPECT_EQ(parsed("2026-03-01", "2026-03-01"), Outcome::Run);
    EXPECT_EQ(parsed("2026-03-02", "2026-03-01"), Outcome::UsageError);
    // today and yesterday are the station's calendar days when the command runs: 00:30 in
    // Paris after the clocks went forward is the 30th, whose day before is the 29th.
    const QDateTime now = QDateTime::fromString("2026-03-29T22:30:00Z", Qt::ISODate);
    const auto request = [&now](const char* from, const char* to) {
        return parseCliOptions(
            {"--journal", "j.db", "journal", "report", "--from", from, "--to", to}, now,
            QTimeZone("Europe/Paris"));
    };
    const CliParse days = request("yesterday", "today");
    ASSERT_EQ(days.outcome, Outcome::Run) << days.error;
    EXPECT_EQ(days.options.journalRequest.from, "2026-03-29");
    EXPECT_EQ(days.options.journalRequest.to, "2026-03-30");
    EXPECT_EQ(request("today", "yesterday").outcome, Outcome::UsageError);
    EXPECT_EQ(request("tomorrow", "today").outcome, Outcome::UsageError);
}

// What the user typed comes back escaped: a control character never reaches the terminal raw.
TEST(CliParse, ErrorsShowControlCharactersEscaped) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"--\x1b[2J", "read"},
                                                                  {"write", "1\x07"},
                                                                  {"-p", "/dev/x\x1b", "pr\x1b"},
                                                                  {"read", "\x1b"}}) {
        const CliParse parse = parseCliOptions(args);
        ASSERT_EQ(parse.outcome, Outcome::UsageError);
        EXPECT_EQ(parse.error.find_first_of("\x1b\x07"), std::string::npos) << parse.error;
    }
}

struct LineCase {
    const char* name;
    std::string line;
    std::string command;  // empty: refused
};

void PrintTo(const LineCase& row, std::ostream* out) {
    *out << row.name << ": line " << ::testing::PrintToString(row.line) << " is "
         << (row.command.empty() ? "refused" : '"' + row.command + '"');
}

class CliLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(CliLineTest, TakesOneCommandALine) {
    const LineCase& c = GetParam();
    std::string error;
    const auto request = parseInputLine(c.line, error);
    if (c.command.empty()) {
        EXPECT_FALSE(request) << request->text();
        EXPECT_FALSE(error.empty());
    } else {
        ASSERT_TRUE(request) << error;
        EXPECT_EQ(request->text(), c.command);
    }
}

INSTANTIATE_TEST_SUITE_P(StandardInput, CliLineTest,
                         ::testing::Values(LineCase{"credit", "credit", "credit"},
                                           LineCase{"spaces_tabs_and_carriage_return",
                                                    "  write\t--verify  12 \r",
                                                    "write --verify 12"},
                                           LineCase{"block_7", "block 7", "block 7"},
                                           LineCase{"negative_amount", "write -1", ""},
                                           LineCase{"two_commands", "read credit", ""},
                                           LineCase{"option_alone", "--port /dev/ttyS0", ""},
                                           LineCase{"ports_is_no_badge_command", "ports", ""},
                                           LineCase{"upper_case_command", "Credit", ""},
                                           LineCase{"amount_too_large", "write 70000", ""}),
                         RowName());

struct LanguageCase {
    const char* name;
    std::map<std::string, std::string> environment;
    QLocale::Language system;
    bool french;
};

void PrintTo(const LanguageCase& c, std::ostream* os) {
    *os << c.name;
}

class LanguageTest : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageTest, FrenchIsChosenByTheLocaleVariablesInPosixOrder) {
    const LanguageCase& c = GetParam();
    const auto variable = [&c](const char* name) {
        const auto found = c.environment.find(name);
        return found == c.environment.end() ? std::string() : found->second;
    };
    EXPECT_EQ(frenchWanted(variable, QLocale(c.system)), c.french);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, LanguageTest,
    ::testing::Values(
        LanguageCase{"Lang", {{"LANG", "fr_FR.UTF-8"}}, QLocale::English, true},
        LanguageCase{"Canada", {{"LANG", "fr_CA.UTF-8"}}, QLocale::English, true},
        LanguageCase{"LcMessagesOverLang",
                     {{"LANG", "en_GB.UTF-8"}, {"LC_MESSAGES", "fr_FR.UTF-8"}},
                     QLocale::English,
                     true},
        LanguageCase{"LcAllOverEverything",
                     {{"LANG", "fr_FR.UTF-8"}, {"LC_ALL", "C"}},
                     QLocale::French,
                     false},
        LanguageCase{"EmptyIsUnset", {{"LC_ALL", ""}, {"LANG", "fr_BE"}}, QLocale::English, true},
        LanguageCase{"Frisian", {{"LANG", "fy_NL"}}, QLocale::French, false},
        LanguageCase{"NoneSetSystemFrench", {}, QLocale::French, true},
        LanguageCase{"NoneSetSystemEnglish", {}, QLocale::English, false}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace palmota::cli

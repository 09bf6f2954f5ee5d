// palmota-cli run as a user runs it, against the emulated Reader on a pseudo-terminal.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <regex>
#include <sstream>

#include "sim/pty_reader.h"
#include "tests/support/child_process.h"
#include "tests/support/hex.h"

namespace palmota {
namespace {

using namespace std::chrono_literals;
using testing::hexOf;
using testing::runProgram;
using testing::RunResult;

class CliProgram : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(reader_.start()); }

    void setFaults(const sim::ReaderFaults& faults) { reader_.setFaults(faults); }

    RunResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", reader_.devicePath()});
        return runProgram(PALMOTA_CLI, args);
    }

    sim::PtyReader reader_;
};

struct CommandCase {
    const char* name;
    sim::ReaderFaults faults;
    std::vector<std::string> args;
    std::string out;
    int status;
    std::string wire = {};  // what the Reader received, in hex; not checked when empty
};

sim::ReaderFaults faults(void (*set)(sim::ReaderFaults&)) {
    sim::ReaderFaults f;
    set(f);
    return f;
}

const std::string kDump =
    "0: 00 00 01 02 03 04 05 06 07 00 01 E2 40 0C 0D 0E 0F\n"
    "1: 00 05 DC 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n"
    "2: 00 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F\n"
    "3: 00 30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F\n"
    "4: 00 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F\n"
    "5: 00 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E 5F\n"
    "6: 00 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F\n"
    "7: 00 70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F\n";
const std::string kNoBlock = "FF FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

class CliCommandTest : public CliProgram, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CliCommandTest, PrintsTheResultAndExitStatus) {
    const CommandCase& c = GetParam();
    setFaults(c.faults);
    const RunResult run = cli(c.args);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (!c.wire.empty()) {
        EXPECT_EQ(hexOf(reader_.received()), c.wire);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SampleBadge, CliCommandTest,
    ::testing::Values(
        CommandCase{"serial", {}, {"serial"}, "123456\n", 0, "00 04 00"},
        CommandCase{"credit", {}, {"credit"}, "1500\n", 0, "00 06"},
        CommandCase{"read", {}, {"read"}, "serial: 123456\ncredit: 1500\n", 0, "00 04 00 00 06"},
        CommandCase{
            "write_leading_zeros", {}, {"write", "0000000000012"}, "OK\n", 0, "00 07 00 0C"},
        CommandCase{"write_highest", {}, {"write", "65535"}, "OK\n", 0, "00 07 FF FF"},
        CommandCase{"block",
                    {},
                    {"block", "2"},
                    "00 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F\n",
                    0,
                    "00 04 02"},
        CommandCase{"dump",
                    {},
                    {"dump"},
                    kDump,
                    0,
                    "00 04 00 00 04 01 00 04 02 00 04 03 00 04 04 00 04 05 00 04 06 00 04 07"},
        // Split replies are joined; bytes beyond the 17 awaited are shown, not dropped.
        CommandCase{"read_split",
                    faults([](auto& f) { f.splitGap = 20ms; }),
                    {"read"},
                    "serial: 123456\ncredit: 1500\n",
                    0},
        CommandCase{"block_extra_bytes",
                    faults([](auto& f) { f.extraTrailingBytes = 2; }),
                    {"block", "3"},
                    "00 30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F EE EE\n",
                    0}));

INSTANTIATE_TEST_SUITE_P(
    ReaderFaults, CliCommandTest,
    ::testing::Values(
        CommandCase{"no_badge_read",
                    faults([](auto& f) { f.noBadge = true; }),
                    {"read"},
                    "serial:\ncredit:\n",
                    1},
        // The reply saying "no block" is still shown as it came; the status says no badge.
        CommandCase{"no_badge_block",
                    faults([](auto& f) { f.noBadge = true; }),
                    {"block", "0"},
                    kNoBlock + "\n",
                    1},
        CommandCase{"write_refused",
                    faults([](auto& f) { f.writeRefused = true; }),
                    {"write", "5"},
                    "ERREUR\n",
                    1,
                    "00 07 00 05"},
        // Only the credit read checks the ready status; the serial number is still read.
        CommandCase{"not_ready_read",
                    faults([](auto& f) { f.notReady = 0x01; }),
                    {"read"},
                    "serial: 123456\ncredit:\n",
                    1,
                    "00 04 00 00"},
        CommandCase{
            "silent_credit", faults([](auto& f) { f.silent = true; }), {"credit"}, "\n", 4, "00"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(CliProgram, WrittenCreditIsOnTheBadge) {
    ASSERT_EQ(cli({"write", "00042"}).status, 0);
    EXPECT_EQ(reader_.badge().credit(), 42);
    EXPECT_EQ(cli({"credit"}).out, "42\n");
}

class CliRefusalTest : public CliProgram,
                       public ::testing::WithParamInterface<std::vector<std::string>> {};

// A refused command line touches nothing: exit 2, a message, no output, no byte on the
// line, and the port not even opened (the trace would show the opening).
TEST_P(CliRefusalTest, ExitsTwoWithNothingOnTheLine) {
    std::vector<std::string> args = GetParam();
    args.insert(args.begin(), "--trace");
    const RunResult run = cli(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("palmota-cli: "), std::string::npos);
    EXPECT_EQ(run.err.find("open"), std::string::npos) << run.err;
    EXPECT_EQ(reader_.received(), "");
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, CliRefusalTest,
    ::testing::Values(std::vector<std::string>{"write", ""},
                      std::vector<std::string>{"write", "-1"},
                      std::vector<std::string>{"write", "12a"},
                      std::vector<std::string>{"write", "65536"},
                      std::vector<std::string>{"write", "99999999999999999999"},
                      std::vector<std::string>{"write"}, std::vector<std::string>{"block", "256"},
                      std::vector<std::string>{"block"}, std::vector<std::string>{"format"},
                      std::vector<std::string>{}));

// Every traced line: milliseconds with three decimals right-aligned, two spaces, then an
// opening, a closing, or an arrow with hex byte pairs.
const std::regex kTraceLine(
    R"( *[0-9]+\.[0-9]{3} ms  (open /\S+|close|-> [0-9A-F]{2}( [0-9A-F]{2})*|<-( [0-9A-F]{2})*))");

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

TEST_F(CliProgram, TraceShowsEachWriteAndReadInOrder) {
    const RunResult run = cli({"--trace", "read"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "serial: 123456\ncredit: 1500\n");  // the trace stays off standard output

    std::vector<std::string> events;
    double previous = -1;
    for (const std::string& line : lines(run.err)) {
        ASSERT_TRUE(std::regex_match(line, kTraceLine)) << line;
        const double ms = std::stod(line);
        EXPECT_GE(ms, previous) << line;
        previous = ms;
        events.push_back(line.substr(line.find(" ms  ") + 5));
    }
    const std::vector<std::string> expected = {
        "open " + reader_.devicePath(),
        "-> 00",
        "<- 00",
        "-> 04",
        "<- 00",
        "-> 00",
        "<- 00 00 01 02 03 04 05 06 07 00 01 E2 40 0C 0D 0E 0F",
        "-> 00",
        "<- 00",
        "-> 06",
        "<- 00 02 05 DC",
        "<-",
        "close"};
    EXPECT_EQ(events, expected);
}

TEST_F(CliProgram, WithoutTraceNothingIsSaidAboutExchanges) {
    const RunResult run = cli({"dump"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
}

// The exit status tells the emulator's faults apart, with one line on standard error
// naming the device.
struct StatusCase {
    const char* name;
    sim::ReaderFaults faults;
    std::vector<std::string> args;
    int status;
    std::string err;  // a part of the one error line
};

class CliStatusProgramTest : public CliProgram, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(CliStatusProgramTest, ExitsWithTheStatusOfTheFirstFailure) {
    const StatusCase& c = GetParam();
    setFaults(c.faults);
    const RunResult run = cli(c.args);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(lines(run.err).size(), c.status == 0 ? 0u : 1u) << run.err;
    EXPECT_EQ(run.err.rfind("palmota-cli: " + reader_.devicePath() + ": ", 0),
              c.status == 0 ? std::string::npos : 0u)
        << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    EmulatorFaults, CliStatusProgramTest,
    ::testing::Values(
        StatusCase{"ok", {}, {"read", "write", "1500", "credit"}, 0, ""},
        StatusCase{"silent",
                   faults([](auto& f) { f.silent = true; }),
                   {"read"},
                   4,
                   "no answer from the Reader within 1 s"},
        StatusCase{"not_ready",
                   faults([](auto& f) { f.notReady = 0x02; }),
                   {"credit", "serial"},
                   1,
                   "not ready (status 02)"},
        StatusCase{
            "no_badge", faults([](auto& f) { f.noBadge = true; }), {"serial"}, 1, "no badge"},
        StatusCase{"write_refused",
                   faults([](auto& f) { f.writeRefused = true; }),
                   {"write", "7", "credit"},
                   1,
                   "refused the write"},
        StatusCase{"no_final_reply",
                   faults([](auto& f) { f.noFinalWriteReply = true; }),
                   {"write", "7"},
                   5,
                   "may have been stored"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(CliProgram, RunsSeveralCommandsInOrderAndStopsAtTheFirstFailure) {
    RunResult run = cli({"read", "write", "1500", "-t", "write", "--verify", "77", "block", "1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "serial: 123456\ncredit: 1500\nOK\nOK\ncredit: 77\n"
              "00 00 4D 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n");
    // One opening for the whole run.
    EXPECT_NE(run.err.find(" open "), std::string::npos);
    EXPECT_EQ(run.err.find(" open "), run.err.rfind(" open ")) << run.err;

    reader_.clearLog();
    setFaults(faults([](auto& f) { f.notReady = 0x01; }));
    run = cli({"credit", "write", "5"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "\n");
    EXPECT_EQ(hexOf(reader_.received()), "00");
    EXPECT_EQ(reader_.badge().credit(), 77);
}

TEST_F(CliProgram, VerifiedWriteWithoutItsFinalReplyIsConfirmedByReadingBack) {
    setFaults(faults([](auto& f) { f.noFinalWriteReply = true; }));
    const RunResult run = cli({"write", "--verify", "250"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "ERREUR\ncredit: 250\nconfirmed by reading back\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(CliProgram, JsonGivesOneObjectACommand) {
    const RunResult run = cli({"--json", "read", "write", "--verify", "9", "dump", "block", "300"});
    EXPECT_EQ(run.status, 2);  // block 300 refuses the whole line
    EXPECT_EQ(run.out, "");

    const RunResult good = cli({"--json", "read", "write", "--verify", "9", "block", "2"});
    ASSERT_EQ(good.status, 0) << good.err;
    const std::vector<std::string> objects = lines(good.out);
    ASSERT_EQ(objects.size(), 3u) << good.out;
    std::vector<QJsonObject> parsed;
    for (const std::string& text : objects) {
        QJsonParseError error{};
        parsed.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(text), &error).object());
        EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
        EXPECT_TRUE(parsed.back()["ok"].toBool()) << text;
        EXPECT_EQ(parsed.back()["cause"].toString(), "ok");
        EXPECT_EQ(parsed.back()["status"].toInt(-1), 0);
        EXPECT_GT(parsed.back()["ms"].toDouble(), 0.0);
    }
    EXPECT_EQ(parsed[0]["serial"].toString(), "123456");
    EXPECT_EQ(parsed[0]["credit"].toString(), "1500");
    EXPECT_EQ(parsed[1]["command"].toString(), "write --verify 9");
    EXPECT_EQ(parsed[1]["result"].toString(), "OK");
    EXPECT_EQ(parsed[1]["credit"].toString(), "9");
    EXPECT_EQ(parsed[2]["bytes"].toString(), "00 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F");
}

// probe sends the one ready check to each port, and nothing at all to what is no
// serial device.
TEST_F(CliProgram, ProbeFindsTheReaderAndLeavesOtherPathsAlone) {
    const std::string file = ::testing::TempDir() + "cli_probe_regular_file";
    const std::string content("\x00\x07 not a port\n", 13);
    std::ofstream(file, std::ios::binary) << content;
    sim::ReaderFaults silent;
    silent.silent = true;
    sim::PtyReader quiet(sim::VirtualBadge::sample(), silent);
    ASSERT_TRUE(quiet.start());

    RunResult run = runProgram(
        PALMOTA_CLI, {"--trace", "probe", reader_.devicePath(), quiet.devicePath(), file});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind(reader_.devicePath() + "\tready\n" + quiet.devicePath() +
                                "\tno answer\n" + file + "\tcannot open\tnot a serial device",
                            0),
              0u)
        << run.out;
    EXPECT_EQ(hexOf(reader_.received()), "00");
    EXPECT_EQ(hexOf(quiet.received()), "00");
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);

    // Without a Reader that answered 00, the status says no answer.
    run = runProgram(PALMOTA_CLI, {"--json", "probe", quiet.devicePath()});
    EXPECT_EQ(run.status, 4);
    EXPECT_EQ(run.err,
              "palmota-cli: no Reader answered the ready check on the 1 port tried (is it powered "
              "and plugged in?)\n");
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
    EXPECT_EQ(object["state"].toString(), "no-answer");
    EXPECT_EQ(object["port"].toString(), QString::fromStdString(quiet.devicePath()));
}

TEST(CliProgramPorts, ListsTabSeparatedLinesAndOpensNothing) {
    const RunResult run = runProgram(PALMOTA_CLI, {"--trace", "ports"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");  // the trace would show any opening
    for (const std::string& line : lines(run.out)) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 5) << line;
        EXPECT_EQ(line.rfind("/dev/", 0), 0u) << line;
    }
    const RunResult json = runProgram(PALMOTA_CLI, {"ports", "--json"});
    EXPECT_EQ(lines(json.out).size(), lines(run.out).size());
    for (const std::string& line : lines(json.out))
        EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(line)).isObject()) << line;
}

TEST(CliProgramPort, PortThatCannotBeOpenedIsAFailureNotAUsageError) {
    const RunResult run = runProgram(PALMOTA_CLI, {"--port", "/dev/null", "credit"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "\n");
    EXPECT_NE(run.err.find("/dev/null"), std::string::npos);

    const RunResult missing = runProgram(PALMOTA_CLI, {"-p", "/dev/palmota-missing", "read"});
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(missing.out, "serial: ERREUR\ncredit:\n");
    EXPECT_EQ(missing.err,
              "palmota-cli: /dev/palmota-missing: no such serial device (is the Reader "
              "plugged in? 'palmota-cli ports' lists the serial devices present)\n");
}

}  // namespace
}  // namespace palmota

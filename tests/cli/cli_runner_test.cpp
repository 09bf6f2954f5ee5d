// palmota-cli's commands on a scripted line whose far side is the emulator's protocol
// engine, with time-outs on the fake clock: a silent Reader would cost seconds a command on
// a real port.
#include "cli/cli_runner.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <sstream>

#include "cli/cli_status.h"
#include "sim/reader_engine.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_journal.h"
#include "tests/support/hex.h"
#include "tests/support/scripted_line.h"
#include "tests/support/system_names.h"
#include "till/ledger.h"
#include "till/till.h"

namespace palmota::cli {
namespace {

using palmota::testing::Arrival;
using palmota::testing::FakeClock;
using palmota::testing::hex;
using palmota::testing::hexOf;
using palmota::testing::ScriptedLine;

const std::string kDevice = palmota::testing::onThisSystem("/dev/ttyUSB0");

// The Reader link on a scripted line answered by the emulator's engine. `tamper` may
// change what the Reader receives (a garbled amount) or what it answers.
struct Rig {
    explicit Rig(bool json = false) : runner(till, link, clock, out, err, json) {
        line.setResponder([this](const Bytes& written) {
            std::vector<Arrival> arrivals;
            if (answer) return answer(written);
            const Bytes received = receivedAs ? receivedAs(written) : written;
            for (const char byte : received)
                for (const sim::TimedPiece& piece : engine.receive(static_cast<std::uint8_t>(byte)))
                    arrivals.push_back({Seconds(piece.at), piece.bytes});
            return arrivals;
        });
    }

    void setFaults(void (*set)(sim::ReaderFaults&)) {
        sim::ReaderFaults faults;
        set(faults);
        engine.setFaults(faults);
    }

    std::vector<CliRequest> requests(const std::vector<std::string>& texts) {
        std::vector<CliRequest> all;
        for (const std::string& text : texts) {
            std::string error;
            all.push_back(*parseInputLine(text, error));
        }
        return all;
    }
    int run(const std::vector<std::string>& texts, bool keepGoing = false) {
        return runner.runAll(requests(texts), keepGoing);
    }

    FakeClock clock;
    ScriptedLine line{clock};
    sim::ReaderEngine engine;
    std::function<Bytes(const Bytes&)> receivedAs;
    std::function<std::vector<Arrival>(const Bytes&)> answer;
    bool signalled = false;  // a termination signal came, for a stop request to see
    ReaderLink link{line, clock, [] { return kDevice; }};
    till::Till till{link};
    std::ostringstream out;
    std::ostringstream err;
    CliRunner runner;
};

using palmota::testing::FakeJournal;

// The same with a journal beside the till, which `journaled` false takes away again.
struct JournaledRig : Rig {
    explicit JournaledRig(bool json = false, bool journaled = true) : Rig(json) {
        if (journaled) till.setLedger(&ledger);
    }
    FakeJournal journal;
    till::Ledger ledger{journal, till::Station::here("palmota-cli", [] { return kDevice; })};
};

// The one JSON object `out` holds.
QJsonObject onlyObject(const std::string& out) {
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << out;
    return document.object();
}

// The exit status of one command tells the outcomes apart; the output stays today's.
struct StatusCase {
    const char* name;
    std::function<void(Rig&)> setup;
    std::string command;
    std::string out;
    int status;
    std::string err;  // the one error line, after "palmota-cli: "; empty when none
};

void PrintTo(const StatusCase& row, std::ostream* out) {
    *out << row.name << ": \"" << row.command << "\" exits " << row.status;
}

class CliStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(CliStatusTest, MapsTheOutcomeToItsStatusAndOneErrorLine) {
    const StatusCase& c = GetParam();
    Rig rig;
    if (c.setup) c.setup(rig);
    EXPECT_EQ(rig.run({c.command}), c.status);
    EXPECT_EQ(rig.out.str(), c.out);
    EXPECT_EQ(rig.err.str(), c.err.empty() ? "" : "palmota-cli: " + c.err + "\n");
}

const std::string kNoBlock = "FF FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CliStatusTest,
    ::testing::Values(
        StatusCase{"Success", {}, "credit", "1500\n", 0, {}},
        StatusCase{"Silent", [](Rig& r) { r.setFaults([](auto& f) { f.silent = true; }); },
                   "credit", "\n", 4,
                   kDevice + ": no answer from the Reader within 1 s (is it powered and on this "
                             "port?)"},
        StatusCase{"NotReady", [](Rig& r) { r.setFaults([](auto& f) { f.notReady = 0x01; }); },
                   "credit", "\n", 1, kDevice + ": the Reader is not ready (status 01)"},
        StatusCase{"NoBadgeCredit", [](Rig& r) { r.setFaults([](auto& f) { f.noBadge = true; }); },
                   "credit", "\n", 1,
                   kDevice + ": no badge on the Reader (present one and try again)"},
        // The block's raw reply is still shown: only the status says it holds no block.
        StatusCase{"NoBadgeBlock", [](Rig& r) { r.setFaults([](auto& f) { f.noBadge = true; }); },
                   "block 0", kNoBlock + "\n", 1,
                   kDevice + ": no badge on the Reader (present one and try again)"},
        StatusCase{"ShortBlockReply",
                   [](Rig& r) {
                       r.setFaults([](auto& f) { f.splitGap = std::chrono::milliseconds{2500}; });
                   },
                   "block 2", "00 20 21 22 23 24 25 26\n", 1,
                   kDevice + ": short reply from the Reader: 8 of 17 bytes within 2 s (is the "
                             "badge held still?)"},
        StatusCase{"WriteRefused",
                   [](Rig& r) { r.setFaults([](auto& f) { f.writeRefused = true; }); }, "write 5",
                   "ERREUR\n", 1,
                   kDevice + ": the Reader refused the write (final byte FF); the credit is "
                             "unchanged"},
        StatusCase{"NoFinalReply",
                   [](Rig& r) { r.setFaults([](auto& f) { f.noFinalWriteReply = true; }); },
                   "write 5", "ERREUR\n", 5,
                   kDevice + ": the write was not confirmed within 3 s: the credit may have "
                             "been stored; read it back before trying again"},
        // Neither stored nor refused says nothing of the badge: a retry could credit twice.
        StatusCase{"UnexpectedFinalByte",
                   [](Rig& r) {
                       r.answer = [](const Bytes& w) {
                           return std::vector<Arrival>{
                               {Seconds{0}, w.size() == 2 ? hex("07") : hex("00")}};
                       };
                   },
                   "write 5", "\n", 5,
                   kDevice + ": the Reader answered the write with 07, neither stored (00) nor "
                             "refused (FF); read the credit back"},
        StatusCase{"MissingPort",
                   [](Rig& r) {
                       r.line.refuseOpen = "No such file or directory";
                       r.line.refuseKind = OpenError::Kind::NoSuchDevice;
                   },
                   "read", "serial: ERREUR\ncredit:\n", 3,
                   kDevice + ": no such serial device (is the Reader plugged in? 'palmota-cli "
                             "ports' lists the serial devices present)"},
        StatusCase{"PermissionRefused",
                   [](Rig& r) {
                       r.line.refuseOpen = "Permission denied";
                       r.line.refuseKind = OpenError::Kind::PermissionDenied;
                       r.line.refuseGroup = "dialout";
                   },
                   "write 5", "ERREUR\n", 3,
                   kDevice + ": permission denied; the user must be in the group that owns the "
                             "device (dialout): sudo usermod -aG dialout $USER, then log in again"},
        StatusCase{"LineLost",
                   [](Rig& r) {
                       r.answer = [&r](const Bytes&) {
                           r.line.breakLine();
                           return std::vector<Arrival>{};
                       };
                   },
                   "serial", "ERREUR\n", 4,
                   kDevice + ": the line was lost during the exchange (was the Reader unplugged?)"},
        // Only a failure before the block reply gives the word ERREUR; a Reader whose reply
        // spells it (45 52 52 45 55 52) gets its bytes shown like any other reply.
        StatusCase{"BlockReplySpellingErreur",
                   [](Rig& r) {
                       r.answer = [](const Bytes& w) {
                           return std::vector<Arrival>{
                               {Seconds{0}, w == hex("03") ? Bytes("ERREUR") : hex("00")}};
                       };
                   },
                   "block 3", "45 52 52 45 55 52\n", 1,
                   kDevice + ": short reply from the Reader: 6 of 17 bytes within 2 s (is the "
                             "badge held still?)"},
        StatusCase{"BlockWithoutReadyAnswer",
                   [](Rig& r) { r.setFaults([](auto& f) { f.silent = true; }); }, "block 3",
                   "ERREUR\n", 4,
                   kDevice + ": no answer from the Reader within 1 s (is it powered and on this "
                             "port?)"}),
    [](const auto& row) { return std::string(row.param.name); });

// write --verify reads the credit back after the write and judges by what it reads.
struct VerifyCase {
    const char* name;
    void (*faults)(sim::ReaderFaults&);
    bool garbleAmount;  // the Reader stores the amount with its lowest bit flipped
    std::string out;
    int status;
    std::string err;
    void (*thenFaults)(sim::ReaderFaults&) = nullptr;  // from the amount on
};

void PrintTo(const VerifyCase& row, std::ostream* out) {
    *out << row.name << ": prints " << ::testing::PrintToString(row.out) << ", status "
         << row.status;
}

class CliVerifyTest : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(CliVerifyTest, JudgesTheWriteByTheCreditReadBack) {
    const VerifyCase& c = GetParam();
    Rig rig;
    rig.setFaults(c.faults);
    rig.receivedAs = [&rig, &c](const Bytes& w) {
        Bytes garbled = w;
        if (w.size() == 2 && c.garbleAmount) garbled[1] = static_cast<char>(garbled[1] ^ 1);
        if (w.size() == 2 && c.thenFaults) rig.setFaults(c.thenFaults);
        return garbled;
    };
    EXPECT_EQ(rig.run({"write --verify 0042"}), c.status);
    EXPECT_EQ(rig.out.str(), c.out);
    EXPECT_EQ(rig.err.str(), c.err.empty() ? "" : "palmota-cli: " + c.err + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    ReadBack, CliVerifyTest,
    ::testing::Values(
        VerifyCase{"Confirmed", [](auto&) {}, false, "OK\ncredit: 42\n", 0, ""},
        VerifyCase{"UnconfirmedButStored", [](auto& f) { f.noFinalWriteReply = true; }, false,
                   "ERREUR\ncredit: 42\nconfirmed by reading back\n", 0, ""},
        // The amount went out and the badge was not seen to hold it: the credit may have
        // changed, so a script must read it before it tries again.
        VerifyCase{"ConfirmedButDiffers", [](auto&) {}, true, "OK\ncredit: 43\n", 5,
                   kDevice + ": the credit read back is 43, not the 42 written"},
        VerifyCase{"UnconfirmedAndDiffers", [](auto& f) { f.noFinalWriteReply = true; }, true,
                   "ERREUR\ncredit: 43\n", 5,
                   kDevice + ": the credit read back is 43, not the 42 written"},
        VerifyCase{"ConfirmedButReadBackNotReady", [](auto&) {}, false, "OK\ncredit:\n", 5,
                   kDevice + ": the Reader is not ready (status 05); reading back the 42 "
                             "written: it may be stored, read it back before trying again",
                   [](auto& f) { f.notReady = 0x05; }},
        // A copy of every reply 50 ms late, and a Reader that refuses and never confirms:
        // the late copies must not pass for a stored write, nor for the credit read back.
        VerifyCase{"TwiceSplitRefusedUnconfirmed",
                   [](auto& f) {
                       f.repliesTwice = true, f.splitGap = std::chrono::milliseconds{50},
                       f.writeRefused = true, f.noFinalWriteReply = true;
                   },
                   false, "\ncredit: 1500\n", 5,
                   kDevice + ": the credit read back is 1500, not the 42 written"},
        VerifyCase{"Refused", [](auto& f) { f.writeRefused = true; }, false,
                   "ERREUR\ncredit: 1500\n", 1,
                   kDevice + ": the Reader refused the write (final byte FF); the credit is "
                             "unchanged"},
        // Nothing reached the Reader: nothing to read back either.
        VerifyCase{"Silent", [](auto& f) { f.silent = true; }, false, "ERREUR\ncredit:\n", 4,
                   kDevice + ": no answer from the Reader within 1 s (is it powered and on this "
                             "port?)"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CliVerify, UnconfirmedWriteWhoseReadBackFailsStaysUnconfirmed) {
    Rig rig;
    rig.setFaults([](auto& f) { f.noFinalWriteReply = true; });
    rig.receivedAs = [&rig](const Bytes& w) {
        // The Reader goes quiet once it has the amount.
        if (w.size() == 2)
            rig.engine.setFaults([] {
                sim::ReaderFaults f;
                f.silent = true;
                return f;
            }());
        return w;
    };
    // The amount went out, and nothing says whether it was stored.
    EXPECT_EQ(rig.run({"write --verify 7"}), kExitNotConfirmed);
    EXPECT_EQ(rig.out.str(), "ERREUR\ncredit:\n");
}

TEST(CliCommands, StopAtTheFirstFailureWithNothingMoreSent) {
    Rig rig;
    rig.setFaults([](auto& f) { f.writeRefused = true; });
    EXPECT_EQ(rig.run({"read", "write 1500", "credit"}), kExitReaderFailed);
    EXPECT_EQ(rig.out.str(), "serial: 123456\ncredit: 1500\nERREUR\n");
    // The last bytes sent are the refused write's amount: no credit read after it.
    EXPECT_EQ(hexOf(rig.line.writes.back()), "05 DC");
    EXPECT_EQ(rig.line.opened.size(), 1u);  // one opening for the whole run
}

TEST(CliCommands, KeepGoingRunsEveryCommandAndKeepsTheFirstFailure) {
    Rig rig;
    rig.setFaults([](auto& f) { f.noFinalWriteReply = true; });
    EXPECT_EQ(rig.run({"credit", "write 5", "block 9", "credit"}, true), kExitNotConfirmed);
    EXPECT_EQ(rig.out.str(), "1500\nERREUR\n" + kNoBlock + "\n5\n");
    EXPECT_EQ(rig.err.str(),
              "palmota-cli: " + kDevice +
                  ": the write was not confirmed within 3 s: the credit may have been stored; "
                  "read it back before trying again\n"
                  "palmota-cli: " +
                  kDevice + ": no badge on the Reader (present one and try again)\n");
}

TEST(CliLines, ABadLineIsAUsageErrorForItselfAndNothingOfItIsSent) {
    for (const bool keepGoing : {false, true}) {
        Rig rig;
        std::istringstream in("credit\n\n# a comment\n  write -5\nwrite 7\n");
        EXPECT_EQ(rig.runner.runLines(in, keepGoing), kExitUsage);
        EXPECT_EQ(rig.err.str(),
                  "palmota-cli: line 4: amount \"-5\": digits only, with a value from 0 to 65535; "
                  "nothing sent\n");
        EXPECT_EQ(rig.out.str(), keepGoing ? "1500\nOK\n" : "1500\n");
        EXPECT_EQ(rig.engine.badge().credit(), keepGoing ? 7 : 1500);
    }
}

TEST(CliLines, AnEndlessLineIsRefusedWithoutBeingKept) {
    Rig rig;
    std::istringstream in(std::string(1 << 20, 'w') + "\ncredit\nwrite 3\n");
    EXPECT_EQ(rig.runner.runLines(in, true), kExitUsage);
    EXPECT_EQ(rig.err.str(),
              "palmota-cli: line 1: a line of more than 4096 characters; nothing sent\n");
    EXPECT_EQ(rig.out.str(), "1500\nOK\n");  // the lines after it still run
}

// Comments and blank lines are skipped whatever their length; a last line the input
// ended inside may be a command cut short ("write 17" of "write 1750") and never runs.
struct LinesCase {
    const char* name;
    std::string input;
    int status;
    std::string out;
    std::string err;  // after "palmota-cli: "; empty when none
    const char* written;
};

void PrintTo(const LinesCase& c, std::ostream* os) {
    *os << c.name;
}

class CliLinesTest : public ::testing::TestWithParam<LinesCase> {};

TEST_P(CliLinesTest, RunsOnlyWholeCommandLines) {
    const LinesCase& c = GetParam();
    Rig rig;
    std::istringstream in(c.input);
    EXPECT_EQ(rig.runner.runLines(in, true), c.status);
    EXPECT_EQ(rig.out.str(), c.out);
    EXPECT_EQ(rig.err.str(), c.err.empty() ? "" : "palmota-cli: " + c.err + "\n");
    EXPECT_EQ(hexOf(rig.line.allWritten()), c.written);
}

const std::string kCutShort =
    "the input ended before this line's end; a line runs only once its line end came; "
    "nothing sent";

INSTANTIATE_TEST_SUITE_P(
    Input, CliLinesTest,
    ::testing::Values(
        LinesCase{
            "LongComment", "# " + std::string(10000, 'x') + "\ncredit\n", 0, "1500\n", {}, "00 06"},
        LinesCase{
            "LongBlankLine", std::string(10000, ' ') + "\t\r\ncredit\n", 0, "1500\n", {}, "00 06"},
        LinesCase{"IndentedLongComment",
                  std::string(5000, ' ') + "#" + std::string(5000, 'x') + "\ncredit\n",
                  0,
                  "1500\n",
                  {},
                  "00 06"},
        LinesCase{"LastLineCutShort", "credit\nwrite --verify 17", 2, "1500\n",
                  "line 2: " + kCutShort, "00 06"},
        LinesCase{"OnlyLineCutShort", "write 1750", 2, "", "line 1: " + kCutShort, ""},
        LinesCase{"LastCommentWithoutLineEnd", "credit\n# the end", 0, "1500\n", {}, "00 06"},
        LinesCase{"LastSpacesWithoutLineEnd", "credit\n  ", 0, "1500\n", {}, "00 06"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CliLines, EndOfInputEndsTheRunWithTheFirstFailure) {
    Rig rig;
    rig.setFaults([](auto& f) { f.noBadge = true; });
    std::istringstream in("serial\r\ncredit\n");
    EXPECT_EQ(rig.runner.runLines(in, true), kExitReaderFailed);
    EXPECT_EQ(rig.out.str(), "\n\n");
}

TEST(CliStop, ARequestEndsTheRunBetweenCommands) {
    Rig rig;
    int asked = 0;
    rig.runner.setStopRequest([&asked] { return ++asked > 3; });
    // Asked before "read", before each of its two operations, then before "credit".
    EXPECT_EQ(rig.run({"read", "credit"}), kExitInterrupted);
    EXPECT_EQ(rig.out.str(), "serial: 123456\ncredit: 1500\n");
    EXPECT_EQ(rig.err.str(), "");
}

TEST(CliStop, ARequestDuringADumpEndsItAfterTheBlockUnderWay) {
    Rig rig;
    // The signal comes while block 1 is read: block 1 is read to its end, block 2 never.
    rig.runner.setStopRequest([&rig] { return rig.line.writes.size() > 3; });
    EXPECT_EQ(rig.run({"dump"}), kExitInterrupted);
    EXPECT_EQ(rig.out.str(),
              "0: 00 00 01 02 03 04 05 06 07 00 01 E2 40 0C 0D 0E 0F\n"
              "1: 00 05 DC 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n");
    EXPECT_EQ(hexOf(rig.line.allWritten()), "00 04 00 00 04 01");
    EXPECT_EQ(rig.err.str(),
              "palmota-cli: " + kDevice + ": interrupted before the block read; nothing sent\n");
}

TEST(CliStop, ARequestDuringTheWaitForInputIsNotTakenForItsEnd) {
    Rig rig;
    std::istringstream in("credit\n");
    // The signal arrives while the next line is awaited, and the wait then finds none.
    rig.runner.setStopRequest([&in] { return in.eof(); });
    EXPECT_EQ(rig.runner.runLines(in, false), kExitInterrupted);
    EXPECT_EQ(rig.out.str(), "1500\n");
}

// A signal after an amount went out, confirmed or not: 130 would tell a script that
// nothing changed, and a retry would load the badge twice.
TEST(CliStop, ASignalAfterAnAmountWentOutEndsTheRunWithFiveEvenWhenTheWriteWasConfirmed) {
    for (const bool confirmed : {true, false}) {
        Rig rig;
        if (!confirmed) rig.setFaults([](auto& f) { f.noFinalWriteReply = true; });
        rig.runner.setStopRequest([&rig] { return rig.line.writes.size() >= 3; });
        EXPECT_EQ(rig.run({"write 5", "credit"}, true), kExitNotConfirmed) << confirmed;
        EXPECT_EQ(hexOf(rig.line.allWritten()), "00 07 00 05") << confirmed;
    }
}

// The index, counted from 1, of the host's write that carried the amount: the one after 07.
std::size_t amountWriteNumber(const ScriptedLine& line) {
    for (std::size_t i = 0; i + 1 < line.writes.size(); ++i)
        if (line.writes[i] == hex("07")) return i + 2;
    return 0;
}

// Where a stop lands once the amount went out: once the host has made its Nth write (from
// the amount's to the command's last), while the journal completes the row, or while a
// session on standard input waits for its next line; or where standard output closes.
enum class StopPoint { AtWrite, DuringCompletion, WaitingForInput, OutputClosedAtWrite };
constexpr const char* kStopPointNames[] = {"stop at write", "stop during completion",
                                           "stop waiting for input", "output closed at write"};

// Every stop after the amount, for each command that writes, with and without a journal,
// in text and in JSON: the run ends with 5, nothing more goes out, and the command's own
// JSON line still says what came of it.
TEST(CliStop, AnyStopOnceAnAmountWentOutEndsTheRunWithFive) {
    int runs = 0;
    for (const std::string command : {"topup 5", "write --verify 42", "write 42"}) {
        for (const bool journaled : {false, true}) {
            JournaledRig reference(false, journaled);
            ASSERT_EQ(reference.run({command}), kExitSuccess) << command;
            const std::size_t last = reference.line.writes.size();
            const std::size_t amount = amountWriteNumber(reference.line);
            ASSERT_GT(amount, 0u) << command;
            std::vector<std::pair<StopPoint, std::size_t>> points;
            for (std::size_t at = amount; at <= last; ++at) {
                points.push_back({StopPoint::AtWrite, at});
                points.push_back({StopPoint::OutputClosedAtWrite, at});
            }
            if (journaled) points.push_back({StopPoint::DuringCompletion, last});
            points.push_back({StopPoint::WaitingForInput, last});
            for (const auto& [point, at] : points) {
                for (const bool json : {false, true}) {
                    const std::string name =
                        command + (journaled ? ", journaled" : "") + (json ? ", json, " : ", ") +
                        kStopPointNames[static_cast<int>(point)] + " " + std::to_string(at);
                    JournaledRig rig(json, journaled);
                    bool stop = false;
                    rig.journal.duringComplete = [&stop, point = point] {
                        if (point == StopPoint::DuringCompletion) stop = true;
                    };
                    int status = 0;
                    if (point == StopPoint::WaitingForInput) {
                        // The signal comes once the command's line has run, and the wait
                        // for the next finds the input's end.
                        std::istringstream in(command + "\n");
                        rig.runner.setStopRequest([&in] { return in.eof(); });
                        status = rig.runner.runLines(in, true);
                    } else {
                        rig.runner.setStopRequest([&, point = point, at = at] {
                            const bool reached = rig.line.writes.size() >= at;
                            if (point == StopPoint::AtWrite && reached) stop = true;
                            // Nobody reads the answers from then on.
                            if (point == StopPoint::OutputClosedAtWrite && reached)
                                rig.out.setstate(std::ios::badbit);
                            return stop;
                        });
                        status = rig.run({command, "credit"}, true);
                    }
                    ++runs;
                    EXPECT_EQ(status, kExitNotConfirmed) << name;
                    // Once stopped, the credit never runs; a closed output is only seen
                    // when a line cannot be written, maybe the credit's own.
                    if (point != StopPoint::OutputClosedAtWrite) {
                        EXPECT_LE(rig.line.writes.size(), last) << name;
                    }
                    // Standard error says why, whatever the command's own verdict was.
                    EXPECT_NE(rig.err.str().find("before trying again"), std::string::npos)
                        << name << ": " << rig.err.str();
                    // A closed output took the JSON line with it.
                    if (!json || point == StopPoint::OutputClosedAtWrite) continue;
                    const QJsonObject got = onlyObject(rig.out.str());
                    const int own = got["status"].toInt();
                    // Its last exchange had begun: it ran to its end, and the command
                    // says its own success.
                    if (point != StopPoint::AtWrite || at == last) {
                        EXPECT_EQ(own, kExitSuccess) << name;
                    }
                    EXPECT_TRUE(own == kExitSuccess || own == kExitNotConfirmed) << name;
                    EXPECT_EQ(got["ok"].toBool(), own == kExitSuccess) << name;
                    EXPECT_EQ(got["cause"].toString() == "ok", own == kExitSuccess) << name;
                }
            }
        }
    }
    EXPECT_GT(runs, 100);
}

// An output that refuses every write, as a closed pipe does once SIGPIPE is ignored.
class ClosedBuffer final : public std::streambuf {
  protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST(CliStop, AClosedOutputEndsTheRunAtOnce) {
    for (const bool json : {false, true}) {
        FakeClock clock;
        ScriptedLine line(clock);
        sim::ReaderEngine engine;
        line.setResponder([&engine](const Bytes& written) {
            std::vector<Arrival> arrivals;
            for (const char byte : written)
                for (const auto& piece : engine.receive(static_cast<std::uint8_t>(byte)))
                    arrivals.push_back({Seconds(piece.at), piece.bytes});
            return arrivals;
        });
        ReaderLink link(line, clock, [] { return kDevice; });
        till::Till till(link);
        ClosedBuffer closed;
        std::ostream out(&closed);
        std::ostringstream err;
        CliRunner runner(till, link, clock, out, err, json);
        std::istringstream in("credit\ncredit\ncredit\n");
        EXPECT_EQ(runner.runLines(in, true), kExitOutputClosed);
        EXPECT_EQ(hexOf(line.allWritten()), "00 06") << "json " << json;
    }
}

// --json: one object a line, with the results as the link's texts.
struct JsonCase {
    const char* name;
    void (*faults)(sim::ReaderFaults&);
    std::string command;
    const char* json;  // the fields beside "ms", as a JSON object
    // A signal comes once the host has written this many times (0: none comes).
    std::size_t signalAfterWrites = 0;
    // With a journal beside the till, set up so (none: no journal).
    void (*journal)(JournaledRig&) = nullptr;
};

void PrintTo(const JsonCase& row, std::ostream* out) {
    *out << row.name << ": \"" << row.command << "\" gives " << row.json;
}

class CliJsonTest : public ::testing::TestWithParam<JsonCase> {};

TEST_P(CliJsonTest, GivesTheFieldsOfEachCommand) {
    const JsonCase& c = GetParam();
    JournaledRig rig(true, c.journal != nullptr);
    rig.setFaults(c.faults);
    if (c.journal) c.journal(rig);
    rig.runner.setStopRequest([&rig, &c] {
        return rig.signalled ||
               (c.signalAfterWrites > 0 && rig.line.writes.size() >= c.signalAfterWrites);
    });
    rig.run({c.command});
    QJsonObject got = onlyObject(rig.out.str());
    // A failed command's one line on standard error is its "error"; a success has none.
    EXPECT_EQ(rig.err.str(), got.contains("error")
                                 ? "palmota-cli: " + got["error"].toString().toStdString() + "\n"
                                 : "");
    ASSERT_TRUE(got.contains("ms"));
    EXPECT_TRUE(got.take("ms").isDouble());
    const QJsonObject wanted =
        QJsonDocument::fromJson(QByteArray::fromStdString(palmota::testing::onThisSystem(c.json)))
            .object();
    ASSERT_FALSE(wanted.isEmpty()) << c.json;
    EXPECT_EQ(got, wanted) << QJsonDocument(got).toJson(QJsonDocument::Compact).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CliJsonTest,
    ::testing::Values(
        JsonCase{"Serial", [](auto&) {}, "serial",
                 R"j({"command":"serial","ok":true,"cause":"ok","status":0,"result":"123456"})j"},
        JsonCase{"Read", [](auto&) {}, "read",
                 R"j({"command":"read","ok":true,"cause":"ok","status":0,"serial":"123456",
                     "credit":"1500"})j"},
        JsonCase{"WriteVerify", [](auto&) {}, "write --verify 042",
                 R"j({"command":"write --verify 042","ok":true,"cause":"ok","status":0,
                     "result":"OK","credit":"42","verified":true})j"},
        JsonCase{"WriteVerifyByReadingBack", [](auto& f) { f.noFinalWriteReply = true; },
                 "write --verify 9",
                 R"j({"command":"write --verify 9","ok":true,"cause":"ok","status":0,
                     "result":"ERREUR","credit":"9","verified":true,
                     "confirmedByReadingBack":true})j"},
        JsonCase{"Block", [](auto&) {}, "block 1",
                 R"j({"command":"block 1","ok":true,"cause":"ok","status":0,
                     "bytes":"00 05 DC 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F"})j"},
        JsonCase{"WriteNotConfirmed", [](auto& f) { f.noFinalWriteReply = true; }, "write 9",
                 R"j({"command":"write 9","ok":false,"cause":"not-confirmed","status":5,
                     "result":"ERREUR","error":"/dev/ttyUSB0: the write was not confirmed within 3 s: the credit may have been stored; read it back before trying again"})j"},
        JsonCase{"SilentCredit", [](auto& f) { f.silent = true; }, "credit",
                 R"j({"command":"credit","ok":false,"cause":"no-answer","status":4,"result":"",
                     "error":"/dev/ttyUSB0: no answer from the Reader within 1 s (is it powered and on this port?)"})j"},
        // Cut short by a signal: never a success, however well the part that ran went.
        JsonCase{"ReadInterruptedAfterTheSerial", [](auto&) {}, "read",
                 R"j({"command":"read","ok":false,"cause":"interrupted","status":130,
                     "serial":"123456","credit":"",
                     "error":"/dev/ttyUSB0: interrupted before the credit read; nothing sent"})j",
                 1},
        JsonCase{"WriteVerifyInterruptedBeforeTheReadBack", [](auto&) {}, "write --verify 8",
                 R"j({"command":"write --verify 8","ok":false,"cause":"interrupted",
                     "status":5,"result":"OK","credit":"","verified":false,
                     "error":"/dev/ttyUSB0: interrupted before the credit read; nothing sent; reading back the 8 written: it may be stored, read it back before trying again"})j",
                 1},
        JsonCase{"WriteNotConfirmedThenInterrupted", [](auto& f) { f.noFinalWriteReply = true; },
                 "write --verify 8",
                 R"j({"command":"write --verify 8","ok":false,"cause":"not-confirmed",
                     "status":5,"result":"ERREUR","credit":"","verified":false,
                     "error":"/dev/ttyUSB0: the write was not confirmed within 3 s: the credit may have been stored; read it back before trying again"})j",
                 1},
        // Cut short by a signal before anything was written: interrupted, never ok.
        JsonCase{"TopupInterruptedDuringItsReads", [](auto&) {}, "topup 5",
                 R"j({"command":"topup 5","ok":false,"cause":"interrupted","status":130,
                     "serial":"123456",
                     "error":"/dev/ttyUSB0: interrupted before the credit read; nothing sent"})j",
                 3},
        // Once the amount went out, a signal leaves the credit unknown: 5.
        JsonCase{"TopupInterruptedAfterTheAmount", [](auto&) {}, "topup 5",
                 R"j({"command":"topup 5","ok":false,"cause":"interrupted","status":5,
                     "serial":"123456","before":1500,"after":null,"result":"OK",
                     "error":"/dev/ttyUSB0: interrupted before the serial number read; nothing sent; the write was confirmed: read the credit before trying again"})j",
                 11},
        // With a journal.
        JsonCase{"JournaledTopup", [](auto&) {}, "topup 200",
                 R"j({"command":"topup 200","ok":true,"cause":"ok","status":0,
                     "serial":"123456","before":1500,"after":1700,"serialAfter":"123456",
                     "result":"OK"})j",
                 0, [](JournaledRig&) {}},
        // Stored, but the journal could not say so: the cause is the journal's, whatever
        // the Reader's verdict was.
        JsonCase{"TopupWhoseOutcomeCouldNotBeRecorded", [](auto&) {}, "topup 200",
                 R"j({"command":"topup 200","ok":false,"cause":"outcome-not-recorded",
                     "status":5,"serial":"123456","before":1500,"after":1700,
                     "serialAfter":"123456","result":"OK",
                     "error":"journal: the outcome of write row-1 (ok, credit read back 1700) could not be recorded in /var/lib/palmota/journal.db: server gone; the row stays without outcome"})j",
                 0, [](JournaledRig& r) { r.journal.refuseComplete = true; }},
        JsonCase{"WriteWhoseOutcomeCouldNotBeRecorded", [](auto&) {}, "write 700",
                 R"j({"command":"write 700","ok":false,"cause":"outcome-not-recorded",
                     "status":5,"result":"OK",
                     "error":"journal: the outcome of write row-1 (ok, credit read back 700) could not be recorded in /var/lib/palmota/journal.db: server gone; the row stays without outcome"})j",
                 0, [](JournaledRig& r) { r.journal.refuseComplete = true; }},
        // A signal while the journal waits for a lock another program holds: the row was
        // never taken, and the command was stopped, not refused by the journal.
        JsonCase{"TopupStoppedWhileTheJournalWaitsForALock", [](auto&) {}, "topup 5",
                 R"j({"command":"topup 5","ok":false,"cause":"interrupted","status":130,
                     "serial":"123456","before":1500,"after":null,
                     "error":"/dev/ttyUSB0: interrupted before the write; nothing sent"})j",
                 0,
                 [](JournaledRig& r) {
                     r.journal.refuseBegin = true;
                     r.journal.duringBegin = [&r] { r.signalled = true; };
                 }},
        JsonCase{"WriteStoppedWhileTheJournalWaitsForALock", [](auto&) {}, "write --verify 700",
                 R"j({"command":"write --verify 700","ok":false,"cause":"interrupted",
                     "status":130,"result":"ERREUR","credit":"","verified":false,
                     "error":"/dev/ttyUSB0: interrupted before the write; nothing sent"})j",
                 0,
                 [](JournaledRig& r) {
                     r.journal.refuseBegin = true;
                     r.journal.duringBegin = [&r] { r.signalled = true; };
                 }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(CliJson, DumpGivesEightBlockTextsAndTheTimeTaken) {
    Rig rig(true);
    rig.setFaults([](auto& f) { f.silent = true; });
    EXPECT_EQ(rig.run({"dump"}), kExitNoAnswer);
    const QJsonObject got = onlyObject(rig.out.str());
    const QJsonArray blocks = got["blocks"].toArray();
    ASSERT_EQ(blocks.size(), 8);
    for (const auto& block : blocks) EXPECT_EQ(block.toString(), "ERREUR");
    EXPECT_EQ(got["cause"].toString(), "no-answer");
    // Eight ready checks, each given up after its 1 s limit on the fake clock.
    EXPECT_GE(got["ms"].toDouble(), 8000.0);
    EXPECT_LT(got["ms"].toDouble(), 8100.0);
}

TEST(CliJson, ABadLineGetsAnObjectOfItsOwn) {
    Rig rig(true);
    std::istringstream in("block 256\n");
    EXPECT_EQ(rig.runner.runLines(in, false), kExitUsage);
    const QJsonObject got = onlyObject(rig.out.str());
    EXPECT_EQ(got["command"].toString(), "block 256");
    EXPECT_EQ(got["cause"].toString(), "usage");
    EXPECT_EQ(got["status"].toInt(), 2);
    EXPECT_FALSE(got["ok"].toBool());
    EXPECT_TRUE(rig.line.writes.empty());
}

// topup: the sum is made from the credit read, and judged by the serial number and the
// credit read back. The sample badge holds 1500.
struct TopupCase {
    const char* name;
    std::function<void(Rig&)> setup;
    std::string amount;
    std::string out;
    int status;
    std::string written;  // the amount bytes that went out, in hex; "" when none did
};

void PrintTo(const TopupCase& c, std::ostream* os) {
    *os << c.name << " (topup " << c.amount << ")";
}

// The amount bytes of the credit write among the bytes written, if one went out.
std::string amountWritten(const ScriptedLine& line) {
    for (std::size_t i = 0; i + 1 < line.writes.size(); ++i)
        if (line.writes[i] == hex("07")) return hexOf(line.writes[i + 1]);
    return "";
}

class TopupTest : public ::testing::TestWithParam<TopupCase> {};

TEST_P(TopupTest, WritesTheSumOnlyWhenItFitsAndJudgesItByTheReadBack) {
    const TopupCase& c = GetParam();
    Rig rig;
    if (c.setup) c.setup(rig);
    EXPECT_EQ(rig.run({"topup " + c.amount}), c.status) << rig.err.str();
    EXPECT_EQ(rig.out.str(), c.out);
    EXPECT_EQ(amountWritten(rig.line), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Sums, TopupTest,
    ::testing::Values(
        // Leading zeros are decimal: 010 is ten, not eight.
        TopupCase{"LeadingZerosAreDecimal",
                  {},
                  "010",
                  "serial: 123456\ncredit: 1500 -> 1510\n",
                  0,
                  "05 E6"},
        TopupCase{
            "UpToTheLimit", {}, "64035", "serial: 123456\ncredit: 1500 -> 65535\n", 0, "FF FF"},
        TopupCase{"OneOverTheLimit", {}, "64036", "serial: 123456\ncredit: 1500\n", 1, ""},
        TopupCase{"FarOverTheLimit",
                  {},
                  "99999999999999999999999999",
                  "serial: 123456\ncredit: 1500\n",
                  1,
                  ""},
        TopupCase{"UnconfirmedButStored",
                  [](Rig& r) { r.setFaults([](auto& f) { f.noFinalWriteReply = true; }); }, "5",
                  "serial: 123456\ncredit: 1500 -> 1505\nconfirmed by reading back\n", 0, "05 E1"},
        TopupCase{"Refused", [](Rig& r) { r.setFaults([](auto& f) { f.writeRefused = true; }); },
                  "5", "serial: 123456\ncredit: 1500 (unchanged: the Reader refused the write)\n",
                  1, "05 E1"},
        TopupCase{"NoBadge", [](Rig& r) { r.setFaults([](auto& f) { f.noBadge = true; }); }, "5",
                  "serial:\n", 1, ""},
        // Another badge was laid on the Reader between the reading and the write: the sum
        // went to a badge it was not made for.
        TopupCase{"BadgeChanged",
                  [](Rig& r) {
                      r.receivedAs = [&r](const Bytes& w) {
                          if (w.size() == 2) {
                              sim::VirtualBadge other = sim::VirtualBadge::sample();
                              other.setSerialNumber(777);
                              other.setCredit(20);
                              r.engine.setBadge(other);
                          }
                          return w;
                      };
                  },
                  "5", "serial: 123456 -> 777\ncredit: 1500 -> 1505\n", 5, "05 E1"},
        // Stored, said the Reader; then nothing answered: what the badge holds is unknown.
        TopupCase{"ConfirmedButNotReadBack",
                  [](Rig& r) {
                      r.receivedAs = [&r](const Bytes& w) {
                          // Silent once the amount is answered.
                          if (w.size() == 2)
                              r.answer = [](const Bytes&) { return std::vector<Arrival>{}; };
                          return w;
                      };
                  },
                  "5", "serial: 123456\ncredit: 1500 ->\n", 5, "05 E1"}),
    [](const auto& row) { return std::string(row.param.name); });

// The badge written is not the one read last: B took the amount and the first serial read
// after it, then A was back. The line names every badge that was on the Reader.
TEST(CliTopup, ABadgeChangedDuringTheTopupNamesEveryBadgeRead) {
    Rig rig;
    const sim::VirtualBadge first = sim::VirtualBadge::sample();
    int creditReads = 0;  // after the amount
    bool written = false;
    rig.receivedAs = [&](const Bytes& w) {
        if (w.size() == 2) {
            sim::VirtualBadge other = first;
            other.setSerialNumber(777);
            other.setCredit(20);
            rig.engine.setBadge(other);
            written = true;
        } else if (written && w == hex("06") && ++creditReads == 1) {
            rig.engine.setBadge(first);
        }
        return w;
    };
    EXPECT_EQ(rig.run({"topup 5"}), 5);
    EXPECT_EQ(rig.out.str(), "serial: 123456 -> 777 -> 123456\ncredit: 1500 ->\n");
    EXPECT_NE(rig.err.str().find("the badges read after it were 777, then 123456; read badges "
                                 "123456, 777 before anything else"),
              std::string::npos)
        << rig.err.str();
}

TEST(CliJournal, ARowThatCannotBeCommittedLetsNoWriteOut) {
    for (const std::string command : {"write 1700", "topup 200"}) {
        JournaledRig rig;
        rig.journal.refuseBegin = true;
        EXPECT_EQ(rig.run({command}), kExitJournal) << command;
        EXPECT_EQ(amountWritten(rig.line), "") << command;
        EXPECT_EQ(rig.err.str(),
                  "palmota-cli: journal unavailable: /var/lib/palmota/journal.db: disk full; "
                  "nothing written\n")
            << command;
    }
}

TEST(CliJournal, AnOutcomeThatCannotBeRecordedIsSaidWithTheRowAndFailsTheRun) {
    JournaledRig rig;
    rig.journal.refuseComplete = true;
    EXPECT_EQ(rig.run({"topup 200"}), kExitNotConfirmed);
    EXPECT_EQ(amountWritten(rig.line), "06 A4");
    EXPECT_NE(rig.err.str().find("the outcome of write row-1 (ok, credit read back 1700) could "
                                 "not be recorded"),
              std::string::npos)
        << rig.err.str();
}

}  // namespace
}  // namespace palmota::cli

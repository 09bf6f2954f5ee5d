// Every cause an operation can meet, against a scripted Reader: the result text stays the
// one the procedure has always returned, and the outcome beside it says why.
#include "reader/outcome.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>

#include "reader/palmota.h"
#include "reader/reader_link.h"
#include "tests/support/hex.h"
#include "tests/support/scripted_line.h"
#include "tests/support/system_names.h"

namespace palmota {
namespace {

using namespace std::chrono_literals;
using testing::Arrival;
using testing::FakeClock;
using testing::hex;
using testing::ScriptedLine;

using Reply = std::vector<Arrival>;
using Run = std::function<std::string(Palmota&)>;

const Run readCredit = [](Palmota& p) { return p.ReadCredit(); };
const Run readSerial = [](Palmota& p) { return p.ReadSerialNumber(); };
const Run readBlock3 = [](Palmota& p) { return p.ReadBlock(3); };
Run write(std::string amount) {
    return [amount](Palmota& p) { return p.WriteCredit(amount); };
}

const char* const kBlockZero = "00 00 00 00 00 00 00 00 00 00 01 E2 40 00 00 00 00";
const char* const kNoBlock = "FF FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

struct CauseCase {
    const char* name;
    Run run;
    std::vector<const char*> replies;  // one per write, in hex; "-" answers nothing
    std::string result;
    Cause cause;
    std::string line;  // what describe() says, in full
    // Set up a fault before the run (a refused opening, a line that breaks).
    std::function<void(ScriptedLine&, std::string& chooser)> fault = {};
    bool endRequested = false;  // the program was asked to end before the run
};

void PrintTo(const CauseCase& row, std::ostream* out) {
    *out << row.name << ": replies";
    for (const char* reply : row.replies) *out << " [" << reply << ']';
    *out << " give \"" << row.result << '"';
}

class OutcomeTest : public ::testing::TestWithParam<CauseCase> {};

TEST_P(OutcomeTest, TellsTheCauseBesideTheUnchangedResult) {
    const CauseCase& c = GetParam();
    FakeClock clock;
    ScriptedLine line(clock);
    std::string chooser = "/dev/ttyUSB0";
    std::deque<const char*> replies(c.replies.begin(), c.replies.end());
    line.setResponder([&](const Bytes&) {
        if (replies.empty()) return Reply{};
        const std::string next = replies.front();
        replies.pop_front();
        return next == "-" ? Reply{} : Reply{{1ms, hex(next)}};
    });
    if (c.fault) c.fault(line, chooser);
    ReaderLink reader(line, clock, [&] { return palmota::testing::onThisSystem(chooser); });
    Palmota link(reader);
    if (c.endRequested) reader.setInterruption([] { return true; });

    EXPECT_EQ(c.run(link), c.result);
    const Outcome& told = link.lastOutcome();
    EXPECT_EQ(resultText(told), c.result);
    EXPECT_EQ(told.cause, c.cause);
    EXPECT_EQ(describe(told), palmota::testing::onThisSystem(c.line));
}

INSTANTIATE_TEST_SUITE_P(
    EveryCause, OutcomeTest,
    ::testing::Values(
        CauseCase{"credit_read",
                  readCredit,
                  {"00", "00 02 05 DC"},
                  "1500",
                  Cause::Ok,
                  "/dev/ttyUSB0: done"},
        CauseCase{"serial_read",
                  readSerial,
                  {"00", "00", kBlockZero},
                  "123456",
                  Cause::Ok,
                  "/dev/ttyUSB0: done"},
        CauseCase{"write_stored",
                  write("100"),
                  {"00", "00", "00"},
                  "OK",
                  Cause::Ok,
                  "/dev/ttyUSB0: done"},
        CauseCase{"port_missing",
                  readSerial,
                  {},
                  "ERREUR",
                  Cause::PortUnavailable,
                  "/dev/ttyUSB0: no such serial device (is the Reader plugged in? "
                  "'palmota-cli ports' lists the serial devices present)",
                  [](ScriptedLine& l, std::string&) {
                      l.refuseOpen = "No such file or directory";
                      l.refuseKind = OpenError::Kind::NoSuchDevice;
                  }},
        CauseCase{"port_permission",
                  readCredit,
                  {},
                  "",
                  Cause::PortUnavailable,
                  "/dev/ttyUSB0: permission denied; the user must be in the group that owns the "
                  "device (dialout): sudo usermod -aG dialout $USER, then log in again",
                  [](ScriptedLine& l, std::string&) {
                      l.refuseOpen = "Permission denied";
                      l.refuseKind = OpenError::Kind::PermissionDenied;
                      l.refuseGroup = "dialout";
                  }},
        CauseCase{"port_private",
                  readCredit,
                  {},
                  "",
                  Cause::PortUnavailable,
                  "/dev/ttyUSB0: permission denied; the device is private to its owner",
                  [](ScriptedLine& l, std::string&) {
                      l.refuseOpen = "Permission denied";
                      l.refuseKind = OpenError::Kind::PermissionDenied;
                  }},
        CauseCase{"port_busy",
                  write("5"),
                  {},
                  "ERREUR",
                  Cause::PortUnavailable,
                  "/dev/ttyUSB0: busy: in use by another program (locked by process 4242 "
                  "(/var/lock/LCK..ttyUSB0)); close it and try again",
                  [](ScriptedLine& l, std::string&) {
                      l.refuseOpen = "locked by process 4242 (/var/lock/LCK..ttyUSB0)";
                      l.refuseKind = OpenError::Kind::Busy;
                  }},
        CauseCase{"port_name_with_control_characters",
                  readBlock3,
                  {},
                  "ERREUR",
                  Cause::PortUnavailable,
                  "port \"a\\x1B[2Jb\": neither a port number nor a device path (give a number "
                  "from 1, or a device path such as /dev/ttyUSB0)",
                  [](ScriptedLine&, std::string& chooser) { chooser = "a\x1b[2Jb"; }},
        CauseCase{"no_answer",
                  readSerial,
                  {},
                  "ERREUR",
                  Cause::NoAnswer,
                  "/dev/ttyUSB0: no answer from the Reader within 1 s (is it powered and on "
                  "this port?)"},
        CauseCase{"no_answer_to_the_block",
                  readBlock3,
                  {"00", "00", "-"},
                  "",
                  Cause::NoAnswer,
                  "/dev/ttyUSB0: no answer from the Reader within 2 s (is it powered and on "
                  "this port?)"},
        CauseCase{"not_ready",
                  readCredit,
                  {"01"},
                  "",
                  Cause::NotReady,
                  "/dev/ttyUSB0: the Reader is not ready (status 01)"},
        CauseCase{"no_credit",
                  readCredit,
                  {"00", "00 FF"},
                  "",
                  Cause::NoBadge,
                  "/dev/ttyUSB0: no badge on the Reader (present one and try again)"},
        CauseCase{"no_block",
                  readSerial,
                  {"00", "00", kNoBlock},
                  "",
                  Cause::NoBadge,
                  "/dev/ttyUSB0: no badge on the Reader (present one and try again)"},
        CauseCase{"short_credit",
                  readCredit,
                  {"00", "00 02 05"},
                  "",
                  Cause::ShortReply,
                  "/dev/ttyUSB0: short reply from the Reader: 3 of 4 bytes within 2 s (is the "
                  "badge held still?)"},
        CauseCase{"short_block",
                  readSerial,
                  {"00", "00", "00 00 00 00 00 00 00 00 00 00 01 E2"},
                  "",
                  Cause::ShortReply,
                  "/dev/ttyUSB0: short reply from the Reader: 12 of 17 bytes within 2 s (is the "
                  "badge held still?)"},
        CauseCase{"write_refused",
                  write("100"),
                  {"00", "00", "FF"},
                  "ERREUR",
                  Cause::WriteRefused,
                  "/dev/ttyUSB0: the Reader refused the write (final byte FF); the credit is "
                  "unchanged"},
        CauseCase{"write_odd_reply",
                  write("100"),
                  {"00", "00", "05"},
                  "",
                  Cause::UnexpectedReply,
                  "/dev/ttyUSB0: the Reader answered the write with 05, neither stored (00) nor "
                  "refused (FF); read the credit back"},
        CauseCase{"write_not_confirmed",
                  write("100"),
                  {"00", "00", "-"},
                  "ERREUR",
                  Cause::NotConfirmed,
                  "/dev/ttyUSB0: the write was not confirmed within 3 s: the credit may have been "
                  "stored; read it back before trying again"},
        CauseCase{"line_lost",
                  readSerial,
                  {},
                  "ERREUR",
                  Cause::LineLost,
                  "/dev/ttyUSB0: the line was lost during the exchange (was the Reader "
                  "unplugged?)",
                  [](ScriptedLine& l, std::string&) {
                      l.setResponder([&l](const Bytes&) {
                          l.breakLine();
                          return Reply{};
                      });
                  }},
        CauseCase{"amount_refused",
                  write("70000"),
                  {},
                  "ERREUR",
                  Cause::Refused,
                  "amount \"70000\" refused: digits only, with a value from 0 to 65535; nothing "
                  "sent"},
        CauseCase{"block_refused",
                  [](Palmota& p) { return p.ReadBlock(256); },
                  {},
                  "ERREUR",
                  Cause::Refused,
                  "block \"256\" refused: a number from 0 to 255; nothing sent"},
        CauseCase{"interrupted",
                  write("100"),
                  {"00", "00", "00"},
                  "ERREUR",
                  Cause::Interrupted,
                  "interrupted before the write; nothing sent",
                  {},
                  true}),
    [](const auto& row) { return std::string(row.param.name); });

// The amount went out but the line went away before any answer: it may have been stored,
// which matters more to whoever retries than that the line was lost.
TEST(WriteOutcome, ALineLostAfterTheAmountWentOutIsNotConfirmedNotLost) {
    FakeClock clock;
    ScriptedLine line(clock);
    int writes = 0;
    line.setResponder([&](const Bytes&) {
        if (++writes == 3) line.breakLine();
        return writes < 3 ? Reply{{1ms, hex("00")}} : Reply{};
    });
    ReaderLink reader(line, clock, [] { return std::string("1"); });
    Palmota link(reader);
    EXPECT_EQ(link.WriteCredit("7"), "ERREUR");
    EXPECT_EQ(link.lastOutcome().cause, Cause::NotConfirmed);
}

}  // namespace
}  // namespace palmota

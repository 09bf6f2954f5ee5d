// The till's rules, one row a verdict: a write, a verified write or a top-up against the
// emulator's protocol engine on a scripted line (time-outs on the fake clock), with a
// journal that keeps its rows. Each row checks the verdict's cause and exit status, the
// bytes that went out, the row's flags, whether the report lists it as needing a read, and
// the report's columns in each of its formats.
#include "till/till.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <sstream>
#include <type_traits>

#include "journal/daily_report.h"
#include "tests/support/row_name.h"
#include "tests/till/desk.h"
#include "till/ledger.h"

namespace palmota::till {
namespace {

enum class Command { Write, VerifiedWrite, Topup };

// Where the report counts the command's row; None: no row was made.
enum class Column { None, Confirmed, Refused, Uncertain, NoOutcome };

struct VerdictCase {
    const char* name;
    Command command;
    bool journaled;
    std::string amount;
    std::function<void(Desk&)> setup;
    Cause cause;
    int status;
    const char* amountBytes;  // hex; "" when no amount went out
    Column column;
    // The badge the report's "need a read" line names, when it lists the row.
    const char* badge = "123456";
    // The badge read before the write, and the badge the row says the write went to.
    const char* serial = "123456";
    const char* serialAfter = nullptr;
};

void PrintTo(const VerdictCase& row, std::ostream* out) {
    *out << row.name;
}

// The day's totals of the one row, as each format of the report gives them.
struct Counts {
    int writes = 0, confirmed = 0, refused = 0, uncertain = 0, noOutcome = 0;
    bool listed = false;  // among the writes that need a read
    std::string line;     // the need-a-read line of the text report
};

Counts fromCsv(const std::string& csv) {
    Counts c;
    const QStringList lines = QString::fromStdString(csv).split(u'\n', Qt::SkipEmptyParts);
    if (lines.size() < 2) return c;
    const QStringList f = lines[1].split(u',');
    c.writes = f[2].toInt(), c.confirmed = f[3].toInt(), c.refused = f[4].toInt();
    c.uncertain = f[5].toInt(), c.noOutcome = f[6].toInt();
    return c;
}

Counts fromText(const std::string& text) {
    Counts c;
    std::istringstream in(text);
    // The station's name on a line of its own, the header, then the day's figures.
    std::string station, header, day;
    std::getline(in, station);
    std::getline(in, header);
    in >> day >> c.writes >> c.confirmed >> c.refused >> c.uncertain >> c.noOutcome;
    const auto at = text.find("Need a read of the badge");
    c.listed = at != std::string::npos;
    if (c.listed) c.line = text.substr(text.find('\n', at) + 1);
    return c;
}

Counts fromJson(const std::string& json) {
    Counts c;
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    c.writes = o["writes"].toInt(), c.confirmed = o["confirmed"].toInt();
    c.refused = o["refused"].toInt(), c.uncertain = o["uncertain"].toInt();
    c.noOutcome = o["noOutcome"].toInt();
    c.listed = !o["needsRead"].toArray().isEmpty();
    return c;
}

Counts expected(Column column) {
    Counts c;
    c.writes = column == Column::None ? 0 : 1;
    c.confirmed = column == Column::Confirmed;
    c.refused = column == Column::Refused;
    c.uncertain = column == Column::Uncertain;
    c.noOutcome = column == Column::NoOutcome;
    c.listed = column == Column::Uncertain || column == Column::NoOutcome;
    return c;
}

void expectCounts(const Counts& got, const Counts& want, const char* format) {
    EXPECT_EQ(got.writes, want.writes) << format;
    EXPECT_EQ(got.confirmed, want.confirmed) << format;
    EXPECT_EQ(got.refused, want.refused) << format;
    EXPECT_EQ(got.uncertain, want.uncertain) << format;
    EXPECT_EQ(got.noOutcome, want.noOutcome) << format;
}

std::string report(Ledger& ledger, ReportRequest::Format format) {
    ReportRequest request;
    request.format = format;
    std::string output, problem;
    EXPECT_TRUE(ledger.report(request, output, problem)) << problem;
    return output;
}

class VerdictTest : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictTest, DecidesTheStatusTheRowAndTheReport) {
    const VerdictCase& c = GetParam();
    Desk desk;
    if (c.journaled) desk.till.setLedger(&desk.ledger);
    if (c.setup) c.setup(desk);
    const WriteVerdict verdict =
        c.command == Command::Topup
            ? desk.till.topup(typed(c.amount))
            : desk.till.write(typed(c.amount), c.command == Command::VerifiedWrite);

    EXPECT_EQ(causeName(verdict.cause), causeName(c.cause));
    EXPECT_EQ(exitStatus(verdict.family()), c.status);
    EXPECT_EQ(desk.amountWritten(), c.amountBytes);
    EXPECT_EQ(verdict.amountSent, *c.amountBytes != '\0');
    // Confirmed only when the badge holds what was written (whether the journal could
    // record it or not); unchanged only when nothing reached it or the Reader's refusal
    // stands.
    EXPECT_EQ(verdict.confirmed, c.status == 0 || c.cause == Cause::OutcomeNotRecorded);
    EXPECT_EQ(verdict.unchanged, c.status != 0 && c.status != 5);
    if (!c.journaled) return;

    const Counts want = expected(c.column);
    ASSERT_EQ(desk.journal.kept.size(), static_cast<std::size_t>(want.writes));
    if (want.writes == 0) return;
    const journal::WriteRow& row = desk.journal.kept.front();
    EXPECT_EQ(journal::needsRead(row), want.listed);
    EXPECT_EQ(row.start.serial, c.serial);
    EXPECT_EQ(row.start.before, 1500);
    // The station the ledger was made with, and what a top-up added to the credit read.
    EXPECT_EQ(row.start.program, "palmota-cli");
    EXPECT_EQ(row.start.port, kDevice);
    EXPECT_FALSE(row.start.station.empty());
    EXPECT_EQ(row.start.topup,
              c.command == Command::Topup ? std::optional<int>(std::stoi(c.amount)) : std::nullopt);
    if (row.end && c.serialAfter) {
        // "": the row names no badge after the write.
        const auto named = *c.serialAfter ? std::optional<std::string>(c.serialAfter)
                                          : std::optional<std::string>();
        EXPECT_EQ(row.end->serialAfter.value_or("none"), named.value_or("none"));
    }
    if (row.end) {
        // No row says "ok" without the badge known to hold the amount.
        EXPECT_TRUE(row.end->cause != "ok" || row.end->confirmed);
        EXPECT_EQ(row.end->confirmed, verdict.confirmed);
        EXPECT_EQ(row.end->unchanged, verdict.unchanged);
        EXPECT_EQ(row.end->cause, causeName(verdict.judged));
    }
    expectCounts(fromCsv(report(desk.ledger, ReportRequest::Format::Csv)), want, "csv");
    const Counts text = fromText(report(desk.ledger, ReportRequest::Format::Text));
    expectCounts(text, want, "text");
    EXPECT_EQ(text.listed, want.listed);
    if (text.listed) {
        EXPECT_NE(text.line.find(std::string("badge ") + c.badge + "  "), std::string::npos)
            << text.line;
    }
    const Counts json = fromJson(report(desk.ledger, ReportRequest::Format::Json));
    expectCounts(json, want, "json");
    EXPECT_EQ(json.listed, want.listed);
}

const auto noFinalReply = [](Desk& d) { d.setFaults([](auto& f) { f.noFinalWriteReply = true; }); };
const auto refused = [](Desk& d) { d.setFaults([](auto& f) { f.writeRefused = true; }); };

INSTANTIATE_TEST_SUITE_P(
    Verdicts, VerdictTest,
    ::testing::Values(
        VerdictCase{
            "TopupDone", Command::Topup, true, "250", {}, Cause::Ok, 0, "06 D6", Column::Confirmed},
        VerdictCase{"TopupConfirmedByReadingBack", Command::Topup, true, "250", noFinalReply,
                    Cause::Ok, 0, "06 D6", Column::Confirmed},
        VerdictCase{"TopupFinalByteTooLateConfirmedByReadingBack", Command::Topup, true, "250",
                    [](Desk& d) {
                        d.setFaults(
                            [](auto& f) { f.lateWriteReply = std::chrono::milliseconds{3500}; });
                    },
                    Cause::Ok, 0, "06 D6", Column::Confirmed},
        VerdictCase{"TopupRefusedUnchanged", Command::Topup, true, "250", refused,
                    Cause::WriteRefused, 1, "06 D6", Column::Refused},
        // FF, yet the credit read back is neither the one before nor the sum: something
        // was stored, whatever the Reader said.
        VerdictCase{"TopupRefusedButTheCreditMoved", Command::Topup, true, "250",
                    [](Desk& d) {
                        d.garbleAmount = true;
                        d.finalReply = "FF";
                    },
                    Cause::ReadBackDiffers, 5, "06 D6", Column::Uncertain},
        VerdictCase{"TopupStoredSomethingElse", Command::Topup, true, "250",
                    [](Desk& d) { d.garbleAmount = true; }, Cause::ReadBackDiffers, 5, "06 D6",
                    Column::Uncertain},
        VerdictCase{"TopupNotConfirmedNorReadBack", Command::Topup, true, "250",
                    [](Desk& d) {
                        d.silentAfterAmount();
                        d.setFaults([](auto& f) { f.noFinalWriteReply = true; });
                    },
                    Cause::NotConfirmed, 5, "06 D6", Column::Uncertain},
        // The final byte comes twice: no verdict to trust, and the Reader then falls silent.
        VerdictCase{"TopupFinalByteTwiceThenSilent", Command::Topup, true, "250",
                    [](Desk& d) {
                        d.silentAfterAmount();
                        d.finalReply = "00 00";
                    },
                    Cause::NoisyLine, 5, "06 D6", Column::Uncertain},
        VerdictCase{"TopupConfirmedButNotReadBack", Command::Topup, true, "250",
                    [](Desk& d) { d.silentAfterAmount(); }, Cause::NoAnswer, 5, "06 D6",
                    Column::Uncertain},
        // Another badge laid on the Reader right after the first one's serial number was
        // read: its credit is never taken for the first one's.
        VerdictCase{"TopupBadgeChangedBeforeTheWrite", Command::Topup, true, "250",
                    [](Desk& d) { d.swapAt(kCreditReadyCheck); }, Cause::BadgeChangedBeforeWrite, 1,
                    "", Column::None},
        VerdictCase{"TopupBadgeChangedAsTheAmountWentOut", Command::Topup, true, "250",
                    [](Desk& d) { d.swapAt(kAmountWrite); }, Cause::BadgeChanged, 5, "06 D6",
                    Column::Uncertain, "123456 -> 777"},
        // Two badges by turns: A (111, 1500) for the reads before the write, B (222, 100)
        // for the write and the first serial read after it, A again for the credit and the
        // last serial. The sum went to B; the reads after it disagree.
        VerdictCase{"TopupBadgeBackForTheCreditReadAfterTheWrite", Command::Topup, true, "500",
                    [](Desk& d) { d.timeline("AAABBAA"); }, Cause::BadgeChanged, 5, "07 D0",
                    Column::Uncertain, "111", "111", ""},
        // A's serial misread right after the write: the badge after it is not known.
        VerdictCase{"TopupSerialMisreadAfterTheWrite", Command::Topup, true, "500",
                    [](Desk& d) { d.timeline("AAAAaAA"); }, Cause::BadgeChanged, 5, "07 D0",
                    Column::Uncertain, "111", "111", ""},
        VerdictCase{"TopupNoBadgeAtTheSerialReadAfterTheWrite", Command::Topup, true, "500",
                    [](Desk& d) { d.timeline("AAAA-AA"); }, Cause::NoBadge, 5, "07 D0",
                    Column::Uncertain, "111", "111", ""},
        // However many digits an addend has, it is judged against the credit once read.
        VerdictCase{"TopupAddendOfManyDigits",
                    Command::Topup,
                    true,
                    "000000000000000000099999",
                    {},
                    Cause::OverLimit,
                    1,
                    "",
                    Column::None},
        VerdictCase{"TopupOverTheLimit",
                    Command::Topup,
                    true,
                    "64036",
                    {},
                    Cause::OverLimit,
                    1,
                    "",
                    Column::None},
        VerdictCase{"TopupNoBadge", Command::Topup, true, "250",
                    [](Desk& d) { d.setFaults([](auto& f) { f.noBadge = true; }); }, Cause::NoBadge,
                    1, "", Column::None},
        VerdictCase{"TopupSilentReader", Command::Topup, true, "250",
                    [](Desk& d) { d.setFaults([](auto& f) { f.silent = true; }); }, Cause::NoAnswer,
                    4, "", Column::None},
        VerdictCase{"TopupJournalUnavailable", Command::Topup, true, "250",
                    [](Desk& d) { d.journal.refuseBegin = true; }, Cause::JournalUnavailable, 6, "",
                    Column::None},
        // The amount went out and its outcome could not be recorded: never "nothing changed".
        VerdictCase{"TopupOutcomeNotRecorded", Command::Topup, true, "250",
                    [](Desk& d) { d.journal.refuseComplete = true; }, Cause::OutcomeNotRecorded, 5,
                    "06 D6", Column::NoOutcome},
        VerdictCase{
            "TopupInterruptedDuringItsReads", Command::Topup, true, "250",
            [](Desk& d) { d.till.setInterruption([&d] { return d.writes > kCreditReadyCheck; }); },
            Cause::Interrupted, 130, "", Column::None},
        VerdictCase{
            "TopupInterruptedAfterTheAmount", Command::Topup, true, "250",
            [](Desk& d) { d.till.setInterruption([&d] { return d.writes > kAmountWrite; }); },
            Cause::Interrupted, 5, "06 D6", Column::Uncertain},
        VerdictCase{"WriteLeadingZerosAreDecimal",
                    Command::Write,
                    true,
                    "0000000000001000",
                    {},
                    Cause::Ok,
                    0,
                    "03 E8",
                    Column::Confirmed},
        VerdictCase{"WriteDone",
                    Command::Write,
                    true,
                    "1000",
                    {},
                    Cause::Ok,
                    0,
                    "03 E8",
                    Column::Confirmed},
        VerdictCase{"WriteRefused", Command::Write, true, "1000", refused, Cause::WriteRefused, 1,
                    "03 E8", Column::Refused},
        VerdictCase{"WriteBadgeChangedBeforeTheWrite", Command::Write, true, "1000",
                    [](Desk& d) { d.swapAt(kCreditReadyCheck); }, Cause::BadgeChangedBeforeWrite, 1,
                    "", Column::None},
        VerdictCase{"WriteStoredSomethingElse", Command::Write, true, "1000",
                    [](Desk& d) { d.garbleAmount = true; }, Cause::ReadBackDiffers, 5, "03 E8",
                    Column::Uncertain},
        // Stored, said the Reader, but on which badge: with no badge read back after it,
        // the row's badge is not known to hold the amount.
        VerdictCase{"WriteConfirmedButNotReadBack", Command::Write, true, "1000",
                    [](Desk& d) { d.silentAfterAmount(); }, Cause::NoAnswer, 5, "03 E8",
                    Column::Uncertain},
        // B for the write and the three reads after it, A for the last serial only: 700
        // went to B; the row names no badge it is not known to have reached.
        VerdictCase{"WriteBadgeBackForTheLastSerialRead", Command::Write, true, "700",
                    [](Desk& d) { d.timeline("AAABBBA"); }, Cause::BadgeChanged, 5, "02 BC",
                    Column::Uncertain, "111", "111", ""},
        VerdictCase{"WriteToAnotherBadgeThatStayed", Command::Write, true, "700",
                    [](Desk& d) { d.timeline("AAABBBB"); }, Cause::BadgeChanged, 5, "02 BC",
                    Column::Uncertain, "111 -> 222", "111", "222"},
        // The badge taken away after the write and another laid for the reads after it:
        // the credit read back is the other's, and the row does not take it for the first.
        VerdictCase{"WriteBadgeSwappedAfterTheWrite", Command::Write, true, "700",
                    [](Desk& d) { d.timeline("AAAABBB"); }, Cause::BadgeChanged, 5, "02 BC",
                    Column::Uncertain, "111", "111", ""},
        // A final 00, and a read-back that differs: not a confirmed row.
        VerdictCase{"VerifiedWriteConfirmedButReadBackDiffers", Command::VerifiedWrite, true,
                    "1000", [](Desk& d) { d.garbleAmount = true; }, Cause::ReadBackDiffers, 5,
                    "03 E8", Column::Uncertain},
        VerdictCase{"VerifiedWriteBadgeBackForTheCreditReadAfterTheWrite", Command::VerifiedWrite,
                    true, "700", [](Desk& d) { d.timeline("AAABBAA"); }, Cause::BadgeChanged, 5,
                    "02 BC", Column::Uncertain, "111", "111", ""},
        VerdictCase{"VerifiedWriteConfirmedButNotReadBack", Command::VerifiedWrite, true, "1000",
                    [](Desk& d) { d.silentAfterAmount(); }, Cause::NoAnswer, 5, "03 E8",
                    Column::Uncertain},
        // Without a journal: the write alone, as "Encoder Badge" makes it.
        VerdictCase{"PlainWriteFinalByteTwice", Command::Write, false, "1000",
                    [](Desk& d) { d.finalReply = "00 00"; }, Cause::NoisyLine, 5, "03 E8",
                    Column::None},
        VerdictCase{"PlainWriteFinalByteNeitherStoredNorRefused", Command::Write, false, "1000",
                    [](Desk& d) { d.finalReply = "05"; }, Cause::UnexpectedReply, 5, "03 E8",
                    Column::None},
        VerdictCase{"PlainWriteRefused", Command::Write, false, "1000", refused,
                    Cause::WriteRefused, 1, "03 E8", Column::None},
        VerdictCase{"PlainWriteAmountOutOfRange",
                    Command::Write,
                    false,
                    "70000",
                    {},
                    Cause::Refused,
                    2,
                    "",
                    Column::None},
        // The read-back's own cause (not ready, status 1 on its own) once the amount went out.
        VerdictCase{"VerifiedWriteReadBackNotReady", Command::VerifiedWrite, false, "1000",
                    [](Desk& d) {
                        d.beforeReader = [&d](std::size_t, const Bytes& written) {
                            if (written.size() == 2)
                                d.setFaults([](auto& f) { f.notReady = 0x05; });
                        };
                    },
                    Cause::NotReady, 5, "03 E8", Column::None}),
    palmota::testing::RowName());

// Only an amount made by its parser reaches a write or a top-up: a text never does.
static_assert(!std::is_invocable_v<decltype(&Till::topup), Till&, const char*>);
static_assert(!std::is_invocable_v<decltype(&Till::topup), Till&, std::string_view>);
static_assert(!std::is_invocable_v<decltype(&Till::write), Till&, const char*, bool>);

// "Lire Badge" and the dump: what each reads, what goes out, and the first failure.
enum class Reads { Badge, Dump };

struct ReadCase {
    const char* name;
    Reads reads;
    std::function<void(Desk&)> setup;
    int shownBeforeStop;  // reads told before the one that stops them; -1: none stops them
    const char* wire;     // the host's writes, in hex
    std::size_t operations;
    Cause cause;
};

void PrintTo(const ReadCase& row, std::ostream* out) {
    *out << row.name;
}

class ReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadTest, ReadsInOrderAndStopsOnlyWhenTold) {
    const ReadCase& c = GetParam();
    Desk desk;
    if (c.setup) c.setup(desk);
    int shown = 0;
    const Till::ReadShown told = [&](const Outcome&) { return shown++ != c.shownBeforeStop; };
    const ReadVerdict verdict =
        c.reads == Reads::Badge ? desk.till.read(told) : desk.till.dump(told);
    EXPECT_EQ(hexOf(desk.line.allWritten()), c.wire);
    ASSERT_EQ(verdict.operations.size(), c.operations);
    EXPECT_EQ(shown, static_cast<int>(c.operations));
    EXPECT_EQ(causeName(verdict.cause), causeName(c.cause));
    // The first read that failed is the verdict's; none when each succeeded.
    const Outcome* first = nullptr;
    for (const Outcome& o : verdict.operations)
        if (!first && !o.succeeded()) first = &o;
    EXPECT_EQ(verdict.failed.has_value(), first != nullptr);
    if (first && verdict.failed) {
        EXPECT_EQ(verdict.failed->operation, first->operation);
    }
    if (c.reads == Reads::Badge && c.cause == Cause::Ok) {
        EXPECT_EQ(verdict.operations[0].serial, 123456);
        if (c.operations == 2) {
            EXPECT_EQ(verdict.operations[1].credit, 1500);
        }
    }
}

const auto silent = [](Desk& d) { d.setFaults([](auto& f) { f.silent = true; }); };
const std::string kDumpWire =
    "00 04 00 00 04 01 00 04 02 00 04 03 00 04 04 00 04 05 00 04 06 00 04 07";

INSTANTIATE_TEST_SUITE_P(
    Reads, ReadTest,
    ::testing::Values(
        ReadCase{"BadgeSerialThenCredit", Reads::Badge, {}, -1, "00 04 00 00 06", 2, Cause::Ok},
        // The credit is read whatever the serial number's read gave.
        ReadCase{"BadgeNoReaderStillReadsTheCredit", Reads::Badge, silent, -1, "00 00", 2,
                 Cause::NoAnswer},
        ReadCase{"BadgeNoBadge", Reads::Badge,
                 [](Desk& d) { d.setFaults([](auto& f) { f.noBadge = true; }); }, -1,
                 "00 04 00 00 06", 2, Cause::NoBadge},
        // Told to stop after the serial number (a closed output): no credit read.
        ReadCase{"BadgeStoppedAfterTheSerial", Reads::Badge, {}, 0, "00 04 00", 1, Cause::Ok},
        // Asked to end after the serial number: the credit's read sends nothing.
        ReadCase{"BadgeInterruptedAfterTheSerial", Reads::Badge,
                 [](Desk& d) { d.till.setInterruption([&d] { return d.writes >= 3; }); }, -1,
                 "00 04 00", 2, Cause::Interrupted},
        ReadCase{"DumpEightBlocks", Reads::Dump, {}, -1, kDumpWire.c_str(), 8, Cause::Ok},
        // Each block's read is whole: eight ready checks with no Reader.
        ReadCase{"DumpNoReader", Reads::Dump, silent, -1, "00 00 00 00 00 00 00 00", 8,
                 Cause::NoAnswer},
        ReadCase{"DumpStoppedAfterBlockOne", Reads::Dump, {}, 1, "00 04 00 00 04 01", 2, Cause::Ok},
        // Asked to end during block 1: it is read to its end, and nothing goes out after it.
        ReadCase{"DumpInterruptedDuringBlockOne", Reads::Dump,
                 [](Desk& d) { d.till.setInterruption([&d] { return d.writes > 3; }); }, -1,
                 "00 04 00 00 04 01", 8, Cause::Interrupted}),
    palmota::testing::RowName());

// journal check: the badge present against its last confirmed write, and the writes in
// doubt since.
struct CheckCase {
    const char* name;
    std::function<void(Desk&)> setup;
    Cause cause;
    std::optional<int> left;       // the credit the last confirmed write left, as found
    int rows = 0;                  // the badge's rows, as found
    const char* explainedBy = "";  // the write in doubt named as the credit's origin
};

void PrintTo(const CheckCase& row, std::ostream* out) {
    *out << row.name;
}

class CheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, ComparesTheBadgeWithItsLastConfirmedWrite) {
    const CheckCase& c = GetParam();
    Desk desk;
    desk.till.setLedger(&desk.ledger);
    if (c.setup) c.setup(desk);
    const CheckVerdict verdict = desk.till.check();
    EXPECT_EQ(causeName(verdict.cause), causeName(c.cause));
    if (verdict.last) {
        EXPECT_EQ(verdict.last->credit, c.left);
    } else {
        EXPECT_FALSE(c.left);
    }
    EXPECT_EQ(verdict.rows, c.rows);
    EXPECT_EQ(verdict.explainedBy ? verdict.explainedBy->id : "", c.explainedBy);
}

// A row of the sample badge's (123456, now holding 1500), the journal's `n`th: confirmed
// when it has a `cause` and `confirmed`, unchanged with `unchanged`, else in doubt; no
// outcome at all for a null `cause`.
void row(Desk& d, int n, std::optional<int> before, int amount, const char* cause,
         bool confirmed = false, bool unchanged = false, const char* serial = "123456",
         const char* serialAfter = nullptr) {
    journal::WriteRow row;
    row.id = "row-" + std::to_string(n);
    row.start.serial = serial;
    row.start.before = before;
    row.start.amount = amount;
    row.started = "2026-12-08T09:0" + std::to_string(n) + ":00.000Z";
    if (cause) {
        row.ended = "2026-12-08T09:0" + std::to_string(n) + ":01.000Z";
        row.end = journal::WriteEnd{cause, confirmed, unchanged, std::nullopt, {}};
        if (serialAfter) row.end->serialAfter = serialAfter;
    }
    d.journal.kept.push_back(row);
}

// A confirmed row for the sample badge that left `credit` on it.
void confirmedRow(Desk& d, int credit, int n = 1) {
    row(d, n, std::nullopt, credit, "ok", true);
}

INSTANTIATE_TEST_SUITE_P(
    Badges, CheckTest,
    ::testing::Values(
        CheckCase{"NotInTheJournal", {}, Cause::Ok, std::nullopt},
        CheckCase{"SpentSince", [](Desk& d) { confirmedRow(d, 2000); }, Cause::Ok, 2000, 1},
        CheckCase{"LoadedOutsideTheJournal", [](Desk& d) { confirmedRow(d, 1000); },
                  Cause::CreditAboveJournal, 1000, 1},
        // 1000 -> 1500 not confirmed, and the badge holds 1500: that write explains it.
        CheckCase{"AWriteNotConfirmedExplainsTheCredit",
                  [](Desk& d) {
                      confirmedRow(d, 1000);
                      row(d, 2, 1000, 1500, "not-confirmed");
                  },
                  Cause::Ok, 1000, 2, "row-2"},
        // The program ended mid-write: the badge is in the journal, by that row.
        CheckCase{"AWriteWithNoOutcomeExplainsTheCredit",
                  [](Desk& d) { row(d, 1, 1200, 1500, nullptr); }, Cause::Ok, std::nullopt, 1,
                  "row-1"},
        // Written for another badge, and the sample badge read back after it.
        CheckCase{"AWriteInDoubtThatMayHaveGoneToTheBadge",
                  [](Desk& d) {
                      confirmedRow(d, 1000);
                      row(d, 2, 100, 1500, "badge-changed", false, false, "777", "123456");
                  },
                  Cause::Ok, 1000, 2, "row-2"},
        CheckCase{"MoreThanAWriteInDoubtMayHaveLeft",
                  [](Desk& d) {
                      confirmedRow(d, 1000);
                      row(d, 2, 1000, 1200, "no-answer");
                  },
                  Cause::CreditAboveJournal, 1000, 2},
        CheckCase{"MoreThanWritesInDoubtAloneMayHaveLeft",
                  [](Desk& d) { row(d, 1, 1000, 1200, "no-answer"); }, Cause::CreditAboveJournal,
                  std::nullopt, 1},
        // A confirmed write settles the ones in doubt before it.
        CheckCase{"AWriteInDoubtBeforeAConfirmedOneExplainsNothing",
                  [](Desk& d) {
                      row(d, 1, 0, 1500, "not-confirmed");
                      confirmedRow(d, 1000, 2);
                  },
                  Cause::CreditAboveJournal, 1000, 2},
        // The Reader refused it: the badge has a row, and no confirmed write to compare.
        CheckCase{"ARefusedWriteIsARowOfTheBadge",
                  [](Desk& d) { row(d, 1, 1500, 2000, "write-refused", false, true); }, Cause::Ok,
                  std::nullopt, 1},
        CheckCase{"NoBadge", [](Desk& d) { d.setFaults([](auto& f) { f.noBadge = true; }); },
                  Cause::NoBadge, std::nullopt}),
    palmota::testing::RowName());

// A badge the write went to, read back after it, is the one its row counts for.
TEST(Check, AWriteThatWentToAnotherBadgeCountsForThatBadge) {
    Desk desk;
    desk.till.setLedger(&desk.ledger);
    journal::WriteRow row;
    row.id = "row-1";
    row.start.serial = "777";
    row.start.amount = 900;
    row.started = "2026-12-08T09:00:00.000Z";
    row.ended = "2026-12-08T09:00:01.000Z";
    row.end = journal::WriteEnd{"ok", true, false, 900, "123456"};
    desk.journal.kept.push_back(row);
    const CheckVerdict verdict = desk.till.check();
    ASSERT_TRUE(verdict.last);
    EXPECT_EQ(verdict.last->credit, 900);
    EXPECT_EQ(causeName(verdict.cause), causeName(Cause::CreditAboveJournal));
}

TEST(CauseTable, NamesEachCauseOnceForScripts) {
    std::vector<std::string_view> names;
    for (const CauseRow& row : causeTable()) {
        EXPECT_FALSE(row.statusPhrase.empty()) << row.name;
        for (std::string_view seen : names) EXPECT_NE(seen, row.name);
        names.push_back(row.name);
    }
}

}  // namespace
}  // namespace palmota::till

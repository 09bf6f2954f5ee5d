// palmota-cli with --journal, run as a user runs it, against the emulated Reader: the rows
// it leaves, and what it refuses to send when the journal cannot take them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "journal/daily_report.h"
#include "process/platform.h"
#include "sim/pty_reader.h"
#include "tests/journal/journal_places.h"
#include "tests/journal/stalled_backend.h"
#include "tests/support/child_process.h"
#include "tests/support/hex.h"

namespace palmota::journal {
namespace {

using namespace std::chrono_literals;
using testing::Backend;
using testing::ChildProcess;
using testing::hexOf;
using testing::RunResult;

class JournalProgram : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override { ASSERT_TRUE(reader_.start()); }

    RunResult cli(std::vector<std::string> args, const std::string& where) {
        args.insert(args.begin(), {"--port", reader_.devicePath(), "--journal", where});
        return testing::runProgram(PALMOTA_CLI, args);
    }
    RunResult cli(std::vector<std::string> args) { return cli(std::move(args), where_); }

    std::vector<WriteRow> rows() {
        std::string error;
        const auto found = testing::openJournal(where_)->rows({}, error);
        EXPECT_TRUE(found) << error;
        return found.value_or(std::vector<WriteRow>{});
    }

    // Waits until the program's row is committed, as it is before the write goes out.
    bool rowAppears() {
        for (auto waited = 0ms; waited < 3s; waited += 20ms) {
            if (!rows().empty()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    void holdTheFinalWriteReply() {
        sim::ReaderFaults faults;
        faults.lateWriteReply = 1500ms;  // within the host's 3 s: the write is confirmed
        reader_.setFaults(faults);
    }

    testing::TempFolder folder_;
    std::string where_ = testing::newJournal(GetParam(), folder_.path());
    sim::PtyReader reader_;
};

TEST_P(JournalProgram, ATopupAndAnAbsoluteWriteEachLeaveOneCompleteRow) {
    ASSERT_EQ(cli({"topup", "250"}).status, 0);
    // The user recorded is the account the program runs as, whatever the environment says.
    const RunResult write =
        testing::runProgram("/usr/bin/env", {"USER=intruder", "LOGNAME=intruder", PALMOTA_CLI,
                                             "--port", reader_.devicePath(), "--journal", where_,
                                             "read", "write", "--verify", "1000"});
    ASSERT_EQ(write.status, 0) << write.err;
    const auto found = rows();
    ASSERT_EQ(found.size(), 2u);
    const WriteRow& topup = found[0];
    EXPECT_EQ(topup.start.serial, "123456");
    EXPECT_EQ(topup.start.before, 1500);
    EXPECT_EQ(topup.start.amount, 1750);
    EXPECT_EQ(topup.start.topup, 250);
    ASSERT_TRUE(topup.end);
    EXPECT_EQ(topup.end->after, 1750);
    EXPECT_EQ(topup.end->cause, "ok");
    // The write reads the badge it is for, before and after it, whatever the run read.
    const WriteRow& absolute = found[1];
    EXPECT_EQ(absolute.start.serial, "123456");
    EXPECT_EQ(absolute.start.before, 1750);
    EXPECT_EQ(absolute.start.serialSource, SerialSource::ReadNow);
    ASSERT_TRUE(absolute.end);
    EXPECT_EQ(absolute.end->after, 1000);
    EXPECT_EQ(absolute.end->serialAfter, "123456");
    EXPECT_EQ(absolute.start.user, platform::accountName());
    EXPECT_EQ(absolute.start.program, "palmota-cli");
    EXPECT_EQ(absolute.start.port, reader_.devicePath());

    const RunResult report = cli({"journal", "report", "--csv"});
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find(",2,2,0,0,0,-500,250,\n"), std::string::npos) << report.out;
}

// A French desk reads its day in French, today being its own local day; LC_ALL overrides
// LANG as POSIX orders them, and the CSV for scripts is the same in any language.
TEST_P(JournalProgram, TheReportSpeaksFrenchUnderAFrenchLocale) {
    ASSERT_EQ(cli({"topup", "250"}).status, 0);
    const auto report = [this](const std::vector<std::string>& locale, const char* format) {
        std::vector<std::string> args = {"-u", "LC_ALL", "-u", "LC_MESSAGES", "-u", "LANGUAGE"};
        args.insert(args.end(), locale.begin(), locale.end());
        args.insert(args.end(), {PALMOTA_CLI, "--journal", where_, "journal", "report", "--from",
                                 "today", "--to", "today"});
        if (*format) args.push_back(format);
        return testing::runProgram("/usr/bin/env", args);
    };
    const RunResult french = report({"LANG=fr_FR.UTF-8"}, "");
    ASSERT_EQ(french.status, 0) << french.err;
    EXPECT_EQ(french.err, "");
    for (const char* text : {"Poste ", "jour ", "\u00e9critures", "confirm\u00e9es",
                             "recharg\u00e9", "op\u00e9rateur"})
        EXPECT_NE(french.out.find(text), std::string::npos) << text << "\n" << french.out;
    EXPECT_EQ(french.out.find("Station"), std::string::npos) << french.out;
    const RunResult english = report({"LANG=fr_FR.UTF-8", "LC_ALL=C"}, "");
    EXPECT_NE(english.out.find("Station "), std::string::npos) << english.out;
    EXPECT_NE(english.out.find("top-ups"), std::string::npos) << english.out;
    EXPECT_EQ(report({"LANG=fr_FR.UTF-8"}, "--csv").out, report({"LANG=C"}, "--csv").out);

    // Printed without any display, in French too.
    const std::string pdf = folder_.path() + "/rapport.pdf";
    const RunResult printed =
        report({"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "LANG=fr_FR.UTF-8"}, "--pdf");
    EXPECT_NE(printed.status, 0);  // --pdf needs its file
    std::vector<std::string> args = {
        "-u",        "DISPLAY",   "-u",   "WAYLAND_DISPLAY", "-u",     "LC_ALL", "LANG=fr_FR.UTF-8",
        PALMOTA_CLI, "--journal", where_, "journal",         "report", "--from", "today",
        "--pdf",     pdf};
    const RunResult run = testing::runProgram("/usr/bin/env", args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const RunResult text = testing::runProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"});
    ASSERT_EQ(text.status, 0) << text.err;
    for (const char* seen : {"Rapport du journal", "Poste ", "recharg\u00e9", "Page 1 sur 1"})
        EXPECT_NE(text.out.find(seen), std::string::npos) << seen << "\n" << text.out;
}

// A program killed mid-write leaves its row without an outcome, flagged by the next report
// until journal resolve reads the badge again and settles it, by appending, in French at a
// French desk; the report then counts it by what the badge held.
TEST_P(JournalProgram, AProgramKilledMidWriteLeavesARowThatNeedsAReadUntilItIsSettled) {
    holdTheFinalWriteReply();
    ChildProcess child;
    ASSERT_TRUE(child.start(
        PALMOTA_CLI, {"--port", reader_.devicePath(), "--journal", where_, "write", "1700"}));
    ASSERT_TRUE(rowAppears());
    // Killed once the amount reached the badge, while the program waits for the final reply.
    for (auto waited = 0ms; reader_.badge().credit() != 1700 && waited < 3s; waited += 10ms)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(reader_.badge().credit(), 1700);
    child.signal(SIGKILL);
    EXPECT_EQ(child.wait(5s), 128 + SIGKILL);

    const RunResult report = cli({"journal", "report"});
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find("Need a read of the badge"), std::string::npos) << report.out;
    EXPECT_NE(report.out.find("no outcome"), std::string::npos) << report.out;
    const RunResult csv = cli({"journal", "report", "--csv"});
    EXPECT_NE(csv.out.find(",1,0,0,0,1,0,0,\n"), std::string::npos) << csv.out;

    const std::string id = rows().at(0).id;
    // The final reply the killed program never took is dropped with the Reader plugged
    // out and in again; the badge keeps what it was written.
    reader_.unplug();
    reader_.setFaults({});
    ASSERT_TRUE(reader_.replug());
    const RunResult settled = testing::runProgram(
        "/usr/bin/env",
        {"-u", "LC_ALL", "-u", "LC_MESSAGES", "LANG=fr_FR.UTF-8", PALMOTA_CLI, "--port",
         reader_.devicePath(), "--journal", where_, "journal", "resolve"});
    EXPECT_EQ(settled.status, 0) << settled.err << settled.out;
    EXPECT_EQ(settled.out, "serial: 123456\ncredit: 1700\n\u00e9criture " + id +
                               " r\u00e9gl\u00e9e : le badge 123456 portait 1700, le montant "
                               "\u00e9crit\n");
    const RunResult after = cli({"journal", "report", "--csv"});
    EXPECT_NE(after.out.find(",1,1,0,0,0,200,0,\n"), std::string::npos) << after.out;
    EXPECT_EQ(cli({"journal", "report"}).out.find("Need a read"), std::string::npos);
    const RunResult again = cli({"journal", "resolve", "--json"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("\"writes\":[]"), std::string::npos) << again.out;
    EXPECT_EQ(cli({"journal", "verify"}).status, 0);
}

TEST_P(JournalProgram, AJournalOfANewerSchemaIsRefusedWithNothingSent) {
    ASSERT_EQ(cli({"credit"}).status, 0);
    reader_.clearLog();
    ASSERT_TRUE(testing::execRaw(where_, "UPDATE palmota_journal SET schema_version = 7"));
    const RunResult run = cli({"topup", "5"});
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.err, "palmota-cli: journal unavailable: " + where_ +
                           ": its schema is version 7, newer than the 3 this program knows: use "
                           "a newer palmota; nothing written\n");
    EXPECT_EQ(reader_.received(), "");
}

// journal list and verify through the program: the write listed, a clean journal holds, an amount
// raised by SQL behind the program's back is named with a status of its own.
TEST_P(JournalProgram, VerifyHoldsOnACleanJournalAndNamesAnAmountRewritten) {
    ASSERT_EQ(cli({"topup", "5"}).status, 0);
    const RunResult list = cli({"journal", "list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_NE(list.out.find(" 1500 -> 1505          5 confirmed\n"), std::string::npos) << list.out;
    const RunResult clean = cli({"journal", "verify"});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_NE(clean.out.find("3 chained records"), std::string::npos) << clean.out;
    EXPECT_NE(clean.out.find("every chain holds"), std::string::npos) << clean.out;
    ASSERT_TRUE(testing::execRaw(where_, "UPDATE credit_writes SET amount = amount + 1000"));
    const RunResult altered = cli({"journal", "verify"});
    EXPECT_EQ(altered.status, 7);
    EXPECT_NE(altered.err.find("palmota-cli: journal altered: station "), std::string::npos)
        << altered.err;
    EXPECT_NE(altered.err.find(", record 2 ("), std::string::npos) << altered.err;
    EXPECT_NE(altered.err.find("altered: its fields no longer give its hash"), std::string::npos)
        << altered.err;
    const RunResult json = cli({"journal", "verify", "--json"});
    EXPECT_EQ(json.status, 7);
    EXPECT_NE(json.out.find("\"ok\":false"), std::string::npos) << json.out;
}

// journal close through the program, then journal closure 1: the same closure, read back
// from its record; a second close over the same rows is refused.
TEST_P(JournalProgram, AClosureIsShownAgainAsItWasMade) {
    ASSERT_EQ(cli({"topup", "5"}).status, 0);
    const RunResult closed = cli({"journal", "close", "--json"});
    ASSERT_EQ(closed.status, 0) << closed.err;
    EXPECT_NE(closed.out.find("\"number\":1"), std::string::npos) << closed.out;
    EXPECT_NE(closed.out.find("\"grandTotal\":5"), std::string::npos) << closed.out;
    const RunResult shown = cli({"journal", "closure", "1", "--json"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, closed.out);
    const RunResult again = cli({"journal", "close"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("nothing to close since closure 1"), std::string::npos) << again.err;
    EXPECT_EQ(cli({"journal", "closure", "2"}).status, 1);
    EXPECT_EQ(cli({"journal", "verify"}).status, 0);
}

// A French desk closes and prints in one command: one page holding the station, the closure's
// number, its totals, the operator, the chain head's first characters and a line to sign; the
// closure printed again from its record is the same page.
TEST_P(JournalProgram, AClosurePrintedInFrenchIsOnePageToSign) {
    if (!std::filesystem::exists("/usr/bin/pdftotext") ||
        !std::filesystem::exists("/usr/bin/pdfinfo"))
        GTEST_SKIP() << "pdftotext and pdfinfo (poppler-utils) are needed to read the page";
    for (const char* topup : {"5", "20", "75"}) ASSERT_EQ(cli({"topup", topup}).status, 0);
    const auto french = [this](std::vector<std::string> command) {
        std::vector<std::string> args = {"-u",
                                         "LC_ALL",
                                         "-u",
                                         "LC_MESSAGES",
                                         "-u",
                                         "LANGUAGE",
                                         "-u",
                                         "DISPLAY",
                                         "-u",
                                         "WAYLAND_DISPLAY",
                                         "LANG=fr_FR.UTF-8",
                                         PALMOTA_CLI,
                                         "--journal",
                                         where_,
                                         "journal"};
        args.insert(args.end(), command.begin(), command.end());
        return testing::runProgram("/usr/bin/env", args);
    };
    const std::string pdf = folder_.path() + "/cloture.pdf";
    const RunResult closed = french({"close", "--pdf", pdf});
    ASSERT_EQ(closed.status, 0) << closed.err;
    const RunResult info = testing::runProgram("/usr/bin/pdfinfo", {pdf});
    EXPECT_NE(info.out.find("Pages:           1\n"), std::string::npos) << info.out;

    const RunResult json = cli({"journal", "closure", "1", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    const QJsonObject made = QJsonDocument::fromJson(QByteArray::fromStdString(json.out)).object();
    const std::string station = made["station"].toString().toStdString();
    const std::string head = made["chainHead"].toString().toStdString();
    ASSERT_EQ(head.size(), 64u) << json.out;
    ASSERT_EQ(made["user"].toString().toStdString(), platform::accountName());

    const RunResult text = testing::runProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"});
    ASSERT_EQ(text.status, 0) << text.err;
    for (const std::string& seen :
         {std::string("Cl\u00f4ture n\u00b0 1"), "Poste " + station,
          "par " + platform::accountName() + " (palmota-cli",
          "T\u00eate de cha\u00eene " + head.substr(0, 16),
          std::string("Cl\u00f4tur\u00e9e et v\u00e9rifi\u00e9e par (nom et signature) :")})
        EXPECT_NE(text.out.find(seen), std::string::npos) << seen << "\n" << text.out;
    EXPECT_EQ(text.out.find(head), std::string::npos) << "the whole chain head is not printed";
    // Three top-ups of 5, 20 and 75, all confirmed: each figure on its own line, and the
    // operator's line of the table under the same columns.
    for (const std::string& figures :
         {std::string("\u00e9critures +3\n"), std::string("confirm\u00e9es +3\n"),
          std::string("refus\u00e9es +0\n"), std::string("douteuses ouvertes +0\n"),
          std::string("cr\u00e9dit charg\u00e9 +100\n"), std::string("recharg\u00e9 +100\n"),
          std::string("total perp\u00e9tuel +100\n"),
          platform::accountName() + " +3 +3 +0 +0 +0 +100 +100\n"})
        EXPECT_TRUE(std::regex_search(text.out, std::regex(figures))) << figures << "\n"
                                                                      << text.out;

    const std::string again = folder_.path() + "/cloture-1.pdf";
    ASSERT_EQ(french({"closure", "1", "--pdf", again}).status, 0);
    EXPECT_EQ(testing::runProgram("/usr/bin/pdftotext", {"-layout", again, "-"}).out, text.out);
}

TEST_P(JournalProgram, CheckFindsACreditRaisedBehindTheJournal) {
    ASSERT_EQ(cli({"write", "1500"}).status, 0);
    ASSERT_TRUE(testing::execRaw(where_, "DELETE FROM credit_writes"));
    RunResult check = cli({"journal", "check"});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.out, "serial: 123456\ncredit: 1500\nbadge 123456 is not in the journal\n");

    ASSERT_EQ(cli({"topup", "100"}).status, 0);
    check = cli({"journal", "check"});
    EXPECT_EQ(check.status, 0) << check.err;
    // Spent since: less than was loaded is no surprise.
    ASSERT_EQ(cli({"write", "40"}, "").status, 2);  // an empty --journal is refused
    ASSERT_EQ(
        testing::runProgram(PALMOTA_CLI, {"--port", reader_.devicePath(), "write", "1200"}).status,
        0);
    EXPECT_EQ(cli({"journal", "check"}).status, 0);

    ASSERT_EQ(
        testing::runProgram(PALMOTA_CLI, {"--port", reader_.devicePath(), "write", "9000"}).status,
        0);
    check = cli({"journal", "check"});
    EXPECT_EQ(check.status, 1);
    EXPECT_NE(check.err.find("badge 123456 holds 9000, more than the 1600 its last confirmed "
                             "write left"),
              std::string::npos)
        << check.err;
}

// A mistyped path or URI for a report or a check is no empty day: nothing is made there.
TEST_P(JournalProgram, AReportOrACheckWhereNoJournalIsSaysSoAndMakesNone) {
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"journal", "report"}, {"journal", "check"}}) {
        const RunResult run = cli(command);
        EXPECT_EQ(run.status, 2) << command[1];
        EXPECT_EQ(run.err, "palmota-cli: no journal at " + where_ + "\n") << command[1];
        EXPECT_EQ(run.out, "") << command[1];
    }
    std::string error;
    EXPECT_FALSE(testing::openJournal(where_, Access::Read)->exists(error)) << error;
    EXPECT_EQ(reader_.received(), "");
}

// Ctrl+C while another program holds the journal: the wait ends (at once on PostgreSQL,
// within its time-out on SQLite) and the run with it, the badge read and nothing written.
TEST_P(JournalProgram, AStopWhileTheJournalIsHeldEndsTheRunWithNothingWritten) {
    ASSERT_EQ(cli({"credit"}).status, 0);  // the journal exists, its schema made
    reader_.clearLog();
    const testing::HeldLock held(where_);
    ChildProcess child;
    ASSERT_TRUE(child.start(PALMOTA_CLI,
                            {"--port", reader_.devicePath(), "--journal", where_, "topup", "5"}));
    // The badge read before the write: serial, credit, serial.
    for (auto waited = 0ms; waited < 3s && reader_.received().size() < 8; waited += 20ms)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(hexOf(reader_.received()), "00 04 00 00 06 00 04 00");
    const auto stopped = std::chrono::steady_clock::now();
    child.signal(SIGINT);
    EXPECT_EQ(child.wait(8s), 130) << child.err();
    // One line: the stop, not the journal's wait that it ended, is the command's failure.
    EXPECT_EQ(child.err(), "palmota-cli: " + reader_.devicePath() +
                               ": interrupted before the write; nothing sent\n");
    // PostgreSQL's wait is cut as soon as the stop comes (SQLite's ends with its busy wait).
    if (GetParam() == Backend::PostgreSQL) {
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1500ms);
    }
    EXPECT_EQ(reader_.received().find('\x07'), std::string::npos);
    EXPECT_EQ(reader_.badge().credit(), 1500);
}

INSTANTIATE_TEST_SUITE_P(Backends, JournalProgram,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         testing::backendName);

class SqliteJournalProgram : public JournalProgram {};

TEST_P(SqliteJournalProgram, AFileThatIsNoJournalIsRefusedWithNothingSent) {
    const std::string path = folder_.path() + "/random.db";
    std::ofstream(path, std::ios::binary) << std::string("\x13\x37\xC0\xDE garbage", 13);
    RunResult run = cli({"write", "1500"}, path);
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.err, "palmota-cli: journal unavailable: " + path +
                           ": not a journal: file is not a database; nothing written\n");
    run = cli({"write", "1500"}, folder_.path() + "/no/such/folder/journal.db");
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.err, "palmota-cli: journal unavailable: " + folder_.path() +
                           "/no/such/folder/journal.db: no folder " + folder_.path() +
                           "/no/such/folder for the journal; nothing written\n");
    EXPECT_EQ(reader_.received(), "");
}

// The journal's file removed during a session: the next write is refused, and says why.
TEST_P(SqliteJournalProgram, AJournalRemovedDuringASessionTakesNoMoreWrites) {
    ChildProcess session;
    ASSERT_TRUE(session.start(PALMOTA_CLI,
                              {"--port", reader_.devicePath(), "--journal", where_, "-"},
                              {.inputPipe = true}));
    session.send("topup 5\n");
    ASSERT_EQ(session.readLine(5s), "serial: 123456");
    ASSERT_EQ(session.readLine(5s), "credit: 1500 -> 1505");
    std::filesystem::remove(where_);
    session.send("topup 5\n");
    session.closeInput();
    EXPECT_EQ(session.wait(10s), 6);
    EXPECT_NE(session.err().find(": the journal file was moved or removed since it was opened; "
                                 "no more writes until the program is started again; nothing "
                                 "written"),
              std::string::npos)
        << session.err();
    EXPECT_EQ(reader_.badge().credit(), 1505);
    EXPECT_FALSE(std::filesystem::exists(where_));
}

// The journal moved aside during a session (an archive, a backup): the rows of the
// session's writes went with the file, and the next writes are refused with nothing sent,
// each of them: no new journal is begun under the old name.
TEST_P(SqliteJournalProgram, AJournalMovedDuringASessionKeepsItsRowsAndTakesNoMore) {
    ChildProcess session;
    ASSERT_TRUE(session.start(
        PALMOTA_CLI, {"--port", reader_.devicePath(), "--journal", where_, "--keep-going", "-"},
        {.inputPipe = true}));
    for (int i = 1; i <= 3; ++i) {
        session.send("topup 5\n");
        ASSERT_EQ(session.readLine(5s), "serial: 123456");
        ASSERT_EQ(session.readLine(5s), "credit: " + std::to_string(1500 + 5 * (i - 1)) + " -> " +
                                            std::to_string(1500 + 5 * i));
    }
    const std::string aside = folder_.path() + "/archive.db";
    std::filesystem::rename(where_, aside);
    reader_.clearLog();
    session.send("topup 5\ntopup 5\n");
    session.closeInput();
    EXPECT_EQ(session.wait(10s), 6);
    const std::string refusal = "palmota-cli: journal unavailable: " + where_ +
                                ": the journal file was moved or removed since it was opened; "
                                "no more writes until the program is started again; nothing "
                                "written\n";
    const std::string& err = session.err();
    const auto first = err.find(refusal);
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_NE(err.find(refusal, first + 1), std::string::npos) << err;
    EXPECT_EQ(reader_.received().find('\x07'), std::string::npos) << hexOf(reader_.received());
    EXPECT_EQ(reader_.badge().credit(), 1515);
    EXPECT_FALSE(std::filesystem::exists(where_));

    std::string error;
    const auto kept = testing::openJournal(aside, Access::Read)->rows({}, error);
    ASSERT_TRUE(kept) << error;
    ASSERT_EQ(kept->size(), 3u);
    for (const WriteRow& row : *kept) {
        ASSERT_TRUE(row.end);
        EXPECT_TRUE(row.end->confirmed);
    }
}

// Run as another user (nobody) than the one who owns the journal: a journal it may not
// read is said so, not taken for no journal; one it may read but not write is read-only,
// and reports still read it.
TEST_P(SqliteJournalProgram, AJournalTheUserMayNotReadOrWriteIsSaidSo) {
    ASSERT_EQ(cli({"topup", "5"}).status, 0);
    ASSERT_EQ(::chmod(folder_.path().c_str(), 0755), 0);
    const auto asNobody = [](std::vector<std::string> args) {
        args.insert(args.begin(),
                    {"--reuid=65534", "--regid=65534", "--clear-groups", PALMOTA_CLI});
        return testing::runProgram("/usr/bin/setpriv", args);
    };
    const std::string unavailable = "palmota-cli: journal unavailable: " + where_ + ": ";

    ASSERT_EQ(::chmod(where_.c_str(), 0600), 0);
    RunResult run = asNobody({"--journal", where_, "journal", "report"});
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.err, unavailable + "cannot read the journal: permission denied\n");

    ASSERT_EQ(::chmod(where_.c_str(), 0644), 0);
    run = asNobody({"--journal", where_, "journal", "report", "--csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(",1,1,0,0,0,5,5,\n"), std::string::npos) << run.out;
    // The journal is opened before the port: a port nobody may open is never reached.
    run = asNobody({"--port", reader_.devicePath(), "--journal", where_, "topup", "5"});
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.err, unavailable +
                           "the journal is read-only: permission denied; nothing "
                           "written\n");

    // Writable, in a folder the user may not write in: each write keeps its rollback file
    // beside the journal.
    ASSERT_EQ(::chmod(where_.c_str(), 0666), 0);
    run = asNobody({"--port", reader_.devicePath(), "--journal", where_, "topup", "5"});
    EXPECT_EQ(run.status, 6);
    EXPECT_EQ(run.err, unavailable + "cannot write in the journal's folder " + folder_.path() +
                           " (permission denied): each write keeps a file beside the journal; "
                           "nothing written\n");
    EXPECT_EQ(reader_.badge().credit(), 1505);
}

INSTANTIATE_TEST_SUITE_P(Backends, SqliteJournalProgram, ::testing::Values(Backend::SQLite),
                         testing::backendName);

class PostgresJournalProgram : public JournalProgram {};

// The server goes away between a read and a write of one session: the write's row cannot be
// committed, so the write is never sent.
TEST_P(PostgresJournalProgram, AServerStoppedBeforeAWriteLetsNothingOut) {
    ChildProcess session;
    ASSERT_TRUE(session.start(PALMOTA_CLI,
                              {"--port", reader_.devicePath(), "--journal", where_, "-"},
                              {.inputPipe = true}));
    session.send("read\n");
    ASSERT_EQ(session.readLine(5s), "serial: 123456");
    ASSERT_EQ(session.readLine(5s), "credit: 1500");
    testing::postgres().stop();
    session.send("write 1700\n");
    session.closeInput();
    EXPECT_EQ(session.wait(20s), 6);
    // One line of ours says it (the server may say why it went, on a line of its own); the
    // database driver's own complaints stay off standard error.
    const std::string& err = session.err();
    EXPECT_EQ(err.find("Unable to free statement"), std::string::npos) << err;
    std::size_t ours = 0;
    for (std::size_t at = err.find("palmota-cli: "); at != std::string::npos;
         at = err.find("palmota-cli: ", at + 1))
        ++ours;
    EXPECT_EQ(ours, 1u) << err;
    EXPECT_NE(session.err().find("; nothing written\n"), std::string::npos) << session.err();
    // The badge was read for the row; no credit write went out.
    EXPECT_EQ(reader_.received().find('\x07'), std::string::npos) << hexOf(reader_.received());

    // Stopped before the program starts: nothing at all goes out.
    reader_.clearLog();
    EXPECT_EQ(cli({"write", "1700"}).status, 6);
    EXPECT_EQ(reader_.received(), "");
}

// The server stops while the Reader holds the write's final reply back: the write is done,
// its outcome cannot be recorded, and its row stays without one.
TEST_P(PostgresJournalProgram, AServerLostMidWriteLeavesTheRowWithoutOutcome) {
    holdTheFinalWriteReply();
    ChildProcess child;
    ASSERT_TRUE(child.start(
        PALMOTA_CLI, {"--port", reader_.devicePath(), "--journal", where_, "write", "1700"}));
    ASSERT_TRUE(rowAppears());
    const std::string id = rows().front().id;
    testing::postgres().stop();
    // The amount went out: a script must read the badge before it tries again.
    EXPECT_EQ(child.wait(20s), 5);
    EXPECT_EQ(child.out(), "OK\n");
    // The server may say why it went, on a line of its own before ours.
    EXPECT_NE(
        child.err().find("palmota-cli: journal: the outcome of write " + id +
                         " (ok, credit read back 1700) could not be recorded in " + where_ + ": "),
        std::string::npos)
        << child.err();
    EXPECT_NE(child.err().find("; the row stays without outcome\n"), std::string::npos);
    EXPECT_EQ(reader_.badge().credit(), 1700);

    std::string error;
    ASSERT_TRUE(testing::postgres().start(&error)) << error;
    const auto found = rows();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].end);
    const RunResult report = cli({"journal", "report", "--json"});
    EXPECT_NE(report.out.find("\"noOutcome\":1"), std::string::npos) << report.out;
    EXPECT_NE(report.out.find("\"id\":\"" + id + "\""), std::string::npos) << report.out;
}

// The longest a write waits for a server that does not answer: its own deadline and what
// a loaded machine adds to it.
constexpr auto kGiveUpLimit = SqlJournal::kAnswerDeadline + 1500ms;

// The session's server stops answering between two top-ups: the second is given up at the
// journal's deadline, or at once on Ctrl+C, with nothing written either way.
TEST_P(PostgresJournalProgram, AServerThatStopsAnsweringBeforeAWriteIsGivenUp) {
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "Ctrl+C" : "deadline");
        const std::string name = stop ? "stall_stop" : "stall_deadline";
        ChildProcess session;
        ASSERT_TRUE(session.start(PALMOTA_CLI,
                                  {"--port", reader_.devicePath(), "--journal",
                                   testing::namedConnections(where_, name), "-"},
                                  {.inputPipe = true}));
        session.send("topup 1\n");
        ASSERT_EQ(session.readLine(5s), "serial: 123456");
        ASSERT_TRUE(session.readLine(5s));
        const int credit = reader_.badge().credit();
        testing::StalledBackends stalled(where_, name);
        ASSERT_GE(stalled.count(), 1u);
        reader_.clearLog();
        const auto sent = std::chrono::steady_clock::now();
        session.send("topup 1\n");
        if (stop) {
            // The badge read before the write (serial, credit, serial), then the row waits.
            for (auto waited = 0ms; waited < 3s && reader_.received().size() < 8; waited += 10ms)
                std::this_thread::sleep_for(10ms);
            std::this_thread::sleep_for(300ms);
            session.signal(SIGINT);
        }
        const auto status = session.wait(kGiveUpLimit + 5s);
        const auto gaveUp = std::chrono::steady_clock::now() - sent;
        stalled.resume();
        // The first top-up's amount went out in this run: a stop then ends it with 5.
        EXPECT_EQ(status, stop ? 5 : 6) << session.err();
        if (stop) {
            EXPECT_LT(gaveUp, 1500ms);
        } else {
            EXPECT_GE(gaveUp, SqlJournal::kAnswerDeadline);
            EXPECT_LT(gaveUp, kGiveUpLimit);
            EXPECT_NE(session.err().find("no answer from the server in 6 s; nothing written\n"),
                      std::string::npos)
                << session.err();
        }
        ::testing::Test::RecordProperty(
            name + "_ms",
            static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(gaveUp).count()));
        EXPECT_EQ(reader_.received().find('\x07'), std::string::npos) << hexOf(reader_.received());
        EXPECT_EQ(reader_.badge().credit(), credit);
    }
}

// The server stops answering while the Reader holds the write's final reply back: the amount
// went out, its outcome cannot be recorded within the deadline, and the run says so.
TEST_P(PostgresJournalProgram, AServerThatStopsAnsweringMidWriteLeavesTheRowWithoutOutcome) {
    holdTheFinalWriteReply();
    const std::string name = "stall_mid_write";
    ChildProcess child;
    ASSERT_TRUE(
        child.start(PALMOTA_CLI, {"--port", reader_.devicePath(), "--journal",
                                  testing::namedConnections(where_, name), "write", "1700"}));
    ASSERT_TRUE(rowAppears());
    // The row's statement is done with (its prepared statement freed) well within this.
    std::this_thread::sleep_for(300ms);
    testing::StalledBackends stalled(where_, name);
    ASSERT_GE(stalled.count(), 1u);
    const auto stalledAt = std::chrono::steady_clock::now();
    const auto status = child.wait(kGiveUpLimit + 5s);
    const auto gaveUp = std::chrono::steady_clock::now() - stalledAt;
    stalled.resume();
    EXPECT_EQ(status, 5) << child.err();
    // The write's final reply comes 1.5 s after the stall at most, then the deadline runs.
    EXPECT_LT(gaveUp, kGiveUpLimit + 1500ms);
    EXPECT_NE(child.err().find(": no answer from the server in 6 s; the row stays without "
                               "outcome\n"),
              std::string::npos)
        << child.err();
    EXPECT_EQ(reader_.badge().credit(), 1700);
    const auto found = rows();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_FALSE(found[0].end);
}

// Two stations top up at once through one server: no row is lost, and the totals add up.
TEST_P(PostgresJournalProgram, TwoStationsSharingOneJournalLoseNoRow) {
    constexpr int kTopups = 500;
    constexpr int kAmount = 3;
    sim::PtyReader second;
    ASSERT_TRUE(second.start());
    std::string lines;
    for (int i = 0; i < kTopups; ++i) lines += "topup " + std::to_string(kAmount) + "\n";
    ChildProcess desks[2];
    const std::string ports[2] = {reader_.devicePath(), second.devicePath()};
    for (int d = 0; d < 2; ++d) {
        ASSERT_TRUE(desks[d].start(PALMOTA_CLI, {"--port", ports[d], "--journal", where_, "-"},
                                   {.inputPipe = true}));
    }
    for (ChildProcess& desk : desks) {
        desk.send(lines);
        desk.closeInput();
    }
    // Each write waits 100 ms of silence before its verdict: about 55 s for 500.
    for (ChildProcess& desk : desks) EXPECT_EQ(desk.wait(150s), 0) << desk.err();
    EXPECT_EQ(reader_.badge().credit(), 1500 + kTopups * kAmount);
    EXPECT_EQ(second.badge().credit(), 1500 + kTopups * kAmount);

    const auto totals = dailyTotals(rows());
    ASSERT_EQ(totals.size(), 1u);  // one host: both desks are the same station here
    EXPECT_EQ(totals[0].writes, 2 * kTopups);
    EXPECT_EQ(totals[0].confirmed, 2 * kTopups);
    EXPECT_EQ(totals[0].loaded, 2 * kTopups * kAmount);
    EXPECT_EQ(totals[0].topups, 2 * kTopups * kAmount);
    const RunResult report = cli({"journal", "report", "--csv"});
    EXPECT_NE(report.out.find(",1000,1000,0,0,0,3000,3000,\n"), std::string::npos) << report.out;
}

INSTANTIATE_TEST_SUITE_P(Backends, PostgresJournalProgram, ::testing::Values(Backend::PostgreSQL),
                         testing::backendName);

// What --journal names: a file or a postgresql:// URI; a password never shown back.
TEST(JournalOption, AnotherKindOfUriIsAUsageErrorAndAPasswordIsNeverShown) {
    RunResult run =
        testing::runProgram(PALMOTA_CLI, {"--journal", "mysql://desk@db/palmota", "write", "5"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("palmota-cli: --journal mysql://desk@db/palmota: a file path or a "
                            "postgresql:// URI",
                            0),
              0u)
        << run.err;
    for (const char* where :
         {"postgresql://desk:s3cr3t@db/palmota", "postgresql://desk:s3cr3t@db:99999/palmota"}) {
        run = testing::runProgram(PALMOTA_CLI, {"--journal", where, "write", "5"});
        EXPECT_EQ(run.status, 2) << where;
        EXPECT_EQ(run.err.find("s3cr3t"), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace palmota::journal

// The till's promises over every combination rather than over chosen rows: which badge
// each operation meets, the shape of the write's final byte and of the read-back, where a
// stop lands, which of the journal's statements fails, and how each reply of each exchange
// is timed. Every run is on the scripted line with the emulator's engine and the fake
// clock, with a journal in memory, and is held to the promises of the exit-status table:
//   0 => the badge named holds what was written, and no other badge changed;
//   1 to 4, 6, 130 and 141 => no badge's credit changed;
//   a confirmed row => the badge it names holds its amount;
//   an unchanged row => no badge changed;
//   a row names the badge written only when it is the one the write met;
//   no row says "ok" unconfirmed;
//   the daily report's loaded total is the badges' real change, once no row needs a read.
// Each sweep prints how many runs it made and how long they took.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "journal/daily_report.h"
#include "tests/till/desk.h"

namespace palmota::till {
namespace {

constexpr int kCreditA = 1500;
constexpr int kCreditB = 100;
constexpr int kExtraByte = 0xEE;

// A command as a front end runs it, and its operations on the wire when all goes well.
struct Command {
    const char* name;
    bool topup;
    bool verify;
    bool journaled;
    // Serial, credit, serial, write, serial, credit, serial; a verified write without a
    // journal: write, credit; a plain write: the write alone.
    int operations;
    int writeOperation;
};

constexpr Command kCommands[] = {
    {"topup 500", true, false, false, 7, 3},
    {"--journal topup 500", true, false, true, 7, 3},
    {"--journal write 700", false, false, true, 7, 3},
    {"--journal write --verify 700", false, true, true, 7, 3},
    {"write --verify 700", false, true, false, 2, 0},
    {"write 700", false, false, false, 1, 0},
};

bool readsSerial(const Command& c, int operation) {
    return c.operations == 7 && operation % 2 == 0;
}

// A desk and what came of one run on it.
struct Ran {
    std::unique_ptr<Desk> desk = std::make_unique<Desk>();
    bool tellable = true;  // see creditsTellable
    WriteVerdict verdict;
    std::vector<std::string> broken;
};

std::string credits(Desk& d) {
    return "A " + std::to_string(kCreditA) + " -> " + std::to_string(d.held(0).credit()) + ", B " +
           std::to_string(kCreditB) + " -> " + std::to_string(d.held(1).credit());
}

std::uint32_t serialOf(const std::string& text) {
    return static_cast<std::uint32_t>(std::stoul(text));
}

// A credit read carries no serial number: a badge laid on the Reader for the credit read
// alone, between two serial reads of the other, is one the line cannot tell from the other
// badge holding its credit. Such timelines are held to the verdict's own consistency only.
bool creditsTellable(const Command& c, const std::string& who) {
    if (c.operations != 7) return true;
    const auto badge = [](char w) { return w == 'A' || w == 'B'; };
    for (const std::size_t credit : {std::size_t{1}, std::size_t{5}}) {
        if (credit + 1 >= who.size()) continue;
        const char before = who[credit - 1], read = who[credit], after = who[credit + 1];
        if (badge(before) && badge(read) && before == after && read != before) return false;
    }
    return true;
}

// Which promises the run broke, each said with what was seen.
std::vector<std::string> brokenPromises(Desk& d, const Command& c, const WriteVerdict& v,
                                        bool tellable) {
    std::vector<std::string> broken;
    const int status = exitStatus(v.family());
    const std::string seen = "status " + std::to_string(status) + " (" +
                             std::string(causeName(v.cause)) + "), " + credits(d);
    const auto say = [&](const std::string& what) { broken.push_back(what + "; " + seen); };
    if (v.cause == Cause::Ok && !v.confirmed) say("ok, not confirmed");
    for (const journal::WriteRow& row : d.journal.kept)
        if (row.end && row.end->cause == "ok" && !row.end->confirmed)
            say("row " + row.id + ": ok, not confirmed");
    if (!tellable) return broken;
    const int creditA = d.held(0).credit();
    const int creditB = d.held(1).credit();
    const bool changedA = creditA != kCreditA;
    const bool changedB = creditB != kCreditB;
    const bool changed = changedA || changedB;
    if (status == 0) {
        const int amount = v.amount.value_or(-1);
        if (changedA && changedB) say("0, yet both badges changed");
        if (!changed) say("0, yet no badge holds the amount");
        if ((changedA && creditA != amount) || (changedB && creditB != amount))
            say("0, yet a badge holds another credit than the " + std::to_string(amount));
        if (v.serial) {
            const int named = d.badgeNamed(static_cast<std::uint32_t>(*v.serial));
            if (named < 0 || d.held(named).credit() != amount)
                say("0, yet badge " + std::to_string(*v.serial) + " does not hold the amount");
        }
        if ((c.topup || c.verify) && v.after != v.amount) say("0, with no credit read back");
    }
    if (status != 0 && status != 5 && changed) say("no credit may change with this status");
    if (v.unchanged && changed) say("said unchanged");
    for (const journal::WriteRow& row : d.journal.kept) {
        if (!row.end) continue;
        const std::string id = "row " + row.id + " (" + row.end->cause + ")";
        if (row.end->confirmed) {
            const auto badge = row.badge();
            const int named = badge ? d.badgeNamed(serialOf(*badge)) : -1;
            if (named < 0 || d.held(named).credit() != row.start.amount)
                say(id + ": confirmed, yet its badge " + badge.value_or("-") + " does not hold " +
                    std::to_string(row.start.amount));
        }
        if (row.end->unchanged && changed) say(id + ": unchanged, yet a badge changed");
        if (row.end->serialAfter && d.badgeNamed(serialOf(*row.end->serialAfter)) != d.metWrite)
            say(id + ": names badge " + *row.end->serialAfter + " written, not the one it met");
    }
    bool settled = true;
    for (const journal::WriteRow& row : d.journal.kept)
        settled = settled && !journal::needsRead(row);
    long long loaded = 0;
    for (const journal::DayTotals& day : journal::dailyTotals(d.journal.kept)) loaded += day.loaded;
    if (c.journaled && settled && loaded != (creditA - kCreditA) + (creditB - kCreditB))
        say("the report says " + std::to_string(loaded) + " loaded");
    return broken;
}

// Runs `c` on a fresh desk whose badges follow `timeline` (see Desk::timeline), after
// `setup`.
Ran perform(const Command& c, const std::string& timeline,
            const std::function<void(Desk&)>& setup = {}) {
    Ran ran;
    Desk& d = *ran.desk;
    d.timeline(timeline);
    if (c.journaled) d.till.setLedger(&d.ledger);
    if (setup) setup(d);
    const Amount amount = typed(c.topup ? "500" : "700");
    ran.verdict = c.topup ? d.till.topup(amount) : d.till.write(amount, c.verify);
    ran.tellable = creditsTellable(c, timeline);
    ran.broken = brokenPromises(d, c, ran.verdict, ran.tellable);
    return ran;
}

// The runs of one sweep, and what they broke, named by their combination.
class Sweep {
  public:
    // `statuses`: each must come of one run at least, or the sweep missed what it sweeps.
    Sweep(std::string what, std::vector<int> statuses)
        : what_(std::move(what)), expected_(std::move(statuses)) {}
    void add(const std::string& combination, const Ran& ran) {
        ++runs_;
        ++statuses_[exitStatus(ran.verdict.family())];
        if (!ran.tellable) ++untellable_;
        for (const std::string& b : ran.broken) broken_.push_back(combination + ": " + b);
    }
    void fail(const std::string& combination, const std::string& why) {
        broken_.push_back(combination + ": " + why);
    }
    int runs() const { return runs_; }
    ~Sweep() {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - began_)
                            .count();
        std::cout << "[ sweep    ] " << what_ << ": " << runs_ << " combinations in " << ms
                  << " ms";
        if (untellable_ > 0)
            std::cout << " (" << untellable_
                      << " with a badge met by a credit read alone, held to consistency only)";
        std::cout << "; statuses";
        for (const auto& [status, count] : statuses_) std::cout << ' ' << status << ':' << count;
        std::cout << '\n';
        for (const int status : expected_)
            EXPECT_GT(statuses_[status], 0) << what_ << ": no run ended with status " << status;
        ::testing::Test::RecordProperty("combinations", runs_);
        ::testing::Test::RecordProperty("milliseconds", static_cast<int>(ms));
        std::string listed;
        for (std::size_t i = 0; i < broken_.size() && i < 25; ++i) listed += broken_[i] + '\n';
        EXPECT_TRUE(broken_.empty()) << broken_.size() << " broken promises, the first:\n"
                                     << listed;
    }

  private:
    std::string what_;
    int runs_ = 0;
    int untellable_ = 0;
    std::vector<int> expected_;
    std::map<int, int> statuses_;
    std::vector<std::string> broken_;
    std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

// Every timeline of two badges over the command's operations (A or B at each), and the
// same with one serial number misread (a, b) or no badge at one operation (-).
TEST(Sweep, EveryTimelineOfTwoBadges) {
    Sweep sweep("two badges over every operation", {0, 1, 5});
    for (const Command& c : kCommands) {
        for (int mask = 0; mask < (1 << c.operations); ++mask) {
            std::string who;
            for (int i = 0; i < c.operations; ++i) who += (mask >> i & 1) ? 'B' : 'A';
            std::vector<std::string> timelines{who};
            for (int i = 0; i < c.operations; ++i) {
                if (readsSerial(c, i)) {
                    timelines.push_back(who);
                    timelines.back()[i] = static_cast<char>(std::tolower(who[i]));
                }
                timelines.push_back(who);
                timelines.back()[i] = '-';
            }
            for (const std::string& t : timelines)
                sweep.add(std::string(c.name) + ", badges " + t, perform(c, t));
        }
    }
}

// What the Reader does with the amount and answers it with.
enum class FinalByte { Stored, Refused, Other, None, Twice, Late };
constexpr const char* kFinalByteNames[] = {"00",   "FF",    "05 (neither)",
                                           "none", "twice", "late (past its limit)"};

// The Reader stores the amount (FF: stores nothing), or something else (`storedOther`).
void shapeFinalByte(Desk& d, FinalByte shape, bool storedOther) {
    d.garbleAmount = storedOther;
    sim::ReaderFaults faults;
    switch (shape) {
        case FinalByte::Stored:
            break;
        case FinalByte::Refused:
            // FF from a Reader that stored something all the same: only a read-back tells.
            if (storedOther)
                d.finalReply = "FF";
            else
                faults.writeRefused = true;
            break;
        case FinalByte::Other:
            d.finalReply = "05";
            break;
        case FinalByte::None:
            faults.noFinalWriteReply = true;
            break;
        case FinalByte::Twice:
            d.finalReply = "00 00";
            break;
        case FinalByte::Late:
            faults.lateWriteReply = std::chrono::milliseconds{3500};
            break;
    }
    d.engine.setFaults(faults);
}

enum class JournalFault { None, AtBeginning, AtCompletion };
constexpr const char* kJournalFaultNames[] = {"", ", journal fails at the row's beginning",
                                              ", journal fails at the row's completion"};

// Every shape of the write's final byte, crossed with the read-back: as the byte says,
// another credit stored, the Reader silent after the amount, or no badge at each read
// after the write; with a journal, crossed again with a failure at the row's beginning or
// completion. A plain write reads nothing back: a Reader that says 00 and stores something
// else is for a read-back to catch, so its only read-back is the Reader's word; and a
// verified write without a journal reads no credit before, that would show an FF false.
TEST(Sweep, EveryFinalByteAndReadBackAndJournalFailure) {
    Sweep sweep("final byte x read-back x journal failure", {0, 1, 5, 6});
    for (const Command& c : kCommands) {
        const int readsAfter = c.operations - c.writeOperation - 1;
        for (int f = 0; f <= static_cast<int>(FinalByte::Late); ++f) {
            const auto shape = static_cast<FinalByte>(f);
            // -3: as said; -2: another credit stored; -1: silent; k: no badge at read k.
            for (int readBack = -3; readBack < readsAfter; ++readBack) {
                if (c.operations == 1 && readBack != -3) continue;
                // FF is the Reader's word that nothing was stored: only a credit read before
                // the write can show a read-back that contradicts it.
                if (shape == FinalByte::Refused && readBack == -2 && c.operations != 7) continue;
                for (int j = 0; j <= static_cast<int>(JournalFault::AtCompletion); ++j) {
                    if (!c.journaled && j != 0) continue;
                    const auto fault = static_cast<JournalFault>(j);
                    std::string timeline(static_cast<std::size_t>(c.operations), 'A');
                    if (readBack >= 0)
                        timeline[static_cast<std::size_t>(c.writeOperation + 1 + readBack)] = '-';
                    const std::string name =
                        std::string(c.name) + ", final byte " + kFinalByteNames[f] +
                        (readBack == -3   ? ", read back as said"
                         : readBack == -2 ? ", another credit stored"
                         : readBack == -1 ? ", Reader silent after the amount"
                                          : ", no badge at read " + std::to_string(readBack) +
                                                " after the write") +
                        kJournalFaultNames[j];
                    sweep.add(name, perform(c, timeline, [=](Desk& d) {
                                  shapeFinalByte(d, shape, readBack == -2);
                                  if (readBack == -1) d.silentAfterAmount();
                                  d.journal.refuseBegin = fault == JournalFault::AtBeginning;
                                  d.journal.refuseComplete = fault == JournalFault::AtCompletion;
                              }));
                }
            }
        }
    }
}

std::size_t bytesCrossed(const Desk& d) {
    return d.line.allWritten().size() + d.line.bytesRead;
}

// A stop asked before every operation and at every byte that crosses the line, either
// way, and while the journal commits or completes the row. Asked before the amount went
// out, it ends the command with 130 and nothing written.
TEST(Sweep, AStopAtEveryByteOfEveryExchange) {
    Sweep sweep("a stop at every byte", {0, 5, 130});
    for (const Command& c : kCommands) {
        const std::size_t crossed = bytesCrossed(*perform(c, "A").desk);
        const auto stopped = [&](const std::string& where, Ran ran, bool asked) {
            if (asked && !ran.verdict.amountSent && exitStatus(ran.verdict.family()) != 130)
                ran.broken.push_back("asked before the amount went out, yet not 130");
            sweep.add(std::string(c.name) + ", stop " + where, ran);
        };
        for (std::size_t k = 0; k <= crossed; ++k) {
            bool asked = false;
            Ran ran = perform(c, "A", [k, &asked](Desk& d) {
                d.till.setInterruption([&d, k, &asked] {
                    asked = asked || bytesCrossed(d) >= k;
                    return asked;
                });
            });
            stopped("at byte " + std::to_string(k), std::move(ran), asked);
        }
        if (!c.journaled) continue;
        for (const bool atBeginning : {true, false}) {
            bool asked = false;
            Ran ran = perform(c, "A", [atBeginning, &asked](Desk& d) {
                d.till.setInterruption([&asked] { return asked; });
                (atBeginning ? d.journal.duringBegin : d.journal.duringComplete) = [&asked] {
                    asked = true;
                };
            });
            // Asked while the outcome is recorded, the verdict stands as it was judged.
            stopped(atBeginning ? "while the row is committed" : "while the row is completed",
                    std::move(ran), atBeginning);
        }
    }
}

// One exchange of an operation: the host's write that begins it, and how long its reply
// may take. A credit read waits for its header, then for the rest the header announced.
struct Exchange {
    std::size_t write;
    Seconds limit;
    std::size_t operation;
    bool rest;       // the credit's rest, after its header
    bool longReply;  // a reply of more than one byte
    const char* what;
};

std::vector<Exchange> exchangesOf(const std::vector<Bytes>& writes) {
    using std::chrono::seconds;
    std::vector<Exchange> found;
    std::size_t operation = 0;
    Bytes previous;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const Bytes& w = writes[i];
        if (previous == hex("04")) {
            found.push_back({i, seconds{2}, operation, false, true, "block reply"});
        } else if (previous == hex("07")) {
            found.push_back({i, seconds{3}, operation, false, false, "final byte"});
        } else if (w == hex("00")) {
            if (i > 0) ++operation;
            found.push_back({i, seconds{1}, operation, false, false, "ready check"});
        } else if (w == hex("04") || w == hex("07")) {
            found.push_back({i, seconds{3}, operation, false, false, "acknowledgement"});
        } else if (w == hex("06")) {
            found.push_back({i, seconds{1}, operation, false, true, "credit header"});
            found.push_back({i, seconds{2}, operation, true, false, "credit rest"});
        }
        previous = (previous == hex("04") || previous == hex("07")) ? Bytes() : w;
    }
    return found;
}

enum class Timing { AtTheLimit, PastTheLimit, TailAtTheLimit, TailPastTheLimit, ByteRightAfter };
constexpr const char* kTimingNames[] = {
    "at its limit", "just past its limit", "begun halfway and ended at its limit",
    "begun halfway and ended just past its limit", "with a byte right after it"};

// Every reply of every exchange coming whole exactly at its limit, or just past it; begun
// halfway to its limit and ended at it or just past it; or with a byte right after it. At the
// limit it is taken, and the command does as if it had come at once; past it or with a
// byte after it, it is not: the operation fails, whatever comes of the command.
TEST(Sweep, EveryReplyAtItsLimitPastItOrWithAByteAfterIt) {
    using std::chrono::milliseconds;
    Sweep sweep("every reply's timing and tail", {0, 4, 5});
    for (const Command& c : kCommands) {
        const std::vector<Exchange> exchanges = exchangesOf(perform(c, "A").desk->line.writes);
        for (const Exchange& e : exchanges) {
            for (int t = 0; t <= static_cast<int>(Timing::ByteRightAfter); ++t) {
                const auto timing = static_cast<Timing>(t);
                const bool tail =
                    timing == Timing::TailAtTheLimit || timing == Timing::TailPastTheLimit;
                // The credit's rest is a reply's tail already; a one-byte reply has none.
                if (e.rest && (tail || timing == Timing::ByteRightAfter)) continue;
                if (tail && !e.longReply) continue;
                const bool past =
                    timing == Timing::PastTheLimit || timing == Timing::TailPastTheLimit;
                const Seconds due = e.limit + (past ? milliseconds{1} : milliseconds{0});
                Ran ran = perform(c, "A", [&e, timing, tail, due](Desk& d) {
                    d.shapeReply = [&e, timing, tail, due](std::size_t index,
                                                           std::vector<Arrival>& arrivals) {
                        if (index != e.write || arrivals.empty()) return;
                        const Arrival whole = arrivals.front();
                        if (timing == Timing::ByteRightAfter) {
                            arrivals.push_back({arrivals.back().after + milliseconds{1},
                                                Bytes(1, static_cast<char>(kExtraByte))});
                        } else if (e.rest) {
                            // The credit's header (two bytes) at once, its rest at `due`.
                            arrivals = {{whole.after, whole.bytes.substr(0, 2)},
                                        {whole.after + due, whole.bytes.substr(2)}};
                        } else if (tail) {
                            // The first byte halfway to the limit: what is left to wait
                            // is then half the limit.
                            arrivals = {{e.limit / 2, whole.bytes.substr(0, 1)},
                                        {due, whole.bytes.substr(1)}};
                        } else {
                            const Seconds shift = due - whole.after;
                            for (Arrival& a : arrivals) a.after += shift;
                        }
                    };
                });
                const std::string name = std::string(c.name) + ", operation " +
                                         std::to_string(e.operation) + "'s " + e.what + " " +
                                         kTimingNames[t];
                const std::vector<Outcome>& ops = ran.verdict.operations;
                const bool taken = e.operation < ops.size() && ops[e.operation].succeeded();
                const bool atTheLimit =
                    timing == Timing::AtTheLimit || timing == Timing::TailAtTheLimit;
                if (atTheLimit && (!taken || ran.verdict.cause != Cause::Ok))
                    ran.broken.push_back("a reply at its limit was not taken");
                if (!atTheLimit && taken) ran.broken.push_back("the operation succeeded");
                sweep.add(name, ran);
            }
        }
    }
}

}  // namespace
}  // namespace palmota::till

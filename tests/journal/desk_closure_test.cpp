// A desk day closed as a cashier closes it: two stations, each with its own Reader and its
// badges, writing into one journal as two programs would, then closed; every figure of each
// closure is held against what the emulated badges really hold, on SQLite and on PostgreSQL.
#include <gtest/gtest.h>

#include <QDateTime>
#include <map>
#include <memory>

#include "journal/cashup_data.h"
#include "tests/journal/journal_places.h"
#include "tests/till/desk.h"

namespace palmota::till {
namespace {

using journal::Closure;
using journal::OperatorLine;
using palmota::testing::Backend;

constexpr int kTopups = 40;
constexpr int kBadges = 3;

// Now as the journal stamps its records: UTC, milliseconds, a Z. Such texts sort as times.
std::string utcNow() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

// What the badges tell of a period: its figures as a closure must give them, one line per
// operator, counted from the credits the emulator holds before and after each write.
struct Expected {
    std::map<std::string, OperatorLine> lines;
    int open = 0;

    OperatorLine& of(const std::string& user) {
        OperatorLine& line = lines[user];
        line.user = user;
        return line;
    }
    void check(const Closure& made, long long previousGrandTotal) const {
        OperatorLine total;
        std::vector<OperatorLine> ordered;
        for (const auto& [user, line] : lines) {
            ordered.push_back(line);
            total.writes += line.writes;
            total.confirmed += line.confirmed;
            total.refused += line.refused;
            total.doubtful += line.doubtful;
            total.resolved += line.resolved;
            total.loaded += line.loaded;
            total.toppedUp += line.toppedUp;
        }
        EXPECT_EQ(made.writes, total.writes);
        EXPECT_EQ(made.confirmed, total.confirmed);
        EXPECT_EQ(made.refused, total.refused);
        EXPECT_EQ(made.doubtful, total.doubtful);
        EXPECT_EQ(made.resolved, total.resolved);
        EXPECT_EQ(made.loaded, total.loaded);
        EXPECT_EQ(made.toppedUp, total.toppedUp);
        EXPECT_EQ(made.grandTotal, previousGrandTotal + total.loaded);
        EXPECT_EQ(made.open.size(), static_cast<std::size_t>(open));
        ASSERT_EQ(made.operators.size(), ordered.size());
        for (std::size_t i = 0; i < ordered.size(); ++i) {
            const OperatorLine& got = made.operators[i];
            const OperatorLine& want = ordered[i];
            SCOPED_TRACE(want.user);
            EXPECT_EQ(got.user, want.user);
            EXPECT_EQ(got.writes, want.writes);
            EXPECT_EQ(got.confirmed, want.confirmed);
            EXPECT_EQ(got.refused, want.refused);
            EXPECT_EQ(got.doubtful, want.doubtful);
            EXPECT_EQ(got.resolved, want.resolved);
            EXPECT_EQ(got.loaded, want.loaded);
            EXPECT_EQ(got.toppedUp, want.toppedUp);
        }
    }
};

// One station: its Reader (the emulator on a scripted line and a fake clock), its badges, a
// journal connection of its own and a ledger for each operator who works on it.
class Post {
  public:
    Post(const std::string& where, const std::string& host, const std::vector<std::string>& users,
         std::uint32_t firstSerial)
        : host_(host), journal_(palmota::testing::openJournal(where)) {
        for (const std::string& user : users)
            ledgers_[user] = std::make_unique<Ledger>(
                *journal_, Station{host, user, "palmota-cli", [] { return kDevice; }});
        for (int i = 0; i < kBadges; ++i) {
            badges_.push_back(Desk::badge(firstSerial + i, static_cast<std::uint16_t>(150 * i)));
            initial_.push_back(150 * i);
        }
        desk_.engine.setBadge(badges_[0]);
    }

    const std::string& host() const { return host_; }
    Ledger& ledger(const std::string& user) { return *ledgers_.at(user); }

    // Badge `which` laid on the Reader, the one there taken off with what it holds.
    void lay(int which) {
        badges_[on_] = desk_.engine.badge();
        on_ = which;
        desk_.engine.setBadge(badges_[which]);
    }
    int credit() const { return desk_.engine.badge().credit(); }
    // Everything this station's badges gained since the day began.
    long long gained() {
        badges_[on_] = desk_.engine.badge();
        long long sum = 0;
        for (int i = 0; i < kBadges; ++i) sum += badges_[i].credit() - initial_[i];
        return sum;
    }

    enum class Fault { None, Refused, Doubtful, Lost };
    // A top-up by `user`: refused by the Reader; doubtful: the amount stored on the badge but
    // its final reply lost and the badge lifted for the reads after it; or lost: the badge
    // lifted as the amount went out, which it never took, and no final reply either.
    WriteVerdict topup(const std::string& user, int amount, Fault fault = Fault::None) {
        desk_.till.setLedger(&ledger(user));
        if (fault == Fault::Refused) desk_.setFaults([](auto& f) { f.writeRefused = true; });
        if (fault == Fault::Doubtful || fault == Fault::Lost) {
            desk_.setFaults([](auto& f) { f.noFinalWriteReply = true; });
            // The amount's two bytes are the only two-byte write of a top-up.
            desk_.beforeReader = [this, lost = fault == Fault::Lost, answered = false](
                                     std::size_t, const Bytes& w) mutable {
                if (answered || (lost && w.size() == 2))
                    desk_.setFaults([](auto& f) { f.noBadge = f.noFinalWriteReply = true; });
                answered = answered || w.size() == 2;
            };
        }
        const WriteVerdict verdict = desk_.till.topup(typed(std::to_string(amount)));
        desk_.beforeReader = nullptr;
        desk_.engine.setFaults({});
        return verdict;
    }
    // The badge on the Reader read again by `user`, and its writes in doubt settled.
    ResolveVerdict resolve(const std::string& user) {
        desk_.till.setLedger(&ledger(user));
        return desk_.till.resolve(std::nullopt);
    }
    // The badge on this Reader carried to `other`'s, read there by `user`, and brought back.
    ResolveVerdict resolveAt(Post& other, const std::string& user) {
        other.badges_[other.on_] = other.desk_.engine.badge();
        other.desk_.engine.setBadge(desk_.engine.badge());
        ResolveVerdict verdict = other.resolve(user);
        other.desk_.engine.setBadge(other.badges_[other.on_]);
        return verdict;
    }
    Closure close(const std::string& user) {
        Closure closure;
        std::optional<int> nothing;
        std::string error;
        EXPECT_TRUE(ledger(user).close(closure, nothing, error)) << error;
        return closure;
    }
    std::optional<Closure> shown(int number) {
        std::optional<Closure> found;
        std::string error;
        EXPECT_TRUE(ledgers_.begin()->second->closure(host_, number, found, error)) << error;
        return found;
    }

  private:
    std::string host_;
    Desk desk_;
    std::unique_ptr<journal::SqlJournal> journal_;
    std::map<std::string, std::unique_ptr<Ledger>> ledgers_;
    std::vector<sim::VirtualBadge> badges_;
    std::vector<int> initial_;
    int on_ = 0;
};

// A closure read back by `journal closure N`: the figures, the time and the chain head as made.
void expectShownAsMade(Post& post, const Closure& made) {
    const std::optional<Closure> shown = post.shown(made.number);
    ASSERT_TRUE(shown) << made.number;
    EXPECT_EQ(journal::closureDetail(*shown), journal::closureDetail(made));
    EXPECT_EQ(shown->station, made.station);
    EXPECT_EQ(shown->made.utc, made.made.utc);
    EXPECT_EQ(shown->made.offsetMinutes, made.made.offsetMinutes);
    EXPECT_EQ(shown->program, made.program);
    EXPECT_EQ(shown->chainHead, made.chainHead);
}

void expectChainsHold(Post& post) {
    journal::ChainCheck check;
    std::string error;
    ASSERT_TRUE(post.ledger(post.host() == "desk-1" ? "anne" : "marc").verifyChains(check, error))
        << error;
    EXPECT_EQ(check.stations, 2);
    EXPECT_FALSE(check.broken) << check.broken->station << " " << check.broken->seq;
}

class DeskClosure : public ::testing::TestWithParam<Backend> {
  protected:
    palmota::testing::TempFolder folder_;
    std::string where_ = palmota::testing::newJournal(GetParam(), folder_.path());
};

TEST_P(DeskClosure, EveryFigureIsWhatTheBadgesHold) {
    Post one(where_, "desk-1", {"anne", "paul"}, 1001);
    Post two(where_, "desk-2", {"marc"}, 2001);
    const int offset = QDateTime::currentDateTime().offsetFromUtc() / 60;
    Expected period1[2];
    std::string firstBefore[2];
    std::string firstAfter[2];
    std::string lastBefore[2];
    std::string lastAfter[2];

    // A confirmed top-up as the badge tells it.
    const auto confirmed = [](Post& post, Expected& expected, const std::string& user, int amount) {
        const int before = post.credit();
        const WriteVerdict verdict = post.topup(user, amount);
        EXPECT_TRUE(verdict.confirmed) << post.host() << " " << amount;
        OperatorLine& line = expected.of(user);
        ++line.writes;
        ++line.confirmed;
        line.loaded += post.credit() - before;
        line.toppedUp += amount;
    };

    // Both desks take turns through the day, each swapping its badges; on desk-1 paul takes
    // one write in five, a refused write, and a doubtful one settled on the spot by anne.
    for (int i = 0; i < kTopups; ++i) {
        Post* posts[2] = {&one, &two};
        for (int p = 0; p < 2; ++p) {
            Post& post = *posts[p];
            post.lay((i / 2 + p) % kBadges);
            const std::string user = p == 1 ? "marc" : i % 5 == 4 ? "paul" : "anne";
            const int amount = 5 + (i * 37 + p * 101) % 290;
            if (i == 0) firstBefore[p] = utcNow();
            if (i == kTopups - 1) lastBefore[p] = utcNow();
            confirmed(post, period1[p], user, amount);
            if (i == 0) firstAfter[p] = utcNow();
            if (i == kTopups - 1) lastAfter[p] = utcNow();
        }
        if (i == 13) {
            const int before = one.credit();
            const WriteVerdict refused = one.topup("anne", 70, Post::Fault::Refused);
            EXPECT_TRUE(refused.unchanged && !refused.confirmed);
            EXPECT_EQ(one.credit(), before);
            ++period1[0].of("anne").writes;
            ++period1[0].of("anne").refused;
        }
        if (i == 27) {
            const int before = one.credit();
            const WriteVerdict doubtful = one.topup("paul", 120, Post::Fault::Doubtful);
            EXPECT_TRUE(doubtful.amountSent && !doubtful.confirmed && !doubtful.unchanged);
            EXPECT_EQ(one.credit(), before + 120);  // the badge took it
            const ResolveVerdict settled = one.resolve("anne");
            EXPECT_EQ(settled.cause, Cause::Ok) << settled.journalProblem;
            ASSERT_EQ(settled.writes.size(), 1u);
            EXPECT_TRUE(settled.allSettled());
            EXPECT_TRUE(settled.writes[0].landed());
            OperatorLine& line = period1[0].of("paul");
            ++line.writes;
            ++line.resolved;
            line.loaded += 120;
            line.toppedUp += 120;
        }
    }

    Post* posts[2] = {&one, &two};
    Closure first[2];
    for (int p = 0; p < 2; ++p) {
        Post& post = *posts[p];
        SCOPED_TRACE(post.host());
        first[p] = post.close(p == 0 ? "anne" : "marc");
        EXPECT_EQ(first[p].number, 1);
        EXPECT_EQ(first[p].station, post.host());
        EXPECT_EQ(first[p].user, p == 0 ? "anne" : "marc");
        period1[p].check(first[p], 0);
        EXPECT_EQ(first[p].loaded, post.gained());
        ASSERT_TRUE(first[p].first && first[p].last);
        EXPECT_GE(first[p].first->utc, firstBefore[p]);
        EXPECT_LE(first[p].first->utc, firstAfter[p]);
        EXPECT_GE(first[p].last->utc, lastBefore[p]);
        EXPECT_LE(first[p].last->utc, lastAfter[p]);
        EXPECT_EQ(first[p].first->offsetMinutes, offset);
        EXPECT_EQ(first[p].chainHead.size(), 64u);
    }
    EXPECT_EQ(first[0].resolved, 1);
    EXPECT_EQ(first[1].resolved, 0);
    EXPECT_EQ(first[0].operators.size(), 2u);
    for (int p = 0; p < 2; ++p) expectShownAsMade(*posts[p], first[p]);
    expectChainsHold(one);

    // The next period on desk-1: a top-up, and a doubtful write left open at its closure.
    Expected period2;
    one.lay(1);
    confirmed(one, period2, "anne", 33);
    const int beforeDoubt = one.credit();
    const WriteVerdict open = one.topup("anne", 250, Post::Fault::Doubtful);
    ASSERT_TRUE(open.row);
    EXPECT_EQ(one.credit(), beforeDoubt + 250);
    ++period2.of("anne").writes;
    ++period2.of("anne").doubtful;
    period2.open = 1;
    const Closure second = one.close("anne");
    EXPECT_EQ(second.number, 2);
    period2.check(second, first[0].grandTotal);
    ASSERT_EQ(second.open.size(), 1u);
    EXPECT_EQ(second.open[0].id, *open.row);
    EXPECT_EQ(second.open[0].before, beforeDoubt);
    EXPECT_EQ(second.open[0].amount, beforeDoubt + 250);
    EXPECT_EQ(second.grandTotal, first[0].loaded + second.loaded);
    // What the badge took in doubt is not counted until a reading settles it.
    EXPECT_EQ(one.gained(), second.grandTotal + 250);

    // Settled in the period after, the badge read at desk-2: counted in desk-1's next closure,
    // where it was learnt, with no write of its own; the closed period keeps its figures.
    const ResolveVerdict settled = one.resolveAt(two, "marc");
    ASSERT_EQ(settled.writes.size(), 1u);
    EXPECT_TRUE(settled.allSettled() && settled.writes[0].landed());
    Expected period3;
    OperatorLine& line = period3.of("anne");
    line.resolved = 1;
    line.loaded = 250;
    line.toppedUp = 250;
    const Closure third = one.close("anne");
    EXPECT_EQ(third.number, 3);
    period3.check(third, second.grandTotal);
    EXPECT_EQ(third.writes, 0);
    EXPECT_EQ(third.grandTotal, one.gained());
    // Its period is the settlement it holds, however many writes it began.
    ASSERT_TRUE(third.first && third.last);
    EXPECT_EQ(third.first->utc, third.last->utc);
    EXPECT_GT(third.first->utc, second.made.utc);
    expectShownAsMade(one, second);
    expectShownAsMade(one, third);
    expectShownAsMade(one, first[0]);

    // On desk-2, a write in doubt that the badge never took: settled as loading nothing; the
    // settlement of desk-1's write read there is not desk-2's.
    Expected other;
    two.lay(2);
    confirmed(two, other, "marc", 44);
    const int beforeLost = two.credit();
    const WriteVerdict lost = two.topup("marc", 90, Post::Fault::Lost);
    EXPECT_TRUE(lost.amountSent && !lost.confirmed && !lost.unchanged);
    EXPECT_EQ(two.credit(), beforeLost);
    const ResolveVerdict unlanded = two.resolve("marc");
    ASSERT_EQ(unlanded.writes.size(), 1u);
    EXPECT_TRUE(unlanded.allSettled() && !unlanded.writes[0].landed());
    ++other.of("marc").writes;
    ++other.of("marc").resolved;
    const Closure twoSecond = two.close("marc");
    EXPECT_EQ(twoSecond.number, 2);
    other.check(twoSecond, first[1].grandTotal);
    EXPECT_EQ(twoSecond.grandTotal, two.gained());
    expectChainsHold(two);
}

INSTANTIATE_TEST_SUITE_P(Backends, DeskClosure,
                         ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         palmota::testing::backendName);

}  // namespace
}  // namespace palmota::till

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reader/amount.h"
#include "reader/outcome.h"
#include "reader/reader_link.h"
#include "till/causes.h"
#include "till/ledger.h"

namespace palmota::till {

// What came of a credit write, a verified write or a top-up: one verdict for both front
// ends, with the values they show. The window maps it to its boxes and French tooltips,
// the command line to its exit status, its lines and its JSON.
struct WriteVerdict {
    // Why it ended as it did: Ok, a link operation's cause, or the till's own.
    Cause cause = Cause::Ok;
    // The verdict on the write itself, before the journal had its say: `cause` becomes
    // OutcomeNotRecorded when the outcome of a write that went out could not be recorded.
    Cause judged = Cause::Ok;
    // The link operation whose failure `judged` names, when it is a link cause.
    std::optional<Outcome> failed;
    // Every link operation, in order: reads before, the write, reads after.
    std::vector<Outcome> operations;

    bool amountSent = false;  // the two amount bytes went out
    bool confirmed = false;   // the badge is known to hold what was written
    bool unchanged = false;   // the badge's credit is known untouched by the command
    // Confirmed by the credit read back, where the Reader's final byte gave no verdict.
    bool confirmedByReadingBack = false;

    std::optional<std::int32_t> serial;       // read before the write
    std::optional<std::int32_t> serialAgain;  // read before the write too, when it differed
    std::optional<std::uint16_t> before;      // the credit read before the write
    std::optional<std::uint16_t> amount;      // the credit to write
    std::optional<std::uint16_t> added;       // a top-up: what it adds to `before`
    std::optional<Outcome> write;             // the write, once it was tried
    // After the write: serial, credit, serial. The credit read back counts only when read
    // between two equal serial numbers; the badge is the same as before the write only
    // when both are the serial read before it.
    std::optional<std::int32_t> serialAfter;       // the first serial read after the write
    std::optional<std::int32_t> serialAfterAgain;  // the second, when it differed
    std::optional<std::uint16_t> after;            // the credit read back (between equal serials)
    std::optional<Outcome> readBack;               // the credit read after the write
    // The badge the write went to, when known: read twice after it, around a credit that
    // is the amount written. The journal's row names it, and no other.
    std::optional<std::int32_t> badgeWritten;

    // Journal: the row's id, and the line that says what the journal could not take.
    std::optional<std::string> row;
    std::string journalProblem;

    // What the verdict means for the badge, and so for a script that retries. Once an
    // amount went out, anything but a confirmed write or a credit known unchanged "may have
    // changed", whatever its cause.
    Family family() const;
    // Every serial number the command read, each once, in the order first read: two or
    // more when the badge changed.
    std::vector<std::int32_t> serialsSeen() const;
};

// What came of reads that change nothing: "Lire Badge" and the dump.
struct ReadVerdict {
    Cause cause = Cause::Ok;          // the first failed read's; Ok when every read succeeded
    std::optional<Outcome> failed;    // that read
    std::vector<Outcome> operations;  // every read, in order
};

// What `journal check` found: the badge present against its last confirmed write, and the
// writes in doubt since.
struct CheckVerdict {
    Cause cause = Cause::Ok;  // Ok, CreditAboveJournal, a read's cause, JournalUnavailable
    std::optional<Outcome> failed;
    std::vector<Outcome> operations;
    std::optional<std::int32_t> serial;
    std::optional<std::uint16_t> credit;
    int rows = 0;                           // the badge's rows; none: it is not in the journal
    std::optional<Ledger::LastWrite> last;  // its last confirmed write
    std::vector<Ledger::DoubtfulWrite> doubtful;  // its writes in doubt since
    // The write in doubt that explains a credit above what the last confirmed one left.
    std::optional<Ledger::DoubtfulWrite> explainedBy;
    // CreditAboveJournal: the most the journal's writes may have left.
    std::optional<int> mostLeft;
    std::string journalProblem;
};

// What `journal resolve` did: the badge read, and each of its writes in doubt settled, or
// why not.
struct ResolveVerdict {
    Cause cause = Cause::Ok;  // Ok, a read's cause, JournalUnavailable
    std::optional<Outcome> failed;
    std::vector<Outcome> operations;
    std::optional<std::int32_t> serial;
    std::optional<std::uint16_t> credit;
    std::vector<Ledger::Settling> writes;
    std::string journalProblem;
    // Every write in doubt asked for was settled, and there was one.
    bool allSettled() const;
};

// The till's rules: how a credit is written, verified, topped up and journaled, once, for
// both front ends. GUI-free; the Reader link below it, the journal beside it.
//
// A top-up, and a journaled write, act only on values read between two equal serial
// numbers: serial, credit, serial before the write, and again after it. A badge changed
// before the write stops it with nothing written. After it, the two serial numbers must be
// the one read before, with the credit read between them: any other serial number is
// "badge changed" (naming every one seen), a read that fails leaves the write in doubt,
// and only a credit read back that is the amount confirms it.
// With a journal, each write's row is committed before the write's first byte, and
// completed with its outcome after it.
class Till {
  public:
    // Told each read as it ends: false, and no read follows it.
    using ReadShown = std::function<bool(const Outcome&)>;

    explicit Till(ReaderLink& link, Ledger* ledger = nullptr);

    // Asked before each operation: once true, no operation starts, and the command ends
    // with what it did (the one under way runs to its end). Set on the link too.
    void setInterruption(std::function<bool()> interrupted);
    void setLedger(Ledger* ledger) { ledger_ = ledger; }

    // "Lire Badge": the serial number, then the credit, whatever the first read gave.
    ReadVerdict read(const ReadShown& shown = {});
    // The dump: blocks 0 to 7, in order.
    ReadVerdict dump(const ReadShown& shown = {});

    // Writes `amount` as the badge's credit; one over 65535 is refused with nothing sent.
    // `verify`: the credit is read back, and the write is done only when it is the amount.
    WriteVerdict write(const Amount& amount, bool verify = false);
    // Adds `amount` to the badge's credit: a sum over 65535 is refused once the credit is
    // read, with nothing written.
    WriteVerdict topup(const Amount& amount);
    // The verdict on a text that is no amount at all: refused, with nothing sent.
    static WriteVerdict refused(std::string_view typed);
    // Reads the badge and compares its credit with its last confirmed write (needs a ledger).
    CheckVerdict check();
    // Reads the badge and settles its writes in doubt by what it holds (only the write
    // `only`, when given), appending each settlement to the journal (needs a ledger).
    ResolveVerdict resolve(const std::optional<std::string>& only);

  private:
    bool interrupted() const { return interrupted_ && interrupted_(); }
    // Keeps `outcome` among the verdict's operations.
    static const Outcome& record(WriteVerdict& verdict, Outcome outcome);
    // Keeps a read's outcome, the first failure as the verdict's: false once `shown` says
    // no read follows it.
    static bool record(ReadVerdict& verdict, Outcome outcome, const ReadShown& shown);
    // Serial, credit, serial before the write: false when the write must not go out.
    bool readBefore(WriteVerdict& verdict);
    // After the write: the credit alone (`bracket` false), or serial, credit, serial.
    void readAfter(WriteVerdict& verdict, bool bracket);
    // The verdict of a write that was tried; `readBackDue`: it counts only once read back.
    static void judge(WriteVerdict& verdict, bool readBackDue);
    // The verdict of a write whose amount went out, the Reader's final byte against the
    // reads after it.
    static void judgeSent(WriteVerdict& verdict, bool readBackDue);
    // Stops the command before its write, with nothing sent.
    static WriteVerdict& stopBefore(WriteVerdict& verdict, Cause cause,
                                    std::optional<Outcome> failed = std::nullopt);
    // The journaled part: the row before the write, its outcome after.
    bool beginRow(WriteVerdict& verdict);
    void completeRow(WriteVerdict& verdict);

    ReaderLink& link_;
    Ledger* ledger_;
    std::function<bool()> interrupted_;
};

}  // namespace palmota::till

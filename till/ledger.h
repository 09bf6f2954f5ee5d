#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal/journal.h"
#include "till/causes.h"

namespace palmota::till {

struct WriteVerdict;

// What a journal's rows say of where a write was made: the host, the account the program
// runs as, the program, and the port as chosen when the write starts.
struct Station {
    std::string host;
    std::string account;
    std::string program;
    std::function<std::string()> port;

    // This host and account, for `program` on the port `port` gives.
    static Station here(std::string program, std::function<std::string()> port);
};

// The daily report asked for: per local day and station, and the writes that need a read.
struct ReportRequest {
    enum class Format { Text, Json, Csv };
    Format format = Format::Text;
    // Each station's local days YYYY-MM-DD, both included; empty for no bound.
    std::string from;
    std::string to;
    std::string station;
};

// The journal as the till keeps it: opened once from the --journal text for both programs,
// with the station its rows name, the one place that says it is unavailable, and the
// daily report. It makes each write's row from the till's verdict.
class Ledger {
  public:
    struct Opening {
        // Null only when there is nothing to keep (see `cause`); for Access::Record it is
        // there even when the journal cannot be reached now: it is tried again at each write.
        std::unique_ptr<Ledger> ledger;
        // Ok; Usage (the text names no journal, or this build keeps none); NoJournal
        // (Access::Read: nothing there); JournalUnavailable (it cannot be reached or read now).
        Cause cause = Cause::Ok;
        std::string message;   // one line for standard error, when `cause` is not Ok
        std::string error;     // JournalUnavailable: the journal's own reason
        bool badName = false;  // Usage: the text names no journal this build can keep
    };

    // What follows for the writes when the journal is unavailable, as the line says it.
    enum class Consequence { None, NothingWritten, WritesRefused };

    // `access`: record the writes (the journal made on first use), or only read it.
    static Opening open(const std::string& where, journal::Access access, Station station);

    Ledger(std::unique_ptr<journal::Journal> journal, Station station);
    // A journal the caller keeps (tests).
    Ledger(journal::Journal& journal, Station station);
    ~Ledger();
    Ledger(const Ledger&) = delete;
    Ledger& operator=(const Ledger&) = delete;

    // The journal as the user named it (a password never shown).
    std::string where() const;
    // "journal unavailable: WHERE: ERROR", and what follows for the writes.
    std::string unavailable(const std::string& error, Consequence consequence) const;

    // Commits the row of the write `verdict` is about to send, with what was read before it:
    // its id, or none with `problem` set to the line that says nothing was written.
    std::optional<std::string> begin(const WriteVerdict& verdict, std::string& problem);
    // Records the write's outcome as `verdict` judged it; false with `problem` set to the
    // line that names the row and the outcome it could not take.
    bool complete(const std::string& id, const WriteVerdict& verdict, std::string& problem);

    // The latest confirmed write to a badge.
    struct LastWrite {
        std::optional<int> credit;  // what it left on the badge, when known
        std::string started;
        std::string station;
        std::string id;
    };
    // A write whose outcome leaves the badge's credit unknown: none was recorded, or one
    // that neither confirmed the write nor ruled it out.
    struct DoubtfulWrite {
        std::string id;
        std::string started;
        std::string station;
        std::string cause;  // empty: no outcome recorded
        std::optional<int> before;
        int amount = 0;
        std::optional<int> after;  // the credit read back after it, when it was
        // The most it may have left on the badge: the credit before it, the amount, or
        // the credit read back, whichever is highest.
        int mostLeft() const;
    };
    // What the journal holds of one badge.
    struct BadgeHistory {
        int rows = 0;                   // writes made for the badge, or that went to it
        std::optional<LastWrite> last;  // the latest confirmed write to it
        // Writes in doubt that were made for the badge, or may have gone to it, after that
        // one (all of them when there is none), oldest first.
        std::vector<DoubtfulWrite> doubtful;
    };
    // False with `problem` set when the journal cannot be read.
    bool history(std::int32_t serial, BadgeHistory& history, std::string& problem);

    // A write in doubt of one badge, and what a reading of the badge settles of it.
    struct Settling {
        enum class Standing {
            Settled,        // the credit it left is known: appended to the journal
            AnotherBadge,   // it was made for, or may have gone to, another badge
            LaterUnread,    // a later write to the badge did not read its credit first
            CreditNeither,  // the credit found is neither the one before it nor the amount
            Refused,        // the journal refused it (settled meanwhile), `refusal` says why
            NotInDoubt,     // the write asked for is no write in doubt of this badge
        };
        journal::WriteRow row;
        Standing standing = Standing::Settled;
        // What the badge held after it: read now, or before the next write to it.
        std::optional<int> credit;
        std::string readBefore;  // that next write's id; empty when read now
        std::string refusal;
        // Settled: the badge held the amount written.
        bool landed() const { return credit && *credit == row.start.amount; }
    };
    // Settles the writes in doubt of the badge `serial`, whose credit was just read as
    // `credit` (only the write `only`, when given), appending each settlement that the
    // readings tell: the latest write's by the credit read now, an earlier one's by the
    // credit read before the write that followed it. False with `problem` set when the
    // journal cannot be read or written.
    bool settle(std::int32_t serial, int credit, const std::optional<std::string>& only,
                std::vector<Settling>& settled, std::string& problem);

    // The rows of the stations' local days of a report or a list (journal list and report);
    // false with `problem` set when they cannot be read.
    bool rows(const ReportRequest& request, std::vector<journal::WriteRow>& rows,
              std::string& problem);
    // The daily report as text, CSV, or JSON lines; false with `problem` set when it cannot be
    // read.
    bool report(const ReportRequest& request, std::string& output, std::string& problem);

    // Every station's chain, recomputed (journal verify).
    bool verifyChains(journal::ChainCheck& check, std::string& error);
    // journal close: this station's open period closed by its account.
    bool close(journal::Closure& closure, std::optional<int>& nothingSince, std::string& error);
    // journal closure N: the closure as its record holds it, of `station` (empty: this one).
    bool closure(const std::string& station, int number, std::optional<journal::Closure>& found,
                 std::string& error);

    // The database driver's own messages go here (a wire trace) instead of standard error.
    void setDriverMessages(std::function<void(const std::string&)> sink);

  private:
    // The rows of the writes made for the badge `badge` or that may have gone to it, in the
    // journal's order.
    bool rowsOf(const std::string& badge, std::vector<journal::WriteRow>& rows,
                std::string& problem);

    std::unique_ptr<journal::Journal> owned_;
    journal::Journal& journal_;
    Station station_;
};

}  // namespace palmota::till

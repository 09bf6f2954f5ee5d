#pragma once

#include <optional>
#include <string>
#include <vector>

namespace palmota::journal {

// What a cashier reads when closing the till: the writes of a period, a line per operator,
// and the closures. The journal makes these from its records; the command line renders
// them as text (in the station's language), JSON or PDF.

// An instant as the station saw it: stored in UTC, with the station's offset from UTC at
// that instant beside it, so that a day is the station's own local day (a daylight-saving
// day has 23 or 25 hours) however the machine's zone is set when it is read.
struct StationTime {
    std::string utc;        // ISO 8601 with milliseconds and a Z: 2026-12-09T13:04:05.120Z
    int offsetMinutes = 0;  // east of UTC: +60 for Paris in winter, +120 in summer
};

// How a write ended, as the cash-up counts it.
enum class WriteStanding {
    Confirmed,  // the badge is known to hold what was written
    Refused,    // the credit is known unchanged: refused, or nothing sent
    Doubtful,   // no outcome, or one that leaves the credit unknown, and no settlement yet
    Resolved,   // was doubtful; a later reading of the badge settled what it holds
};

// One write, as `journal list` shows it.
struct ListedWrite {
    std::string id;
    StationTime started;
    std::string station;
    std::string user;
    std::optional<std::string> serial;  // the badge written (the one read after, when known)
    std::optional<int> before;          // the credit read before the write
    std::optional<int> after;           // the credit it holds: confirmed, read back or settled
    int amount = 0;                     // the credit written
    std::optional<int> topup;           // what a top-up added
    WriteStanding standing = WriteStanding::Doubtful;
    std::string cause;  // the outcome's cause name (ok, write-refused, ...), empty if none
    // Resolved: the settlement's time and who read the badge.
    std::optional<StationTime> resolvedAt;
    std::string resolvedBy;
};

// One operator's part of a period or a day.
struct OperatorLine {
    std::string user;
    int writes = 0;
    int confirmed = 0;
    int refused = 0;
    int doubtful = 0;
    int resolved = 0;
    long long loaded = 0;    // the sum of after - before where both are known
    long long toppedUp = 0;  // the amounts of the confirmed (or settled as loaded) top-ups
};

// A station's closed period: everything since its previous closure, numbered in order.
struct Closure {
    std::string station;
    int number = 0;  // 1, 2, ... per station
    StationTime made;
    std::string user;                  // who closed it
    std::string program;               // and with which program and version
    std::optional<StationTime> first;  // the period's first and last records; none when empty
    std::optional<StationTime> last;
    int writes = 0;
    int confirmed = 0;
    int refused = 0;
    int doubtful = 0;  // still open at the closure
    int resolved = 0;  // settled within the period
    long long loaded = 0;
    long long toppedUp = 0;
    std::vector<OperatorLine> operators;
    std::vector<ListedWrite> open;  // the doubtful writes still open
    long long grandTotal = 0;       // everything the station ever loaded, up to this closure
    // The hash (hex SHA-256) of the closure's own record, which chains over every record
    // before it: a printed closure witnesses the journal up to it.
    std::string chainHead;
};

}  // namespace palmota::journal

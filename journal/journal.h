#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "journal/cashup.h"

namespace palmota::journal {

// Where the serial number and the credit recorded before a write come from.
enum class SerialSource {
    None,      // not read by this program before the write
    ReadNow,   // read by the same command just before the write, between two equal serials
    LastRead,  // the program's latest read, which may have been of another badge (rows of
               // earlier versions)
};

// What is known when a credit write is about to start: committed before its first byte.
struct WriteStart {
    std::string station;  // the host name
    std::string user;     // the account the program runs as
    std::string program;  // palmota or palmota-cli
    std::string port;     // the port text as chosen
    std::optional<std::string> serial;
    SerialSource serialSource = SerialSource::None;
    std::optional<int> before;  // the credit read before the write
    int amount = 0;             // the credit written, an absolute value
    std::optional<int> topup;   // what a top-up added to `before`
};

// What came of the write, recorded once it ended.
struct WriteEnd {
    std::string cause;         // the command's cause name: ok, not-confirmed, badge-changed...
    bool confirmed = false;    // the badge is known to hold the amount written
    bool unchanged = false;    // the badge's credit is known untouched by this write
    std::optional<int> after;  // the credit read back, when it was
    // The serial number read back after the write: the badge the write went to, when it is
    // not the one read before.
    std::optional<std::string> serialAfter;
};

// A write in doubt settled by reading the badge afterwards: appended to the journal, never
// written over the write's row.
struct Settlement {
    std::string user;     // who read the badge
    std::string station;  // on which station
    std::string serial;   // the badge read: the one the write was made for
    int credit = 0;       // the credit it held
    // Where that credit was read: empty when read by the command that settles, else the id of
    // the later write whose reading before it gave it.
    std::string readBefore;
};

// A settlement as the journal holds it.
struct Resolution {
    std::string id;
    Settlement settled;
    std::string at;  // UTC, ISO 8601 with milliseconds
    int offsetMinutes = 0;
    long long seq = 0;  // its place in the chain of the write's station
};

struct WriteRow {
    std::string id;
    WriteStart start;
    std::string started;  // UTC, ISO 8601 with milliseconds
    // The station's offset from UTC when the write started, in minutes east (rows of
    // journals before the chain have none).
    std::optional<int> offsetMinutes;
    std::optional<std::string> ended;
    std::optional<WriteEnd> end;  // none: the write never got its outcome recorded
    // A write in doubt settled since by a reading of the badge.
    std::optional<Resolution> resolution;

    // The badge the write went to: the one read back after it when known, else the one read
    // before it.
    std::optional<std::string> badge() const;
};

// Rows whose start falls from `from` to `to`, whole UTC days written YYYY-MM-DD, both
// included; an empty bound or station is no bound.
struct RowFilter {
    std::string from;
    std::string to;
    std::string station;
};

// The first record that breaks its station's chain.
struct ChainBreak {
    // What it shows.
    enum class Kind {
        Inserted,        // a second record at a place taken
        Removed,         // places missing before it: `missingFrom` to `missingTo`
        Altered,         // its fields no longer give its hash
        OutOfPlace,      // it does not follow the record before it
        Unsealed,        // rows before the chain, and no seal over them
        SealBroken,      // the rows it seals changed since the chain began
        ClosureFigures,  // closure `closure`'s figures are not its period's
    };
    std::string station;
    long long seq = 0;  // its place in the station's chain
    std::string id;     // the write's or the record's id
    Kind kind = Kind::Altered;
    long long missingFrom = 0;
    long long missingTo = 0;
    int closure = 0;
};

// The break's kind as scripts and the chain's events name it: inserted, removed, altered...
const char* chainBreakName(ChainBreak::Kind kind);

// What a verify of every chain found.
struct ChainCheck {
    int stations = 0;
    long long records = 0;  // chained records, and the rows sealed before the chain
    long long sealed = 0;
    std::optional<ChainBreak> broken;  // none: every chain holds
};

// What a program does with the journal: record writes (made on first use), or only read it
// (never made: a journal that is not there is an error).
enum class Access { Record, Read };

// The record of the credit writes: one row per write, committed before the write starts and
// completed with its outcome after it.
class Journal {
  public:
    virtual ~Journal() = default;

    // The journal as the user named it, for messages.
    virtual std::string where() const = 0;
    // Whether a journal is there to read. False with `error` empty when nothing (or
    // something else than a journal) is there; with `error` set when that cannot be told.
    virtual bool exists(std::string& error) = 0;
    // Opens the journal if it is not open; for Access::Record, makes or upgrades its schema.
    virtual bool connect(std::string& error) = 0;
    // Commits the row of a write about to start: its id, or nothing with `error` set.
    virtual std::optional<std::string> begin(const WriteStart& start, std::string& error) = 0;
    virtual bool complete(const std::string& id, const WriteEnd& end, std::string& error) = 0;
    virtual std::optional<std::vector<WriteRow>> rows(const RowFilter& filter,
                                                      std::string& error) = 0;
    // The latest confirmed write to the badge `serial`, in `row`; false only on failure.
    virtual bool lastConfirmed(const std::string& serial, std::optional<WriteRow>& row,
                               std::string& error) = 0;
    // Recomputes every station's chain, and the seal over its rows before the chain; false
    // only when the journal could not be read.
    virtual bool verify(ChainCheck& check, std::string& error) {
        check = {};
        error = "this journal keeps no chain";
        return false;
    }
    // Closes `station`'s open period, everything since its previous closure, by appending a
    // closure record made by `user`: `closure` filled as stored. False with `error` set on
    // failure, or with `nothingSince` set (the last closure's number, 0 for none) and `error`
    // saying so when the period holds no write: a closure is never made twice over the same
    // rows.
    virtual bool close(const std::string& station, const std::string& user, Closure& closure,
                       std::optional<int>& nothingSince, std::string& error) {
        (void)station, (void)user, (void)closure, nothingSince.reset();
        error = "this journal keeps no chain";
        return false;
    }
    // Closure `number` of `station`, as its record holds it; `found` empty when there is none.
    virtual bool closure(const std::string& station, int number, std::optional<Closure>& found,
                         std::string& error) {
        (void)station, (void)number, found.reset();
        error = "this journal keeps no chain";
        return false;
    }
    // Appends the settlement of the write `id`, in doubt, to its station's chain: false with
    // `refusal` set when it has no such write or the write is not in doubt (confirmed,
    // refused, or settled already), with `error` set on failure.
    virtual bool resolve(const std::string& id, const Settlement& settlement, std::string& refusal,
                         std::string& error) {
        (void)id, (void)settlement, refusal.clear();
        error = "this journal keeps no chain";
        return false;
    }
    // Where the database driver's own messages go (a wire trace), instead of standard error.
    virtual void setDriverMessages(std::function<void(const std::string&)> sink) = 0;
};

// "read-now", "last-read" or the empty text, as stored.
std::string serialSourceName(SerialSource source);
SerialSource serialSourceFromName(const std::string& name);

// The credit the badge held after a write, when known: read back, the amount of a
// confirmed write, or what a settlement found.
std::optional<int> creditAfter(const WriteRow& row);

}  // namespace palmota::journal

#pragma once

#include <span>
#include <string_view>

#include "reader/outcome.h"

namespace palmota::till {

// What a failure means for the badge, and so for whoever tries again. Each family has its
// exit status.
enum class Family {
    Success,
    ReaderFailed,    // the Reader answered, the operation failed, the credit is unchanged
    Usage,           // refused before anything was sent
    Port,            // the port could not be opened; nothing was sent
    NoAnswer,        // nothing came back, or the line went away, before the badge was touched
    MayHaveChanged,  // an amount went out with no verdict to trust: read it back
    Journal,         // the journal could not take a write's row: nothing was sent
    Interrupted,     // the program was asked to end before the operation began
};

// Every cause a front end shows: the link's, in the link's order, then the till's own.
enum class Cause {
    Ok,
    PortUnavailable,
    NoAnswer,
    NotReady,
    NoBadge,
    ShortReply,
    WriteRefused,
    UnexpectedReply,
    NotConfirmed,
    LineLost,
    Refused,
    NoisyLine,
    Interrupted,
    // The till's own.
    ReadBackDiffers,  // the credit read back is neither the one written nor, known, the one before
    OverLimit,        // a top-up whose sum would pass 65535: nothing written
    BadgeChangedBeforeWrite,  // another serial number between the reads before the write
    BadgeChanged,             // another serial number on the read-back
    JournalUnavailable,       // the write's row could not be committed: nothing written
    OutcomeNotRecorded,       // the amount went out; its outcome could not be recorded
    CreditAboveJournal,       // journal check: the badge holds more than its last write left
    NoJournal,                // journal report or check: nothing at the place named
    Usage,                    // a command that cannot be used: nothing sent
};

// One row of the cause table: its name for scripts, its family, a short English phrase
// for the exit-status tables, and a French one for the window's tooltip where the cause is
// the till's own.
struct CauseRow {
    Cause cause;
    Family family;
    std::string_view name;
    std::string_view english;
    std::string_view french;
};

struct FamilyRow {
    Family family;
    int exitStatus;
    std::string_view english;  // what the status says, for the exit-status tables
};

inline constexpr FamilyRow kFamilies[] = {
    {Family::Success, 0, "every command succeeded"},
    {Family::ReaderFailed, 1,
     "the Reader answered, but the operation failed; the credit is unchanged, trying again "
     "is safe"},
    {Family::Usage, 2, "usage error; nothing was sent"},
    {Family::Port, 3, "the port could not be opened; nothing was sent"},
    {Family::NoAnswer, 4, "no answer from the Reader, before any amount went out"},
    {Family::MayHaveChanged, 5,
     "an amount went out and no verdict to trust came back: the credit may have been "
     "stored, read it back before trying again. Once any amount went out during the run, "
     "even in a write that was confirmed, a stop by a signal or a closed output ends the "
     "run with 5 (the JSON line of each command that completed still gives its own "
     "status)"},
    {Family::Journal, 6, "--journal: the journal could not take the write's row"},
    {Family::Interrupted, 130,
     "stopped before the end by a signal, and no amount went out during the run"},
};

constexpr int exitStatus(Family family) {
    for (const FamilyRow& row : kFamilies)
        if (row.family == family) return row.exitStatus;
    return kFamilies[static_cast<int>(Family::MayHaveChanged)].exitStatus;
}

std::span<const CauseRow> causeTable();

const CauseRow& row(Cause cause);
std::string_view causeName(Cause cause);
Family family(Cause cause);
int exitStatus(Cause cause);

// The cause a link operation's outcome shows as.
Cause causeOf(const Outcome& outcome);

}  // namespace palmota::till

#pragma once

#include <span>
#include <string_view>

#include "reader/cause.h"

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
    JournalAltered,  // journal verify: a station's chain does not hold
    Interrupted,     // the program was asked to end before the operation began
};

// One row of the cause table, for every cause of the one enumeration (reader/cause.h): its
// name for scripts, its family, and what it is in the few words the exit-status tables of
// --help, the manual page and the README list after the family's meaning. The sentences
// that tell a cause when it happens are the link's (reader/outcome.h), the command line's
// and the window's (ui/outcome_text.h).
struct CauseRow {
    Cause cause;
    Family family;
    std::string_view name;
    std::string_view statusPhrase;
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
    {Family::JournalAltered, 7,
     "journal verify: a record of the journal was altered, removed, inserted or put out of "
     "place since it was written; standard error names the first"},
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

}  // namespace palmota::till

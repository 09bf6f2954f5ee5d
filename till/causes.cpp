#include "till/causes.h"

#include <algorithm>

namespace palmota::till {

namespace {

// In the order of the enumeration, so that a cause is its row's place.
constexpr CauseRow kCauses[] = {
    {Cause::Ok, Family::Success, "ok", "succeeded"},
    {Cause::PortUnavailable, Family::Port, "port-unavailable",
     "no such device, busy, permission denied, or not a serial port"},
    {Cause::NoAnswer, Family::NoAnswer, "no-answer", "nothing within a limit"},
    {Cause::NotReady, Family::ReaderFailed, "not-ready", "not ready"},
    {Cause::NoBadge, Family::ReaderFailed, "no-badge", "no badge"},
    {Cause::ShortReply, Family::ReaderFailed, "short-reply", "a short reply"},
    {Cause::WriteRefused, Family::ReaderFailed, "write-refused",
     "write refused (final byte FF, and no read-back that differs)"},
    {Cause::UnexpectedReply, Family::MayHaveChanged, "unexpected-reply",
     "a final byte neither 00 nor FF"},
    {Cause::NotConfirmed, Family::MayHaveChanged, "not-confirmed", "no final byte"},
    {Cause::LineLost, Family::NoAnswer, "line-lost", "the line was lost"},
    {Cause::Refused, Family::Usage, "refused", "an amount or block number out of range"},
    {Cause::NoisyLine, Family::ReaderFailed, "noisy-line",
     "a noisy line before any amount went out"},
    {Cause::Interrupted, Family::Interrupted, "interrupted", "a command cut short by it"},
    {Cause::ReadBackDiffers, Family::MayHaveChanged, "read-back-differs",
     "a read-back that differs from what was written"},
    {Cause::OverLimit, Family::ReaderFailed, "over-limit", "a top-up whose sum would pass 65535"},
    {Cause::BadgeChangedBeforeWrite, Family::ReaderFailed, "badge-changed-before-write",
     "another badge read before the write"},
    {Cause::BadgeChanged, Family::MayHaveChanged, "badge-changed",
     "another badge read back after the write"},
    {Cause::JournalUnavailable, Family::Journal, "journal-unavailable",
     "nothing was written; for journal report and check, the journal could not be read"},
    {Cause::OutcomeNotRecorded, Family::MayHaveChanged, "outcome-not-recorded",
     "a write's outcome that could not be recorded in the journal"},
    {Cause::CreditAboveJournal, Family::ReaderFailed, "credit-above-journal",
     "journal check: a credit above what the journal's last write left"},
    {Cause::NoJournal, Family::Usage, "no-journal", "no journal at the place named"},
    {Cause::Usage, Family::Usage, "usage", "a command that cannot be used"},
};

static_assert(std::size(kCauses) == static_cast<std::size_t>(Cause::Usage) + 1);

constexpr bool inOrder() {
    for (std::size_t i = 0; i < std::size(kCauses); ++i)
        if (static_cast<std::size_t>(kCauses[i].cause) != i) return false;
    return true;
}
static_assert(inOrder(), "the table is indexed by the cause");

}  // namespace

std::span<const CauseRow> causeTable() {
    return kCauses;
}

const CauseRow& row(Cause cause) {
    return kCauses[static_cast<std::size_t>(cause)];
}

std::string_view causeName(Cause cause) {
    return row(cause).name;
}

Family family(Cause cause) {
    return row(cause).family;
}

int exitStatus(Cause cause) {
    return exitStatus(family(cause));
}

}  // namespace palmota::till

#pragma once

namespace palmota {

// Why an operation ended as it did, for every layer: the Reader link's operations meet the
// first thirteen; the till's rules above the link add the rest. The till's cause table
// (till/causes.h) gives each its name for scripts and its exit status, in this order.
enum class Cause {
    Ok,               // the values were read, or the write was stored
    PortUnavailable,  // the port could not be opened; nothing was sent
    NoAnswer,         // nothing at all came back within an exchange's limit
    NotReady,         // the ready check was answered with a status other than 00
    NoBadge,          // a block reply starting FF FF, or a credit length byte FF
    ShortReply,       // fewer bytes than asked for when the limit passed
    WriteRefused,     // the write's final byte was FF
    UnexpectedReply,  // the write's final byte was neither 00 nor FF
    NotConfirmed,     // no final byte within its limit: the credit may have been stored
    LineLost,         // the device went away during the exchange
    Refused,          // an amount or block number refused before anything was sent
    NoisyLine,        // bytes beyond what a reply's shape allows, or right after it
    Interrupted,      // the program was asked to end before the operation began; nothing sent
    // The till's.
    ReadBackDiffers,  // the credit read back is neither the one written nor, known, the one before
    OverLimit,        // a top-up whose sum would pass 65535: nothing written
    BadgeChangedBeforeWrite,  // another serial number between the reads before the write
    BadgeChanged,             // another serial number on the read-back
    JournalUnavailable,       // the write's row could not be committed: nothing written
    OutcomeNotRecorded,       // the amount went out; its outcome could not be recorded
    CreditAboveJournal,       // journal check: the badge holds more than its last write left
    NoJournal,                // journal report or check: nothing at the place named
    Usage,                    // a command that cannot be used: nothing sent (stays last)
};

}  // namespace palmota

#include "till/till.h"

#include <algorithm>

#include "reader/protocol.h"

namespace palmota::till {

Family WriteVerdict::family() const {
    if (cause == Cause::Ok) return Family::Success;
    if (amountSent && !unchanged) return Family::MayHaveChanged;
    return till::family(cause);
}

std::vector<std::int32_t> WriteVerdict::serialsSeen() const {
    std::vector<std::int32_t> seen;
    for (const auto& serialRead : {serial, serialAgain, serialAfter, serialAfterAgain})
        if (serialRead && std::find(seen.begin(), seen.end(), *serialRead) == seen.end())
            seen.push_back(*serialRead);
    return seen;
}

Till::Till(ReaderLink& link, Ledger* ledger) : link_(link), ledger_(ledger) {}

void Till::setInterruption(std::function<bool()> interrupted) {
    interrupted_ = interrupted;
    link_.setInterruption(std::move(interrupted));
}

const Outcome& Till::record(WriteVerdict& verdict, Outcome outcome) {
    verdict.operations.push_back(std::move(outcome));
    return verdict.operations.back();
}

bool Till::record(ReadVerdict& verdict, Outcome outcome, const ReadShown& shown) {
    verdict.operations.push_back(std::move(outcome));
    const Outcome& read = verdict.operations.back();
    if (!read.succeeded() && !verdict.failed) {
        verdict.cause = read.cause;
        verdict.failed = read;
    }
    return !shown || shown(read);
}

ReadVerdict Till::read(const ReadShown& shown) {
    ReadVerdict verdict;
    // The credit is read even when the serial number's read failed: each has its box.
    if (record(verdict, link_.readSerialNumber(), shown))
        record(verdict, link_.readCredit(), shown);
    return verdict;
}

ReadVerdict Till::dump(const ReadShown& shown) {
    ReadVerdict verdict;
    // Each block's read is whole (ready check, 04, block number), whatever the one before
    // gave.
    for (std::int32_t block = 0; block < protocol::kDumpBlockCount; ++block)
        if (!record(verdict, link_.readBlock(block), shown)) break;
    return verdict;
}

WriteVerdict& Till::stopBefore(WriteVerdict& verdict, Cause cause, std::optional<Outcome> failed) {
    verdict.cause = verdict.judged = cause;
    verdict.failed = std::move(failed);
    verdict.unchanged = true;
    return verdict;
}

bool Till::readBefore(WriteVerdict& verdict) {
    // Serial, credit, serial: the credit is that of the badge read before and after it; one
    // laid on the Reader in between would have its credit taken for the first badge's.
    const Outcome first = record(verdict, link_.readSerialNumber());
    verdict.serial = first.serial;
    const Outcome credit = first.succeeded() ? record(verdict, link_.readCredit()) : first;
    verdict.before = credit.credit;
    const Outcome again = credit.succeeded() ? record(verdict, link_.readSerialNumber()) : credit;
    if (!again.succeeded()) {
        stopBefore(verdict, again.cause, again);
        return false;
    }
    if (again.serial == first.serial) return true;
    verdict.serialAgain = again.serial;
    stopBefore(verdict, Cause::BadgeChangedBeforeWrite);
    return false;
}

void Till::readAfter(WriteVerdict& verdict, bool bracket) {
    if (!bracket) {
        verdict.readBack = record(verdict, link_.readCredit());
        if (verdict.readBack->succeeded()) verdict.after = verdict.readBack->credit;
        return;
    }
    const Outcome serial = record(verdict, link_.readSerialNumber());
    if (!serial.succeeded()) return;
    verdict.serialAfter = serial.serial;
    verdict.readBack = record(verdict, link_.readCredit());
    if (!verdict.readBack->succeeded()) return;
    const Outcome again = record(verdict, link_.readSerialNumber());
    if (!again.succeeded()) return;
    // A credit read between two different serial numbers is nobody's.
    if (again.serial != serial.serial) {
        verdict.serialAfterAgain = again.serial;
        return;
    }
    verdict.after = verdict.readBack->credit;
    // The badge that holds the amount is the one it went to (the two badges' credits
    // would have to be the same for it to be the other).
    if (verdict.after == verdict.amount) verdict.badgeWritten = serial.serial;
}

void Till::judge(WriteVerdict& v, bool readBackDue) {
    const Outcome& write = *v.write;
    v.amountSent = write.amountSent;
    if (write.amountSent) {
        judgeSent(v, readBackDue);
        return;
    }
    // Refused or failed before the amount went out: the badge is untouched.
    v.cause = v.judged = write.cause;
    v.failed = write;
    v.unchanged = true;
}

void Till::judgeSent(WriteVerdict& v, bool readBackDue) {
    const Outcome& write = *v.write;
    const auto decide = [&v](Cause cause, std::optional<Outcome> failed = std::nullopt) {
        v.cause = v.judged = cause;
        v.failed = std::move(failed);
    };
    // A serial number after the write other than the one before it: the write went to
    // whatever badge lay on the Reader then, and the credit read may be another's.
    if ((v.serialAfter && v.serial && *v.serialAfter != *v.serial) || v.serialAfterAgain) {
        decide(Cause::BadgeChanged);
        return;
    }
    // The Reader's refusal (FF, then silence) is its verdict, unless a credit read back
    // differs from the one before the write: then it stored something, whatever it said.
    const bool refused = write.cause == Cause::WriteRefused;
    if (v.after) {
        if (*v.after == *v.amount) {
            decide(Cause::Ok);
            v.confirmed = true;
            v.confirmedByReadingBack = !write.succeeded();
        } else if (refused && (!v.before || *v.after == *v.before)) {
            decide(Cause::WriteRefused, write);
            v.unchanged = true;
        } else {
            decide(Cause::ReadBackDiffers);
        }
        return;
    }
    // No credit read back between two equal serial numbers. One read after the last
    // serial number failed may still say the credit moved.
    const bool creditMoved =
        v.readBack && v.readBack->credit && v.before && *v.readBack->credit != *v.before;
    if (refused && !creditMoved) {
        decide(Cause::WriteRefused, write);
        v.unchanged = true;
    } else if (!readBackDue && write.succeeded()) {
        // A plain write, with no journal: the Reader's 00 is all there is to go by.
        decide(Cause::Ok);
        v.confirmed = true;
    } else if (!write.succeeded() && !refused) {
        decide(write.cause, write);
    } else {
        // Stored, said the Reader, but the badge or its credit could not be read back:
        // the read after the write that failed, the last operation, names why.
        const Outcome& reading = v.operations.back();
        decide(reading.cause, reading);
    }
}

bool Till::beginRow(WriteVerdict& verdict) {
    std::string problem;
    verdict.row = ledger_->begin(verdict, problem);
    if (!verdict.row) {
        verdict.journalProblem = problem;
        // A stop asked while the journal waited for a lock ends the command as asked.
        stopBefore(verdict, interrupted() ? Cause::Interrupted : Cause::JournalUnavailable);
        return false;
    }
    if (!interrupted()) return true;
    stopBefore(verdict, Cause::Interrupted);
    completeRow(verdict);
    return false;
}

void Till::completeRow(WriteVerdict& verdict) {
    std::string problem;
    if (ledger_->complete(*verdict.row, verdict, problem)) return;
    verdict.journalProblem = problem;
    // Whether anything reached the badge decides what the failure means to a script.
    verdict.cause = verdict.amountSent ? Cause::OutcomeNotRecorded : Cause::JournalUnavailable;
}

WriteVerdict Till::refused(std::string_view typed) {
    WriteVerdict verdict;
    verdict.write = record(verdict, ReaderLink::refusedWrite(typed));
    judge(verdict, false);
    return verdict;
}

WriteVerdict Till::write(const Amount& typed, bool verify) {
    WriteVerdict verdict;
    const auto amount = typed.credit();
    if (!amount) {
        // The link refuses it, with nothing sent.
        verdict.write = record(verdict, link_.writeCredit(typed));
        judge(verdict, false);
        return verdict;
    }
    verdict.amount = *amount;
    // With a journal, the row names the badge the write is for, and the badge it went to.
    const bool bracket = ledger_ != nullptr;
    if (bracket && (!readBefore(verdict) || !beginRow(verdict))) return verdict;
    verdict.write = record(verdict, link_.writeCredit(*amount));
    // Without a journal a verified write reads the credit alone after it, as it always has:
    // it names no badge, and its credit read back is what it is judged by. With no credit
    // read before it, the Reader's FF stands against any credit read back but the amount.
    if (verdict.write->amountSent && (verify || bracket)) readAfter(verdict, bracket);
    // A journaled write names its badge: it is done only once read back from it.
    judge(verdict, verify || bracket);
    if (verdict.row) completeRow(verdict);
    return verdict;
}

WriteVerdict Till::topup(const Amount& amount) {
    WriteVerdict verdict;
    if (!readBefore(verdict)) return verdict;
    // The sum is made here, from the credit the Reader gave: only one up to the credit
    // limit fits the two credit bytes, however many digits the amount has.
    const auto added = amount.credit();
    if (!added || *verdict.before + *added > protocol::kMaxCredit)
        return stopBefore(verdict, Cause::OverLimit);
    verdict.added = *added;
    verdict.amount = static_cast<std::uint16_t>(*verdict.before + *added);
    if (interrupted()) return stopBefore(verdict, Cause::Interrupted);
    if (ledger_ && !beginRow(verdict)) return verdict;
    verdict.write = record(verdict, link_.writeCredit(*verdict.amount));
    if (verdict.write->amountSent) readAfter(verdict, true);
    judge(verdict, true);
    if (verdict.row) completeRow(verdict);
    return verdict;
}

CheckVerdict Till::check() {
    CheckVerdict verdict;
    const auto fail = [&verdict](const Outcome& outcome) {
        verdict.cause = outcome.cause;
        verdict.failed = outcome;
        return verdict;
    };
    verdict.operations.push_back(link_.readSerialNumber());
    if (!verdict.operations.back().succeeded()) return fail(verdict.operations.back());
    verdict.serial = verdict.operations.back().serial;
    verdict.operations.push_back(link_.readCredit());
    if (!verdict.operations.back().succeeded()) return fail(verdict.operations.back());
    verdict.credit = verdict.operations.back().credit;
    Ledger::BadgeHistory history;
    if (!ledger_->history(*verdict.serial, history, verdict.journalProblem)) {
        verdict.cause = Cause::JournalUnavailable;
        return verdict;
    }
    verdict.rows = history.rows;
    verdict.last = history.last;
    verdict.doubtful = history.doubtful;
    // Spent since the last confirmed write is no surprise. More than it left comes from a
    // write in doubt since, the latest that may have left that much, or was loaded behind
    // the journal's back.
    const int credit = *verdict.credit;
    const auto left = verdict.last ? verdict.last->credit : std::nullopt;
    if (left && credit <= *left) return verdict;
    for (auto doubtful = history.doubtful.rbegin(); doubtful != history.doubtful.rend();
         ++doubtful) {
        if (credit > doubtful->mostLeft()) continue;
        verdict.explainedBy = *doubtful;
        return verdict;
    }
    // A badge whose rows left no credit (refused writes alone) is compared with nothing.
    if (!left && history.doubtful.empty()) return verdict;
    int most = left.value_or(0);
    for (const Ledger::DoubtfulWrite& doubtful : history.doubtful)
        most = std::max(most, doubtful.mostLeft());
    verdict.mostLeft = most;
    verdict.cause = Cause::CreditAboveJournal;
    return verdict;
}

bool ResolveVerdict::allSettled() const {
    return cause == Cause::Ok && !writes.empty() &&
           std::all_of(writes.begin(), writes.end(), [](const Ledger::Settling& s) {
               return s.standing == Ledger::Settling::Standing::Settled;
           });
}

ResolveVerdict Till::resolve(const std::optional<std::string>& only) {
    ResolveVerdict verdict;
    const auto fail = [&verdict](const Outcome& outcome) {
        verdict.cause = outcome.cause;
        verdict.failed = outcome;
        return verdict;
    };
    // Serial, credit, serial: the credit counts only as the credit of the badge read twice
    // around it, as a top-up reads it.
    for (const Operation operation :
         {Operation::ReadSerialNumber, Operation::ReadCredit, Operation::ReadSerialNumber}) {
        if (interrupted()) {
            verdict.cause = Cause::Interrupted;
            return verdict;
        }
        verdict.operations.push_back(operation == Operation::ReadCredit ? link_.readCredit()
                                                                        : link_.readSerialNumber());
        const Outcome& read = verdict.operations.back();
        if (!read.succeeded()) return fail(read);
        if (operation == Operation::ReadCredit) {
            verdict.credit = read.credit;
        } else if (!verdict.serial) {
            verdict.serial = read.serial;
        } else if (read.serial != verdict.serial) {
            verdict.cause = Cause::BadgeChangedBeforeWrite;
            return verdict;
        }
    }
    if (!ledger_->settle(*verdict.serial, *verdict.credit, only, verdict.writes,
                         verdict.journalProblem))
        verdict.cause = Cause::JournalUnavailable;
    return verdict;
}

}  // namespace palmota::till

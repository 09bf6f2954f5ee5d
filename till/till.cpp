#include "till/till.h"

#include <QString>
#include <QSysInfo>
#include <algorithm>

#include "journal/journal.h"
#include "process/platform.h"
#include "reader/bounded_decimal.h"
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

Till::Till(ReaderLink& link, std::string program, std::function<std::string()> port, Ledger* ledger)
    : link_(link), program_(std::move(program)), port_(std::move(port)), ledger_(ledger) {}

void Till::setInterruption(std::function<bool()> interrupted) {
    interrupted_ = interrupted;
    link_.setInterruption(std::move(interrupted));
}

const Outcome& Till::run(WriteVerdict& verdict, Outcome outcome) {
    verdict.operations.push_back(std::move(outcome));
    return verdict.operations.back();
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
    const Outcome first = run(verdict, link_.readSerialNumber());
    verdict.serial = first.serial;
    const Outcome credit = first.succeeded() ? run(verdict, link_.readCredit()) : first;
    verdict.before = credit.credit;
    const Outcome again = credit.succeeded() ? run(verdict, link_.readSerialNumber()) : credit;
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
        verdict.readBack = run(verdict, link_.readCredit());
        if (verdict.readBack->succeeded()) verdict.after = verdict.readBack->credit;
        return;
    }
    const Outcome serial = run(verdict, link_.readSerialNumber());
    if (!serial.succeeded()) return;
    verdict.serialAfter = serial.serial;
    verdict.readBack = run(verdict, link_.readCredit());
    if (!verdict.readBack->succeeded()) return;
    const Outcome again = run(verdict, link_.readSerialNumber());
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

bool Till::beginRow(WriteVerdict& verdict, std::optional<int> topup) {
    journal::WriteStart start;
    start.station = QSysInfo::machineHostName().toStdString();
    start.user = platform::accountName();
    start.program = program_;
    start.port = port_ ? port_() : std::string();
    if (verdict.serial) {
        start.serial = std::to_string(*verdict.serial);
        start.serialSource = journal::SerialSource::ReadNow;
    }
    if (verdict.before) start.before = *verdict.before;
    start.amount = *verdict.amount;
    start.topup = topup;
    std::string problem;
    verdict.row = ledger_->begin(start, problem);
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
    journal::WriteEnd end;
    end.cause = std::string(causeName(verdict.judged));
    end.confirmed = verdict.confirmed;
    end.unchanged = verdict.unchanged;
    // The row names the badge the write went to only when it is known, and a credit read
    // back only as the credit of the badge it names.
    if (verdict.badgeWritten) end.serialAfter = std::to_string(*verdict.badgeWritten);
    if (verdict.after && (verdict.badgeWritten || verdict.serialAfter == verdict.serial))
        end.after = *verdict.after;
    std::string problem;
    if (ledger_->complete(*verdict.row, end, problem)) return;
    verdict.journalProblem = problem;
    // Whether anything reached the badge decides what the failure means to a script.
    verdict.cause = verdict.amountSent ? Cause::OutcomeNotRecorded : Cause::JournalUnavailable;
}

WriteVerdict Till::write(std::string_view amountText, bool verify) {
    WriteVerdict verdict;
    const auto amount = protocol::parseAmount(amountText);
    if (!amount) {
        // The link refuses it, with nothing sent.
        verdict.write = run(verdict, link_.writeCredit(amountText));
        judge(verdict, false);
        return verdict;
    }
    verdict.amount = *amount;
    // With a journal, the row names the badge the write is for, and the badge it went to.
    const bool bracket = ledger_ != nullptr;
    if (bracket && (!readBefore(verdict) || !beginRow(verdict, std::nullopt))) return verdict;
    verdict.write = run(verdict, link_.writeCredit(*amount));
    // Without a journal a verified write reads the credit alone after it, as it always has:
    // it names no badge, and its credit read back is what it is judged by. With no credit
    // read before it, the Reader's FF stands against any credit read back but the amount.
    if (verdict.write->amountSent && (verify || bracket)) readAfter(verdict, bracket);
    // A journaled write names its badge: it is done only once read back from it.
    judge(verdict, verify || bracket);
    if (verdict.row) completeRow(verdict);
    return verdict;
}

WriteVerdict Till::topup(std::string_view amountDigits) {
    WriteVerdict verdict;
    if (!readBefore(verdict)) return verdict;
    // The sum is made here, from the credit the Reader gave: only one up to the credit
    // limit fits the two credit bytes, however many digits the amount has.
    const auto added = boundedDecimal(amountDigits, protocol::kMaxCredit);
    if (!added || *verdict.before + *added > protocol::kMaxCredit)
        return stopBefore(verdict, Cause::OverLimit);
    verdict.amount = static_cast<std::uint16_t>(*verdict.before + *added);
    if (interrupted()) return stopBefore(verdict, Cause::Interrupted);
    if (ledger_ && !beginRow(verdict, static_cast<int>(*added))) return verdict;
    verdict.write = run(verdict, link_.writeCredit(*verdict.amount));
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

}  // namespace palmota::till

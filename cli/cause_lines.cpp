#include "cli/cause_lines.h"

#include "reader/byte_text.h"
#include "reader/protocol.h"

namespace palmota::cli {

namespace {

using till::WriteVerdict;

std::string number(std::optional<std::int32_t> value) {
    return value ? std::to_string(*value) : std::string();
}

// The device the command ran on, as its operations last named it.
std::string device(const WriteVerdict& v) {
    return v.operations.empty() ? std::string() : printable(v.operations.back().device);
}

// A read that failed after a write the Reader confirmed: what the badge holds is unknown.
bool readBackFailedAfterConfirmedWrite(const WriteVerdict& v) {
    return v.amountSent && v.write && v.write->succeeded() && v.failed &&
           v.failed->operation != Operation::WriteCredit;
}

}  // namespace

std::string writeFailureLine(WriteKind kind, const std::string& amountText, const WriteVerdict& v) {
    const bool topup = kind == WriteKind::Topup;
    const std::string written = v.amount ? std::to_string(*v.amount) : std::string();
    switch (v.judged) {
        case Cause::Ok:
        case Cause::JournalUnavailable:  // the journal's own line says it
            return {};
        case Cause::ReadBackDiffers:
            return device(v) + (topup ? ": badge " + number(v.serial) : std::string()) +
                   ": the credit read back is " + std::to_string(*v.after) + ", not the " +
                   written + " written";
        case Cause::BadgeChanged: {
            // The write went to whatever badge lay on the Reader then: not necessarily the
            // one whose credit it was made from, nor the one read last.
            std::string after = number(v.serialAfter);
            if (v.serialAfterAgain) after += ", then " + number(v.serialAfterAgain);
            std::string seen;
            for (const std::int32_t serial : v.serialsSeen())
                seen += (seen.empty() ? "" : ", ") + std::to_string(serial);
            return device(v) + ": badge changed during the " + (topup ? "top-up" : "write") +
                   ": badge " + number(v.serial) + " was read" +
                   (v.before ? " with credit " + std::to_string(*v.before) : std::string()) + ", " +
                   written + " was written, and the badges read after it were " + after +
                   "; read badges " + seen + " before anything else";
        }
        case Cause::BadgeChangedBeforeWrite:
            return device(v) + ": badge changed before the write: badge " + number(v.serial) +
                   ", then badge " + number(v.serialAgain) +
                   " on the Reader; nothing written (present one badge and try again)";
        case Cause::OverLimit:
            return device(v) + ": badge " + number(v.serial) + ": credit " +
                   std::to_string(*v.before) + " + " + printable(amountText) + " would pass " +
                   std::to_string(protocol::kMaxCredit) + "; nothing written";
        default:
            break;
    }
    // No link operation failed: a stop came before the write (the reads before it ran).
    if (!v.failed) {
        Outcome stopped;
        stopped.operation = Operation::WriteCredit;
        stopped.cause = Cause::Interrupted;
        if (!v.operations.empty()) stopped.device = v.operations.back().device;
        return describe(stopped);
    }
    std::string line = describe(*v.failed);
    if (readBackFailedAfterConfirmedWrite(v)) {
        line += kind == WriteKind::VerifiedWrite
                    ? "; reading back the " + written +
                          " written: it may be stored, read it back before trying again"
                    : "; the write was confirmed: read the credit before trying again";
    }
    return line;
}

std::string checkFailureLine(const till::CheckVerdict& verdict, const std::string& serial,
                             const std::string& credit) {
    if (verdict.failed) return describe(*verdict.failed);
    if (!verdict.journalProblem.empty()) return verdict.journalProblem;
    if (verdict.cause != Cause::CreditAboveJournal) return {};
    const std::size_t n = verdict.doubtful.size();
    const std::string writes = std::to_string(n) + (n == 1 ? " write" : " writes");
    const std::string most = std::to_string(verdict.mostLeft.value_or(0));
    const std::string doubts =
        verdict.doubtful.empty() ? std::string()
                                 : ", or the " + writes + " in doubt since (at most " + most + ")";
    std::string line = "badge " + serial + " holds " + credit + ", more than ";
    if (verdict.last) {
        const till::Ledger::LastWrite& last = *verdict.last;
        line += "the " + (last.credit ? std::to_string(*last.credit) : "unknown") +
                " its last confirmed write left (" + printable(last.started) + ", station " +
                printable(last.station) + ")" + doubts;
    } else {
        line += "its " + writes + " in doubt may have left (at most " + most + ")";
    }
    line += ": credit loaded outside the journal";
    return line;
}

}  // namespace palmota::cli
